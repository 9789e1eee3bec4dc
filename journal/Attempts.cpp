// Journal records from engine values, each built once from a typed ending.
#include "Attempts.h"

#include <QFileInfo>

UpdateAttempt::UpdateAttempt(const QString &port, const QString &adapterSerial, int productRow)
    : rec(JournalRecord::begin(JournalRecord::Kind::Update))
{
    rec.port = port;
    rec.adapterSerial = adapterSerial;
    rec.productRow = productRow;
}

void UpdateAttempt::setPackage(const CheckedPackage &package)
{
    // The digest the door made as it read the bytes: a package is hashed once.
    setPackage(package.path(), package.size(), package.sha256());
    setSignature(SignatureCheck::stateName(package.signature().state), package.signature().keyId);
}

void UpdateAttempt::setPackage(const QString &path, qint64 size, const QString &sha256)
{
    rec.packageName = QFileInfo(path).fileName();
    rec.packageSize = size;
    rec.packageSha256 = sha256;
}

void UpdateAttempt::setSignature(const QString &state, const QString &keyId)
{
    rec.signature = state;
    rec.signatureKey = keyId;
}

void UpdateAttempt::setCatalogue(const CatalogueOrigin &origin)
{
    rec.catalogue = origin;
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

QString UpdateAttempt::checkName(BootCheck check)
{
    switch (check) {
    case BootCheck::NotChecked: return QString();
    case BootCheck::Running: return QStringLiteral("running");
    case BootCheck::NoAnswer: return QStringLiteral("no-answer");
    case BootCheck::Implausible: return QStringLiteral("implausible");
    case BootCheck::Cancelled: return QStringLiteral("cancelled");
    }
    return QString();
}

QString UpdateAttempt::outcomeWord(const UpdateEnding &ending, BootCheck check)
{
    const bool written = ending.engine && ending.engine->succeeded();
    // The engine's success stands whatever happened to the port after it.
    if (written || ending.kind == UpdateEnding::Kind::Engine) {
        if (!ending.engine)
            return QStringLiteral("cancelled");
        if (written && (check == BootCheck::NoAnswer || check == BootCheck::Implausible))
            return QStringLiteral("not-running");
        if (written && check == BootCheck::Cancelled)
            return QStringLiteral("cancelled");
        return UpdateOutcome::reasonName(ending.engine->reason);
    }
    switch (ending.kind) {
    case UpdateEnding::Kind::PackageRefused:
        switch (ending.refusal) {
        case UpdateEnding::Refusal::Unsigned: return QStringLiteral("unsigned");
        case UpdateEnding::Refusal::SignatureInvalid: return QStringLiteral("signature-invalid");
        case UpdateEnding::Refusal::UntrustedKey: return QStringLiteral("signature-untrusted-key");
        case UpdateEnding::Refusal::Invalid: return QStringLiteral("package-invalid");
        }
        return QStringLiteral("unsigned");
    case UpdateEnding::Kind::CatalogueRefused:
        return CatalogueReasons::name(ending.catalogueRefusal == CatalogueReason::None ? CatalogueReason::Download
                                                                                        : ending.catalogueRefusal);
    case UpdateEnding::Kind::PortLost: return QStringLiteral("port-lost");
    case UpdateEnding::Kind::PortUnavailable: return QStringLiteral("port-unavailable");
    default: return QStringLiteral("cancelled");
    }
}

JournalRecord UpdateAttempt::finish(const UpdateEnding &ending, BootCheck check) const
{
    JournalRecord out = rec;
    out.ended = JournalRecord::now();
    // A catalogue's package is named as its release lists it, not by the file it was kept in
    // (named by its digest, which has a column of its own).
    if (!rec.catalogue.package.isEmpty())
        out.packageName = rec.catalogue.package;
    out.outcome = outcomeWord(ending, check);
    out.checkResult = checkName(check);
    if (!ending.engine)
        return out;
    const UpdateOutcome &end = *ending.engine;
    out.pagesWritten = end.pagesWritten;
    // RUN or RESTART framed after the adapter went away reached no gimbal.
    const bool carried = end.succeeded() || ending.kind != UpdateEnding::Kind::PortLost;
    out.endCommand = !carried                                    ? QString()
                     : end.endCommand == UpdateOutcome::RunSent     ? QStringLiteral("run")
                     : end.endCommand == UpdateOutcome::RestartSent ? QStringLiteral("restart")
                                                                    : QString();
    if (!end.succeeded()) {
        out.failedChip = end.chip;
        // The chip the write stopped at was begun, not written; those after it were not reached.
        const int index = end.chip - 1;
        if (index >= 0 && index < out.chips.size() && out.chips[index].result == QLatin1String("written"))
            out.chips[index].result = QStringLiteral("failed");
    }
    return out;
}

QString CalibrationAttempt::outcomeWord(const CalibrationEnding &ending)
{
    switch (ending.kind) {
    case CalibrationEnding::Kind::Engine:
        return ending.engine ? CalibrationOutcome::reasonName(ending.engine->reason) : QStringLiteral("cancelled");
    case CalibrationEnding::Kind::Cancelled: return QStringLiteral("cancelled");
    case CalibrationEnding::Kind::NoAnswer: return QStringLiteral("no-answer");
    case CalibrationEnding::Kind::LinkLost: return QStringLiteral("link-lost");
    case CalibrationEnding::Kind::PortLost: return QStringLiteral("port-lost");
    case CalibrationEnding::Kind::PortUnavailable: return QStringLiteral("port-unavailable");
    }
    return QStringLiteral("cancelled");
}

JournalRecord CalibrationAttempt::record(const JournalRecord &begun, const CalibrationEnding &ending)
{
    JournalRecord rec = begun;
    rec.ended = JournalRecord::now();
    rec.outcome = outcomeWord(ending);
    if (ending.engine) {
        rec.stepReached = CalibrationOutcome::stepName(ending.engine->step);
        rec.faces = ending.engine->faces;
        rec.saveAcknowledged = ending.engine->saveAcknowledged;
        if (ending.engine->check)
            rec.measurements = ending.engine->check->measurements;
    }
    const bool succeeded = ending.kind == CalibrationEnding::Kind::Engine && ending.engine && ending.engine->succeeded();
    if (!succeeded)
        rec.failedStep = rec.stepReached;
    return rec;
}

QString CheckAttempt::outcomeWord(const CheckEnding &ending)
{
    switch (ending.kind) {
    case CheckEnding::Kind::Engine:
        return ending.engine ? CheckOutcome::reasonName(ending.engine->reason) : QStringLiteral("cancelled");
    case CheckEnding::Kind::Cancelled: return QStringLiteral("cancelled");
    case CheckEnding::Kind::NoAnswer: return QStringLiteral("no-answer");
    case CheckEnding::Kind::PortLost: return QStringLiteral("port-lost");
    case CheckEnding::Kind::PortUnavailable: return QStringLiteral("port-unavailable");
    }
    return QStringLiteral("cancelled");
}

JournalRecord CheckAttempt::record(const JournalRecord &begun, const CheckEnding &ending)
{
    JournalRecord rec = begun;
    rec.kind = JournalRecord::Kind::Check;
    rec.ended = JournalRecord::now();
    rec.outcome = outcomeWord(ending);
    if (ending.engine)
        rec.measurements = ending.engine->measurements;
    return rec;
}

QStringList JournalWords::outcomes()
{
    QStringList words;
    const auto add = [&words](const QString &word) {
        if (!word.isEmpty() && !words.contains(word))
            words.append(word);
    };
    UpdateOutcome end;
    for (int reason = UpdateOutcome::Success; reason <= UpdateOutcome::WriteFailed; ++reason) {
        end.reason = UpdateOutcome::Reason(reason);
        add(UpdateAttempt::outcomeWord(UpdateEnding::byEngine(end)));
    }
    end.reason = UpdateOutcome::Success;
    add(UpdateAttempt::outcomeWord(UpdateEnding::byEngine(end), BootCheck::NoAnswer));
    for (const auto kind : {UpdateEnding::Kind::Cancelled, UpdateEnding::Kind::PortLost, UpdateEnding::Kind::PortUnavailable})
        add(UpdateAttempt::outcomeWord({kind, std::nullopt}));
    for (const auto why : {UpdateEnding::Refusal::Unsigned, UpdateEnding::Refusal::SignatureInvalid,
                           UpdateEnding::Refusal::UntrustedKey, UpdateEnding::Refusal::Invalid})
        add(UpdateAttempt::outcomeWord(UpdateEnding::refused(why)));
    for (int why = int(CatalogueReason::Signature); why <= int(CatalogueReason::Older); ++why)
        add(UpdateAttempt::outcomeWord(UpdateEnding::refusedByCatalogue(CatalogueReason(why))));
    CalibrationOutcome run;
    for (int reason = CalibrationOutcome::Success; reason <= CalibrationOutcome::CheckFailed; ++reason) {
        run.reason = CalibrationOutcome::Reason(reason);
        add(CalibrationAttempt::outcomeWord({CalibrationEnding::Kind::Engine, run}));
    }
    for (const auto kind : {CalibrationEnding::Kind::Cancelled, CalibrationEnding::Kind::NoAnswer, CalibrationEnding::Kind::LinkLost,
                            CalibrationEnding::Kind::PortLost, CalibrationEnding::Kind::PortUnavailable})
        add(CalibrationAttempt::outcomeWord({kind, std::nullopt}));
    CheckOutcome check;
    for (int reason = CheckOutcome::Passed; reason <= CheckOutcome::Cancelled; ++reason) {
        check.reason = CheckOutcome::Reason(reason);
        add(CheckAttempt::outcomeWord({CheckEnding::Kind::Engine, check}));
    }
    return words;
}

QStringList JournalWords::refusals()
{
    QStringList words;
    UpdateOutcome end;
    for (const auto reason : {UpdateOutcome::Cancelled, UpdateOutcome::PackageUnreadable, UpdateOutcome::PackageInvalid}) {
        end.reason = reason;
        words.append(UpdateAttempt::outcomeWord(UpdateEnding::byEngine(end)));
    }
    for (const auto kind : {UpdateEnding::Kind::Cancelled, UpdateEnding::Kind::PortUnavailable})
        words.append(UpdateAttempt::outcomeWord({kind, std::nullopt}));
    for (const auto why : {UpdateEnding::Refusal::Unsigned, UpdateEnding::Refusal::SignatureInvalid,
                           UpdateEnding::Refusal::UntrustedKey, UpdateEnding::Refusal::Invalid})
        words.append(UpdateAttempt::outcomeWord(UpdateEnding::refused(why)));
    for (int why = int(CatalogueReason::Signature); why <= int(CatalogueReason::Older); ++why)
        words.append(UpdateAttempt::outcomeWord(UpdateEnding::refusedByCatalogue(CatalogueReason(why))));
    for (const auto kind : {CalibrationEnding::Kind::Cancelled, CalibrationEnding::Kind::PortUnavailable})
        words.append(CalibrationAttempt::outcomeWord({kind, std::nullopt}));
    words.removeDuplicates();
    return words;
}

bool JournalWords::isRefusal(const QString &word)
{
    static const QStringList words = refusals();
    return words.contains(word);
}
