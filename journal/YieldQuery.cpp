// Computes the yield report in the database from the stored per-record yield values: a few
// grouping statements whose rows are already aggregated (durations counted by value, gimbals
// counted by the pattern of their first two attempts), never loaded one by one, and no sort over
// every record for the per-gimbal figures: a gimbal's attempts come in order from an index.
#include "YieldReport.h"

#include "JournalLog.h"

#include <QSqlError>
#include <QDate>
#include <QElapsedTimer>
#include <QMap>
#include <QSqlQuery>
#include <QTimeZone>
#include <algorithm>
#include <tuple>

namespace {

// What a gimbal adds to one group (the whole range, a day or a station).
struct GimbalCounts
{
    int gimbals = 0;
    int firstPassed = 0;
    int finalPassed = 0;
    int updated = 0;
};

// One group's durations counted by value, and its hours of activity.
struct RowCounts
{
    QMap<double, qint64> durations;
    qint64 attempts = 0;
    int activeHours = 0;
};

// Nearest rank: the k-th smallest of n, k = ceil(n * p / 100), in integers.
std::optional<double> nearestRank(const RowCounts &rows, int percent)
{
    qint64 total = 0;
    for (qint64 n : rows.durations)
        total += n;
    const qint64 rank = (total * percent + 99) / 100;
    qint64 seen = 0;
    for (auto it = rows.durations.cbegin(); it != rows.durations.cend(); ++it) {
        seen += it.value();
        if (rank > 0 && seen >= rank)
            return it.key();
    }
    return std::nullopt;
}

// A start's whole seconds since 1970 (UTC).
QString epoch(bool local)
{
    return local ? QStringLiteral("unixepoch(started)") : QStringLiteral("CAST(floor(extract(epoch FROM started)) AS BIGINT)");
}

// The report machine's local day of `seconds` (since 1970, UTC) as a day number from 1970-01-01,
// from this machine's zone offsets over the journal's time span: the same arithmetic in both
// databases, whatever zone the server runs in. The bias keeps the integer division a floor.
QString dayOf(const QString &seconds, int firstOffset, const QList<QPair<qint64, int>> &changes)
{
    QString offset = QString::number(firstOffset);
    if (!changes.isEmpty()) {
        offset = QStringLiteral("CASE");
        int before = firstOffset;
        for (const auto &[at, after] : changes) {
            offset += QStringLiteral(" WHEN %1 < %2 THEN %3").arg(seconds).arg(at).arg(before);
            before = after;
        }
        offset += QStringLiteral(" ELSE %1 END").arg(before);
    }
    return QStringLiteral("((%1 + %2 + 86400000000) / 86400 - 1000000)").arg(seconds, offset);
}

QString dayText(const QVariant &dayNumber)
{
    return QDate(1970, 1, 1).addDays(dayNumber.toLongLong()).toString(Qt::ISODate);
}

QDateTime timeOf(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime();
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

bool run(QSqlQuery &query, const QString &sql, const QVariantList &values, QString *error)
{
    QElapsedTimer timer;
    timer.start();
    query.setForwardOnly(true);
    if (query.prepare(sql)) {
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (query.exec()) {
            qCDebug(lcJournal) << "yield statement run in" << timer.elapsed() << "ms:" << sql.left(60);
            return true;
        }
    }
    *error = JournalDialect::errorText(query.lastError());
    return false;
}

// The failure word of an attempt that did not pass: a failed check kept as "success" is
// "not-running" (or "cancelled" when the check was).
const QLatin1String failureWord("CASE WHEN passed = 1 THEN NULL WHEN outcome = 'success' AND check_result = 'cancelled' "
                                "THEN 'cancelled' WHEN outcome = 'success' THEN 'not-running' ELSE outcome END");

// The attempts counted by day, station, clock hour (UTC) and duration in one pass, and from those
// few rows the durations by day and by station and the hours of activity.
QString rowStatement(const QString &day, const QString &hour, const QString &where)
{
    return QStringLiteral("WITH b AS MATERIALIZED (SELECT day, station, hour, seconds, count(*) AS n FROM (SELECT %1 AS day, station, "
                          "%2 AS hour, seconds FROM records WHERE kind = 'update'%3) t GROUP BY day, station, hour, seconds) "
                          "SELECT 'day', CAST(day AS TEXT), seconds, sum(n) FROM b GROUP BY day, seconds "
                          "UNION ALL SELECT 'station', station, seconds, sum(n) FROM b GROUP BY station, seconds "
                          "UNION ALL SELECT 'day-hours', CAST(day AS TEXT), NULL, count(DISTINCT hour) FROM b GROUP BY day "
                          "UNION ALL SELECT 'station-hours', station, NULL, count(DISTINCT hour) FROM b GROUP BY station "
                          "UNION ALL SELECT 'hours', '', NULL, count(DISTINCT hour) FROM b")
        .arg(day, hour, where);
}

// Each gimbal's first two attempts in time (day, station number, passed), counted by their
// pattern: a gimbal with one or two attempts is wholly described by them. Gimbals with more come
// back as one row of n = 3, for `manyStatement`. `station` numbers the stations (from 0, in the
// order of the report's station list). SQLite reads the first attempt's columns from the row
// min(started) picks (its only min/max: with the gimbal's attempts coming in index order, the
// earlier id of two equal starts) and the second's as sums less the first; the server numbers a
// gimbal's attempts in order.
QString gimbalStatement(bool local, const QString &day, const QString &dayOfSecond, const QString &station, const QString &where)
{
    QString inner;
    if (local) {
        inner = QStringLiteral("SELECT count(*) AS n, min(started) AS first, %1 AS d1, %3 AS s1, passed AS p1, %2 AS d2, "
                               "sum(%3) - %3 AS s2, sum(passed) - passed AS p2 FROM records WHERE kind = 'update' AND "
                               "gimbal IS NOT NULL%4 GROUP BY gimbal")
                    .arg(day, dayOfSecond, station, where);
    } else {
        const auto nth = [](const char *column, int n) { return QStringLiteral("min(%1) FILTER (WHERE rn = %2)").arg(QLatin1String(column)).arg(n); };
        inner = QStringLiteral("SELECT count(*) AS n, %1 AS d1, %2 AS s1, %3 AS p1, %4 AS d2, %5 AS s2, %6 AS p2 FROM (SELECT gimbal, "
                               "%7 AS day, %8 AS station, passed, row_number() OVER (PARTITION BY gimbal ORDER BY started, id) AS rn "
                               "FROM records WHERE kind = 'update' AND gimbal IS NOT NULL%9) w GROUP BY gimbal")
                    .arg(nth("day", 1), nth("station", 1), nth("passed", 1), nth("day", 2), nth("station", 2), nth("passed", 2), day,
                         station, where);
    }
    return QStringLiteral("SELECT CASE WHEN n > 2 THEN 3 ELSE n END AS n, CASE WHEN n <= 2 THEN d1 END AS d1, "
                          "CASE WHEN n <= 2 THEN s1 END AS s1, CASE WHEN n <= 2 THEN p1 END AS p1, CASE WHEN n = 2 THEN d2 END AS d2, "
                          "CASE WHEN n = 2 THEN s2 END AS s2, CASE WHEN n = 2 THEN p2 END AS p2, count(*) FROM (%1) t "
                          "GROUP BY 1, 2, 3, 4, 5, 6, 7")
        .arg(inner);
}

// The gimbals with more than two attempts, each attempt marked in the gimbal's time order: its
// first, its last, the first of each day and at each station, and its first pass.
QString manyStatement(const QString &day, const QString &where)
{
    const QString yes = QStringLiteral("THEN 1 ELSE 0 END");
    return QStringLiteral("WITH w AS (SELECT day, station, passed, row_number() OVER g AS n_all, count(*) OVER (PARTITION BY gimbal) "
                          "AS c_all, lag(day) OVER g AS prev_day, row_number() OVER (PARTITION BY gimbal, station ORDER BY started, id) "
                          "AS n_station, sum(passed) OVER g AS passes FROM (SELECT gimbal, started, id, station, passed, %1 AS day "
                          "FROM records WHERE kind = 'update' AND gimbal IN (SELECT gimbal FROM records WHERE kind = 'update' AND "
                          "gimbal IS NOT NULL%2 GROUP BY gimbal HAVING count(*) > 2)%2) t WINDOW g AS (PARTITION BY gimbal ORDER BY "
                          "started, id)) "
                          "SELECT 'all', '', sum(CASE WHEN n_all = 1 %3), sum(CASE WHEN n_all = 1 AND passed = 1 %3), "
                          "sum(CASE WHEN n_all = c_all AND passed = 1 %3), sum(CASE WHEN passes = 1 AND passed = 1 %3) FROM w "
                          "UNION ALL SELECT 'day', CAST(day AS TEXT), sum(CASE WHEN prev_day IS NULL OR prev_day <> day %3), "
                          "sum(CASE WHEN (prev_day IS NULL OR prev_day <> day) AND passed = 1 %3), 0, "
                          "sum(CASE WHEN passes = 1 AND passed = 1 %3) FROM w GROUP BY day "
                          "UNION ALL SELECT 'station', station, sum(CASE WHEN n_station = 1 %3), "
                          "sum(CASE WHEN n_station = 1 AND passed = 1 %3), 0, sum(CASE WHEN passes = 1 AND passed = 1 %3) "
                          "FROM w GROUP BY station")
        .arg(day, where, yes);
}

void fill(YieldGroup *g, const RowCounts &rows, const GimbalCounts &gimbals)
{
    g->attempts = int(rows.attempts);
    g->medianSeconds = nearestRank(rows, 50);
    g->p90Seconds = nearestRank(rows, 90);
    g->activeHours = rows.activeHours;
    g->gimbals = gimbals.gimbals;
    g->firstPassed = gimbals.firstPassed;
    g->finalPassed = gimbals.finalPassed;
    g->updatedGimbals = gimbals.updated;
}

} // namespace

std::optional<YieldReport> YieldReport::compute(JournalStore &store, const JournalFilter &filter, QString *error)
{
    YieldReport report;
    report.filter = filter;
    report.filter.limit = -1;
    QVariantList values;
    const QString where = JournalStore::filterWhere(report.filter, &values);
    const QString andWhere = where.isEmpty() ? QString() : QStringLiteral(" AND (%1)").arg(where);
    const bool local = store.backend() == JournalStore::Backend::Local;
    QSqlQuery query(store.database());

    // This machine's zone offsets over the journal's span (its first and last start, read from
    // the index on started), for local days.
    if (!run(query, QStringLiteral("SELECT min(started), max(started) FROM records"), {}, error) || !query.next())
        return std::nullopt;
    const QTimeZone zone = QTimeZone::systemTimeZone();
    QDateTime from = timeOf(query.value(0)), to = timeOf(query.value(1));
    if (!from.isValid() || !to.isValid())
        from = to = QDateTime::currentDateTimeUtc();
    from = from.addDays(-2);
    to = to.addDays(2);
    QList<QPair<qint64, int>> changes;
    for (const QTimeZone::OffsetData &change : zone.transitions(from, to))
        changes.append({change.atUtc.toSecsSinceEpoch(), change.offsetFromUtc});
    const int firstOffset = zone.offsetFromUtc(from);
    const QString seconds = epoch(local);
    const QString day = dayOf(seconds, firstOffset, changes);
    // The clock hours (UTC) with an attempt begun: the hours of activity, not the nights between.
    const QString hour = QStringLiteral("((%1 + 3600000000000) / 3600)").arg(seconds);

    // Attempts, durations and hours by day and by station; the whole range's from the stations'.
    QMap<QString, RowCounts> dayRows, stationRows;
    RowCounts totalRows;
    if (!run(query, rowStatement(day, hour, andWhere), values, error))
        return std::nullopt;
    while (query.next()) {
        const QString section = query.value(0).toString();
        if (section == QLatin1String("day") || section == QLatin1String("station")) {
            const bool byDay = section == QLatin1String("day");
            RowCounts &rows = byDay ? dayRows[dayText(query.value(1))] : stationRows[query.value(1).toString()];
            const qint64 n = query.value(3).toLongLong();
            rows.attempts += n;
            if (!query.value(2).isNull())
                rows.durations[query.value(2).toDouble()] += n;
            if (!byDay) {
                totalRows.attempts += n;
                if (!query.value(2).isNull())
                    totalRows.durations[query.value(2).toDouble()] += n;
            }
        } else if (section == QLatin1String("day-hours")) {
            dayRows[dayText(query.value(1))].activeHours = query.value(3).toInt();
        } else if (section == QLatin1String("station-hours")) {
            stationRows[query.value(1).toString()].activeHours = query.value(3).toInt();
        } else if (section == QLatin1String("hours")) {
            totalRows.activeHours = query.value(3).toInt();
        }
    }

    // Failures by word and the chips written by firmware, from the stored per-record values.
    if (!run(query, QStringLiteral("SELECT %1, firmware_written, count(*) FROM records WHERE kind = 'update'%2 GROUP BY 1, 2")
                        .arg(failureWord, andWhere),
             values, error))
        return std::nullopt;
    QMap<QString, int> failureCounts;
    QMap<int, int> firmwareCounts;
    int failed = 0;
    while (query.next()) {
        const int n = query.value(2).toInt();
        if (!query.value(0).isNull()) {
            failureCounts[query.value(0).toString()] += n;
            failed += n;
        }
        for (const QString &part : query.value(1).toString().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const qsizetype colon = part.lastIndexOf(QLatin1Char(':'));
            firmwareCounts[part.left(colon).toInt()] += part.mid(colon + 1).toInt() * n;
        }
    }
    for (auto it = failureCounts.cbegin(); it != failureCounts.cend(); ++it)
        report.failures.append({it.key(), it.value(), 0, 0});
    for (auto it = firmwareCounts.cbegin(); it != firmwareCounts.cend(); ++it)
        report.firmware.append({it.key(), it.value()});

    // The gimbals' figures: a gimbal counts once in the range, once on each day and at each
    // station it was tried, and is updated where its first pass is.
    GimbalCounts totalGimbals;
    QMap<QString, GimbalCounts> dayGimbals, stationGimbals;
    // The stations numbered in the statement (bound, in the order of the list), so that a
    // gimbal's pattern is a few integers.
    const QStringList stations = stationRows.keys();
    QString station = QStringLiteral("CASE station");
    for (qsizetype i = 0; i < stations.size(); ++i)
        station += QStringLiteral(" WHEN ? THEN %1").arg(i);
    station = stations.isEmpty() ? QStringLiteral("-1") : station + QStringLiteral(" ELSE -1 END");
    QVariantList gimbalValues;
    for (int use = 0; use < (local ? 3 : 1); ++use)
        for (const QString &name : stations)
            gimbalValues.append(name);
    const QString dayOfSecond = local ? dayOf(QStringLiteral("(sum(%1) - %1)").arg(seconds), firstOffset, changes) : QString();
    if (!run(query, gimbalStatement(local, day, dayOfSecond, station, andWhere), gimbalValues + values, error))
        return std::nullopt;
    bool many = false;
    while (query.next()) {
        const int attempts = query.value(0).toInt(), n = query.value(7).toInt();
        if (attempts > 2) {
            many = true;
            continue;
        }
        const bool two = attempts == 2;
        const QString d1 = dayText(query.value(1)), s1 = stations.value(query.value(2).toInt());
        const QString d2 = two ? dayText(query.value(4)) : QString(), s2 = two ? stations.value(query.value(5).toInt()) : QString();
        const bool p1 = query.value(3).toInt() == 1;
        const bool p2 = two && query.value(6).toInt() == 1;
        totalGimbals.gimbals += n;
        totalGimbals.firstPassed += p1 ? n : 0;
        totalGimbals.finalPassed += (two ? p2 : p1) ? n : 0;
        totalGimbals.updated += p1 || p2 ? n : 0;
        for (auto [groups, first, second] : {std::tuple{&dayGimbals, d1, d2}, std::tuple{&stationGimbals, s1, s2}}) {
            GimbalCounts &g1 = (*groups)[first];
            g1.gimbals += n;
            g1.firstPassed += p1 ? n : 0;
            g1.updated += p1 ? n : 0;
            if (two) {
                GimbalCounts &g2 = (*groups)[second];
                if (second != first) {
                    g2.gimbals += n;
                    g2.firstPassed += p2 ? n : 0;
                }
                g2.updated += !p1 && p2 ? n : 0;
            }
        }
    }
    if (many) {
        if (!run(query, manyStatement(day, andWhere), values + values, error))
            return std::nullopt;
        while (query.next()) {
            const QString section = query.value(0).toString();
            GimbalCounts &g = section == QLatin1String("all")   ? totalGimbals
                              : section == QLatin1String("day") ? dayGimbals[dayText(query.value(1))]
                                                                : stationGimbals[query.value(1).toString()];
            g.gimbals += query.value(2).toInt();
            g.firstPassed += query.value(3).toInt();
            g.finalPassed += query.value(4).toInt();
            g.updated += query.value(5).toInt();
        }
    }

    fill(&report.total, totalRows, totalGimbals);
    for (auto it = dayRows.cbegin(); it != dayRows.cend(); ++it) {
        YieldGroup g;
        g.key = it.key();
        fill(&g, it.value(), dayGimbals.value(it.key()));
        report.byDay.append(g);
    }
    for (auto it = stationRows.cbegin(); it != stationRows.cend(); ++it) {
        YieldGroup g;
        g.key = it.key();
        fill(&g, it.value(), stationGimbals.value(it.key()));
        report.byStation.append(g);
    }
    std::sort(report.failures.begin(), report.failures.end(), [](const YieldFailure &a, const YieldFailure &b) {
        return a.count != b.count ? a.count > b.count : a.outcome < b.outcome;
    });
    int running = 0;
    for (YieldFailure &f : report.failures) {
        running += f.count;
        f.share = double(f.count) / failed;
        f.cumulative = double(running) / failed;
    }
    std::sort(report.firmware.begin(), report.firmware.end(), [](const auto &a, const auto &b) { return a.first > b.first; });

    const QString calibrations = QStringLiteral("SELECT 'runs', CAST(count(*) AS DOUBLE PRECISION), "
                                                "sum(CASE WHEN outcome = 'success' THEN 1 ELSE 0 END), NULL FROM records "
                                                "WHERE kind = 'calibration'%1 UNION ALL SELECT 'step', count(*), NULL, "
                                                "coalesce(nullif(failed_step, ''), 'none') FROM records WHERE kind = 'calibration' "
                                                "AND outcome <> 'success'%1 GROUP BY coalesce(nullif(failed_step, ''), 'none')")
                                     .arg(where.isEmpty() ? QString() : QStringLiteral(" AND ") + where);
    if (!run(query, calibrations, values + values, error))
        return std::nullopt;
    while (query.next()) {
        if (query.value(0).toString() == QLatin1String("runs")) {
            report.calibrationRuns = query.value(1).toInt();
            report.calibrationSuccesses = query.value(2).toInt();
        } else {
            report.calibrationFailures.append({query.value(3).toString(), query.value(1).toInt()});
        }
    }
    std::sort(report.calibrationFailures.begin(), report.calibrationFailures.end(),
              [](const auto &a, const auto &b) { return a.second != b.second ? a.second > b.second : a.first < b.first; });
    qCDebug(lcJournal) << "yield report:" << report.total.attempts << "attempts," << report.total.gimbals << "gimbals";
    return report;
}
