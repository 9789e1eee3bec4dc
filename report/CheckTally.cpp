// The report's check figures: pass rates counted a record at a time, each measurement's values
// gathered for its percentiles and its worst.
#include "CheckTally.h"

#include "Attempts.h"

#include <algorithm>
#include <cmath>

namespace {

// Nearest rank over sorted values: the k-th smallest of n, k = ceil(n * percent / 100).
double nearestRank(const std::vector<double> &sorted, int percent)
{
    const qint64 count = qint64(sorted.size());
    return sorted.at(size_t(std::max<qint64>(1, (count * percent + 99) / 100) - 1));
}

// The check's order of the measurements; names it does not know after them, by name.
qsizetype place(const QString &name)
{
    static const QStringList order{QStringLiteral("accel_norm"), QStringLiteral("accel_noise"), QStringLiteral("gyro_bias"),
                                   QStringLiteral("gyro_noise"), QStringLiteral("tilt")};
    const qsizetype at = order.indexOf(name);
    return at < 0 ? order.size() : at;
}

} // namespace

double CheckTally::margin(const CheckMeasurement &m)
{
    const double width = m.high > m.low ? m.high - m.low : 1.0;
    const double fromHigh = m.high - m.value;
    return (m.low > 0 ? std::min(m.value - m.low, fromHigh) : fromHigh) / width;
}

void CheckTally::add(const CheckRow &row)
{
    if (row.id != record) {
        finishRecord();
        record = row.id;
        kind = row.kind;
        outcome = row.outcome;
        startedMs = row.startedMs;
    }
    if (row.measurement)
        figures.append({*row.measurement, row.passed});
}

void CheckTally::finishRecord()
{
    if (record.isEmpty())
        return;
    const bool success = outcome == QLatin1String("success");
    // A cancel or a port that could not be opened checked nothing of the gimbal.
    const bool reached = !JournalWords::isRefusal(outcome);
    if (kind == JournalRecord::Kind::Check && reached) {
        ++onDemand.runs;
        onDemand.passed += success ? 1 : 0;
    } else if (kind == JournalRecord::Kind::Calibration && reached
               && (!figures.isEmpty() || outcome == QLatin1String("check-failed"))) {
        ++calibrations.runs;
        calibrations.passed += success ? 1 : 0;
        for (const auto &[m, passed] : std::as_const(figures)) {
            Spread &spread = spreads[m.name];
            // The latest calibration's limits.
            if (spread.count == 0 || startedMs >= spread.limitsMs) {
                spread.unit = m.unit;
                spread.low = m.low;
                spread.high = m.high;
                spread.limitsMs = startedMs;
            }
            ++spread.count;
            spread.outside += passed ? 0 : 1;
            if (std::isnan(m.value))
                continue;
            const double room = margin(m);
            if (spread.values.empty() || room < spread.worstMargin) {
                spread.worst = m.value;
                spread.worstMargin = room;
            }
            spread.values.push_back(m.value);
        }
    }
    figures.clear();
    record.clear();
}

void CheckTally::finish(YieldReport *report)
{
    finishRecord();
    report->calibrationChecks = calibrations;
    report->onDemandChecks = onDemand;
    QStringList names = spreads.keys();
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) { return std::pair(place(a), a) < std::pair(place(b), b); });
    for (const QString &name : std::as_const(names)) {
        Spread &spread = spreads[name];
        MeasurementSpread out;
        out.name = name;
        out.unit = spread.unit;
        out.low = spread.low;
        out.high = spread.high;
        out.count = spread.count;
        out.outside = spread.outside;
        if (spread.values.empty()) {
            out.min = out.p10 = out.median = out.p90 = out.max = out.worst = std::nan("");
        } else {
            std::sort(spread.values.begin(), spread.values.end());
            out.min = spread.values.front();
            out.p10 = nearestRank(spread.values, 10);
            out.median = nearestRank(spread.values, 50);
            out.p90 = nearestRank(spread.values, 90);
            out.max = spread.values.back();
            out.worst = spread.worst;
        }
        report->measurements.append(out);
    }
}
