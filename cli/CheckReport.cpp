// Check lines and JSON for the command line.
#include "CheckReport.h"

#include "CalibrationWords.h"
#include "CliOutput.h"
#include "SystemPortEnumerator.h"

#include <QJsonArray>

namespace CheckReport {

JournalRecord beginRecord(JournalRecord::Kind kind, const CliOptions &options)
{
    JournalRecord record = JournalRecord::begin(kind);
    record.port = options.ports.first();
    record.productRow = options.productRow;
    for (const PortInfo &info : SystemPortEnumerator().availablePorts())
        if (info.portName == record.port)
            record.adapterSerial = info.serialNumber;
    return record;
}

std::optional<CheckLimits> limits(const CliOptions &options)
{
    QString error;
    const std::optional<CheckLimits> taken = options.limitsFile.isEmpty()
                                                 ? CheckLimits::machine(options.productRow, &error)
                                                 : CheckLimits::load(options.productRow, options.limitsFile, &error);
    if (!taken)
        CliOutput::error(QStringLiteral("velmora-cli: limits refused: ") + error);
    return taken;
}

void print(const CheckOutcome &outcome)
{
    for (const CheckMeasurement &m : outcome.measurements)
        CliOutput::line(QStringLiteral("  %1  %2").arg(m.passed() ? QStringLiteral("pass") : QStringLiteral("FAIL"),
                                                        CalibrationWords::measurementLine(m)));
    CliOutput::line(CalibrationWords::checkVerdict(outcome.passed()));
    if (outcome.passed())
        return;
    CliOutput::line(CalibrationWords::checkFailed(outcome));
    if (outcome.reason == CheckOutcome::Failed || outcome.reason == CheckOutcome::NotStill)
        CliOutput::line(CalibrationWords::checkHint());
}

QJsonObject toJson(const CheckOutcome &outcome)
{
    QJsonArray measurements;
    for (const CheckMeasurement &m : outcome.measurements)
        measurements.append(QJsonObject{{QStringLiteral("name"), m.name},
                                        {QStringLiteral("value"), m.value},
                                        {QStringLiteral("low"), m.low},
                                        {QStringLiteral("high"), m.high},
                                        {QStringLiteral("unit"), m.unit},
                                        {QStringLiteral("passed"), m.passed()}});
    return {{QStringLiteral("outcome"), CheckOutcome::reasonName(outcome.reason)},
            {QStringLiteral("face"), outcome.face},
            {QStringLiteral("samples"), outcome.samples},
            {QStringLiteral("measurements"), measurements}};
}

} // namespace CheckReport
