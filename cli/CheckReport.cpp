// Check lines and JSON for the command line.
#include "CheckReport.h"

#include "CalibrationWords.h"
#include "CliOutput.h"

#include <QJsonArray>

namespace CheckReport {

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
