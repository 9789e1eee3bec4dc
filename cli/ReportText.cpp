// The yield report as a short summary for a terminal.
#include "ReportCommand.h"

#include <cmath>

namespace {

// "1 chip", "2 chips": a count with its noun in the number it takes.
QString counted(int count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

QString seconds(const std::optional<double> &value)
{
    return value ? QStringLiteral("%1 s").arg(*value, 0, 'f', 1) : QStringLiteral("–");
}

QString groupLine(const YieldGroup &g)
{
    const auto perHour = g.gimbalsPerHour();
    return QStringLiteral("  %1  attempts %2  gimbals %3  first pass %4  median %5  %6 gimbals/h")
        .arg(g.key, -12)
        .arg(g.attempts, 5)
        .arg(g.gimbals, 5)
        .arg(ReportCommand::percent(g.firstPassYield()), 7)
        .arg(seconds(g.medianSeconds), 8)
        .arg(perHour ? QString::number(*perHour, 'f', 1) : QStringLiteral("–"));
}

QString rangeText(const JournalFilter &filter)
{
    const auto at = [](const QDateTime &t) { return t.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")); };
    if (filter.since.isValid() && filter.until.isValid())
        return QStringLiteral("from %1 to %2").arg(at(filter.since), at(filter.until));
    if (filter.since.isValid())
        return QStringLiteral("since %1").arg(at(filter.since));
    if (filter.until.isValid())
        return QStringLiteral("until %1").arg(at(filter.until));
    return QStringLiteral("all records");
}

QString checksText(const CheckCounts &checks)
{
    return QStringLiteral("%1 of %2 passed (%3)").arg(checks.passed).arg(checks.runs).arg(ReportCommand::percent(checks.passRate()));
}

} // namespace

QString ReportCommand::figure(double value)
{
    return QString::number(value, 'g', 4);
}

QString ReportCommand::percent(const std::optional<double> &share)
{
    return share ? QStringLiteral("%1 %").arg(*share * 100.0, 0, 'f', 1) : QStringLiteral("–");
}

QStringList ReportCommand::textLines(const YieldReport &r)
{
    QStringList lines{QStringLiteral("yield report, %1").arg(rangeText(r.filter))};
    if (r.isEmpty()) {
        lines.append(QStringLiteral("no update or calibration in this range: no yield to show"));
        return lines;
    }
    lines << QStringLiteral("attempts %1, gimbals %2 (attempts that listed no chip count for no gimbal)")
                 .arg(r.total.attempts)
                 .arg(r.total.gimbals)
          << QStringLiteral("first-pass yield %1, final yield %2").arg(percent(r.total.firstPassYield()), percent(r.total.finalYield()))
          << QStringLiteral("attempt time: median %1, 90th percentile %2").arg(seconds(r.total.medianSeconds), seconds(r.total.p90Seconds));
    if (!r.failures.isEmpty()) {
        lines.append(QStringLiteral("failures, largest first (count, share, cumulative):"));
        for (const YieldFailure &f : r.failures)
            lines.append(QStringLiteral("  %1 %2 %3 %4")
                             .arg(f.outcome, -20)
                             .arg(f.count, 6)
                             .arg(percent(f.share), 8)
                             .arg(percent(f.cumulative), 8));
    }
    if (!r.refusals.isEmpty()) {
        QStringList words;
        int count = 0;
        for (const YieldFailure &f : r.refusals) {
            words.append(QStringLiteral("%1 %2").arg(f.outcome).arg(f.count));
            count += f.count;
        }
        lines.append(QStringLiteral("refused, nothing written (the line's setup, not the gimbals'): %1 (%2)")
                         .arg(count)
                         .arg(words.join(QStringLiteral(", "))));
    }
    if (!r.byDay.isEmpty()) {
        lines.append(QStringLiteral("by day (local):"));
        for (const YieldGroup &g : r.byDay)
            lines.append(groupLine(g));
    }
    if (!r.byStation.isEmpty()) {
        lines.append(QStringLiteral("by station:"));
        for (const YieldGroup &g : r.byStation)
            lines.append(groupLine(g));
    }
    QStringList firmware;
    for (const auto &[written, chips] : r.firmware)
        firmware.append(QStringLiteral("%1 on %2")
                            .arg(written == YieldReport::UnknownFirmware ? QStringLiteral("unknown") : JournalRecord::firmwareText(written),
                                 counted(chips, "chip", "chips")));
    if (!firmware.isEmpty())
        lines.append(QStringLiteral("firmware written: ") + firmware.join(QStringLiteral(", ")));
    QStringList steps;
    for (const auto &[step, count] : r.calibrationFailures)
        steps.append(QStringLiteral("%1 %2").arg(step).arg(count));
    lines.append(QStringLiteral("calibrations: %1, %2%3")
                     .arg(counted(r.calibrationRuns, "run", "runs"), counted(r.calibrationSuccesses, "success", "successes"),
                          steps.isEmpty() ? QString() : QStringLiteral("; failed at ") + steps.join(QStringLiteral(", "))));
    if (r.calibrationChecks.runs > 0 || r.onDemandChecks.runs > 0)
        lines.append(QStringLiteral("checks after calibration: %1; on demand: %2")
                         .arg(checksText(r.calibrationChecks), checksText(r.onDemandChecks)));
    if (!r.measurements.isEmpty())
        lines.append(QStringLiteral("measured after calibration (median, 90th percentile, worst; limits):"));
    for (const MeasurementSpread &m : r.measurements) {
        const QString outside = QStringLiteral("%1 of %2 outside").arg(m.outside).arg(m.count);
        lines.append(std::isnan(m.median) ? QStringLiteral("  %1 no value; %2").arg(m.name, -12).arg(outside)
                                  : QStringLiteral("  %1 %2 %3 %4 %5  (%6–%7; %8)")
                                        .arg(m.name, -12)
                                        .arg(figure(m.median), 8)
                                        .arg(figure(m.p90), 8)
                                        .arg(figure(m.worst), 8)
                                        .arg(m.unit, -5)
                                        .arg(figure(m.low), figure(m.high), outside));
    }
    return lines;
}
