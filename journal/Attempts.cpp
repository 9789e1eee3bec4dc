// Journal records from engine values.
#include "Attempts.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace {

QDateTime nowUtc()
{
    return QDateTime::fromMSecsSinceEpoch(QDateTime::currentMSecsSinceEpoch(), Qt::UTC);
}

} // namespace

UpdateAttempt::UpdateAttempt(const QString &port, const QString &adapterSerial, int productRow)
    : rec(JournalRecord::begin(JournalRecord::Kind::Update))
{
    rec.port = port;
    rec.adapterSerial = adapterSerial;
    rec.productRow = productRow;
}

void UpdateAttempt::setPackage(const QString &path, const QByteArray &bytes)
{
    rec.packageName = QFileInfo(path).fileName();
    rec.packageSize = bytes.size();
    rec.packageSha256 = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

void UpdateAttempt::setSignature(const QString &state, const QString &keyId)
{
    rec.signature = state;
    rec.signatureKey = keyId;
}

void UpdateAttempt::onChipsListed(const QList<chipInfo> &chips)
{
    rec.chips.clear();
    for (const chipInfo &chip : chips) {
        JournalChip c;
        c.position = int(rec.chips.size()) + 1;
        c.address = chip.address;
        c.cpuid = chip.cpuid;
        c.serial = chip.serial;
        c.hardware = chip.hardware;
        c.boot = chip.boot;
        c.firmwareBefore = chip.firmware;
        rec.chips.append(c);
    }
}

void UpdateAttempt::onStep(const UpdateOutcome &step)
{
    const int index = step.chip - 1;
    const bool chipKnown = index >= 0 && index < rec.chips.size();
    switch (step.reason) {
    case UpdateOutcome::PackageImage:
        rec.packageArch = step.chipCode;
        if (chipKnown)
            rec.chips[index].firmwareAfter = step.firmware;
        break;
    case UpdateOutcome::WritingChip:
        if (chipKnown)
            rec.chips[index].result = QStringLiteral("written");
        break;
    case UpdateOutcome::ChipUpToDate:
        if (chipKnown)
            rec.chips[index].result = QStringLiteral("up-to-date");
        break;
    default:
        break;
    }
}

JournalRecord UpdateAttempt::finish(const UpdateOutcome &end, const QString &reasonOverride)
{
    rec.ended = nowUtc();
    rec.outcome = reasonOverride.isEmpty() ? UpdateOutcome::reasonName(end.reason) : reasonOverride;
    rec.pagesWritten = end.pagesWritten;
    rec.endCommand = end.endCommand == UpdateOutcome::RunSent       ? QStringLiteral("run")
                     : end.endCommand == UpdateOutcome::RestartSent ? QStringLiteral("restart")
                                                                    : QString();
    if (!end.succeeded()) {
        rec.failedChip = end.chip;
        // The chip the write stopped at was begun, not written; those after it were not reached.
        const int index = end.chip - 1;
        if (index >= 0 && index < rec.chips.size() && rec.chips[index].result == QLatin1String("written"))
            rec.chips[index].result = QStringLiteral("failed");
    }
    return rec;
}

JournalRecord UpdateAttempt::finish(const QString &reason)
{
    rec.ended = nowUtc();
    rec.outcome = reason;
    return rec;
}

JournalRecord CalibrationAttempt::record(const JournalRecord &begun, const CalibrationOutcome &outcome)
{
    JournalRecord rec = begun;
    rec.ended = nowUtc();
    rec.outcome = CalibrationOutcome::reasonName(outcome.reason);
    rec.stepReached = CalibrationOutcome::stepName(outcome.step);
    if (!outcome.succeeded())
        rec.failedStep = rec.stepReached;
    rec.faces = outcome.faces;
    rec.saveAcknowledged = outcome.saveAcknowledged;
    return rec;
}
