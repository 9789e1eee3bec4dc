// Computes the yield report in the database from the stored per-record yield values: a few
// grouping statements whose rows are already aggregated (durations counted by value, gimbals
// counted by the pattern of their first two attempts), never loaded one by one, and no sort over
// every record for the per-gimbal figures: a gimbal's attempts come in order from an index.
#include "YieldReport.h"

#include "JournalLog.h"

#include <QDate>
#include <QElapsedTimer>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <algorithm>

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

QString dayText(qint64 dayNumber)
{
    return QDate(1970, 1, 1).addDays(dayNumber).toString(Qt::ISODate);
}

// The report's statements read one snapshot of the journal, so that a record another station
// adds meanwhile is in all of its figures or in none; nothing is written, so it ends in a rollback.
class ReadSnapshot
{
public:
    ReadSnapshot(QSqlDatabase db, bool local, QString *error)
        : db(db)
    {
        QSqlQuery query(db);
        open = db.transaction()
               && (local || query.exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY")));
        if (!open)
            *error = JournalDialect::errorText(query.lastError().isValid() ? query.lastError() : db.lastError());
    }
    ~ReadSnapshot()
    {
        if (open)
            db.rollback();
    }
    ReadSnapshot(const ReadSnapshot &) = delete;
    ReadSnapshot &operator=(const ReadSnapshot &) = delete;
    bool isOpen() const { return open; }

private:
    QSqlDatabase db;
    bool open = false;
};

QDateTime timeOf(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime();
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

bool run(QSqlQuery &query, const QString &sql, const QVariantList &values, QString *error)
{
    query.setForwardOnly(true);
    if (query.prepare(sql)) {
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (query.exec())
            return true;
    }
    *error = JournalDialect::errorText(query.lastError());
    return false;
}

// The failure word of an attempt that did not pass (none for one that did): a failed check kept
// as "success" is "not-running", or "cancelled" when the check was.
QString failureOf(bool passed, const QString &outcome, const QString &check)
{
    if (passed)
        return QString();
    if (outcome == QLatin1String("success"))
        return check == QLatin1String("cancelled") ? QStringLiteral("cancelled") : QStringLiteral("not-running");
    return outcome;
}

// The stations numbered (bound, in the order of the report's station list), so that the other
// statements group by integers.
QString stationNumber(qsizetype stations)
{
    if (stations == 0)
        return QStringLiteral("-1");
    QString number = QStringLiteral("CASE station");
    for (qsizetype i = 0; i < stations; ++i)
        number += QStringLiteral(" WHEN ? THEN %1").arg(i);
    return number + QStringLiteral(" ELSE -1 END");
}

// The attempts counted in two passes, from which the figures by day and by station come in few
// rows. Hours: by clock hour (UTC), local day and station, for the hours of activity. Where this
// machine's zone offsets and their changes are whole hours over the journal's span, an hour lies
// in one local day: that pass groups by hour and station along SQLite's index on them (`hour`
// must be its expression), and the day follows from the hour. Durations: by local day, station
// and tenth of a second. Counting each millisecond apart would return about a row per attempt;
// rounding is monotonic, so a percentile of the tenths is the exact percentile rounded to a tenth.
// The tenths are taken from the whole milliseconds, the same integers in both databases.
QString rowStatement(bool wholeHours, const QString &hour, const QString &dayOfRow, const QString &dayOfHourColumn,
                     const QString &station, const QString &where)
{
    const QString hours = wholeHours
                              ? QStringLiteral("h AS MATERIALIZED (SELECT hour, %1 AS day, %2 AS station, n FROM (SELECT %3 AS hour, station, "
                                               "count(*) AS n FROM records WHERE kind = 'update'%4 GROUP BY %3, station) t), ")
                                    .arg(dayOfHourColumn, station, hour, where)
                              : QStringLiteral("h AS MATERIALIZED (SELECT hour, day, station, count(*) AS n FROM (SELECT %1 AS hour, %2 AS day, "
                                               "%3 AS station FROM records WHERE kind = 'update'%4) t GROUP BY hour, day, station), ")
                                    .arg(hour, dayOfRow, station, where);
    const QString durations = QStringLiteral("d AS MATERIALIZED (SELECT day, station, tenths, count(*) AS n FROM (SELECT %1 AS day, %2 AS station, "
                                             "(CAST(round(seconds * 1000) AS BIGINT) + 50) / 100 AS tenths FROM records WHERE "
                                             "kind = 'update'%3) t GROUP BY day, station, tenths) ")
                                  .arg(dayOfRow, station, where);
    return QStringLiteral("WITH ") + hours + durations
           + QStringLiteral("SELECT 'day', day, tenths, sum(n) FROM d GROUP BY day, tenths "
                            "UNION ALL SELECT 'station', station, tenths, sum(n) FROM d GROUP BY station, tenths "
                            "UNION ALL SELECT 'day-hours', day, NULL, count(DISTINCT hour) FROM h GROUP BY day "
                            "UNION ALL SELECT 'station-hours', station, NULL, count(DISTINCT hour) FROM h GROUP BY station "
                            "UNION ALL SELECT 'hours', 0, NULL, count(DISTINCT hour) FROM h");
}

// Each gimbal's first two attempts in time (day, station number, passed), counted by their
// pattern: a gimbal with one or two attempts is wholly described by them. Gimbals with more come
// back as one row of key -1, for `manyStatement`. The pattern is packed into one integer with
// the bound station count and day span (see `compute`). SQLite reads the first attempt's columns from the row
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
        const auto nth = [](const char *column, int n) {
            return QStringLiteral("min(%1) FILTER (WHERE rn = %2)").arg(QLatin1String(column)).arg(n);
        };
        inner = QStringLiteral("SELECT count(*) AS n, %1 AS d1, %2 AS s1, %3 AS p1, %4 AS d2, %5 AS s2, %6 AS p2 FROM (SELECT gimbal, "
                               "%7 AS day, %8 AS station, passed, row_number() OVER (PARTITION BY gimbal ORDER BY started, id) AS rn "
                               "FROM records WHERE kind = 'update' AND gimbal IS NOT NULL%9) w GROUP BY gimbal")
                    .arg(nth("day", 1), nth("station", 1), nth("passed", 1), nth("day", 2), nth("station", 2), nth("passed", 2), day,
                         station, where);
    }
    // One integer per pattern (n > 2: -1): integers sort quickest.
    return QStringLiteral("SELECT key, count(*) FROM (SELECT CASE WHEN n > 2 THEN -1 ELSE ((((((n - 1) * 2 + p1) * 2 + "
                          "CASE WHEN n = 2 THEN p2 ELSE 0 END) * CAST(? AS BIGINT) + s1) * CAST(? AS BIGINT) + CASE WHEN n = 2 THEN s2 "
                          "ELSE 0 END) * CAST(? AS BIGINT) + d1 - CAST(? AS BIGINT)) * CAST(? AS BIGINT) + CASE WHEN n = 2 THEN d2 - "
                          "CAST(? AS BIGINT) ELSE 0 END END AS key "
                          "FROM (%1) t) u GROUP BY key")
        .arg(inner);
}

// The gimbals with more than two attempts, each attempt marked in the gimbal's time order: its
// first, its last, the first of each day and at each station, and its first pass.
QString manyStatement(const QString &day, const QString &station, const QString &where)
{
    const QString yes = QStringLiteral("THEN 1 ELSE 0 END");
    return QStringLiteral("WITH w AS (SELECT day, station, passed, row_number() OVER g AS n_all, count(*) OVER (PARTITION BY gimbal) "
                          "AS c_all, lag(day) OVER g AS prev_day, row_number() OVER (PARTITION BY gimbal, station ORDER BY started, id) "
                          "AS n_station, sum(passed) OVER g AS passes FROM (SELECT gimbal, started, id, %4 AS station, passed, %1 AS day "
                          "FROM records WHERE kind = 'update' AND gimbal IN (SELECT gimbal FROM records WHERE kind = 'update' AND "
                          "gimbal IS NOT NULL%2 GROUP BY gimbal HAVING count(*) > 2)%2) t WINDOW g AS (PARTITION BY gimbal ORDER BY "
                          "started, id)) "
                          "SELECT 'all', 0, sum(CASE WHEN n_all = 1 %3), sum(CASE WHEN n_all = 1 AND passed = 1 %3), "
                          "sum(CASE WHEN n_all = c_all AND passed = 1 %3), sum(CASE WHEN passes = 1 AND passed = 1 %3) FROM w "
                          "UNION ALL SELECT 'day', day, sum(CASE WHEN prev_day IS NULL OR prev_day <> day %3), "
                          "sum(CASE WHEN (prev_day IS NULL OR prev_day <> day) AND passed = 1 %3), 0, "
                          "sum(CASE WHEN passes = 1 AND passed = 1 %3) FROM w GROUP BY day "
                          "UNION ALL SELECT 'station', station, sum(CASE WHEN n_station = 1 %3), "
                          "sum(CASE WHEN n_station = 1 AND passed = 1 %3), 0, sum(CASE WHEN passes = 1 AND passed = 1 %3) "
                          "FROM w GROUP BY station")
        .arg(day, where, yes, station);
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
    QElapsedTimer timer;
    timer.start();
    const ReadSnapshot snapshot(store.database(), local, error);
    if (!snapshot.isOpen())
        return std::nullopt;
    QSqlQuery query(store.database());
    // The server sorts and groups a million records in memory rather than in files (its own
    // memory, for this transaction only).
    if (!local && !run(query, QStringLiteral("SELECT set_config('work_mem', '64MB', true)"), {}, error))
        return std::nullopt;

    // This machine's zone offsets over the journal's span (its first and last start, each read
    // from the index on started), for local days.
    if (!run(query, QStringLiteral("SELECT (SELECT min(started) FROM records), (SELECT max(started) FROM records)"), {}, error)
        || !query.next())
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
    const auto dayOfHour = [&](const QString &h) {
        return dayOf(QStringLiteral("(%1 * 3600 - 3600000000000)").arg(h), firstOffset, changes);
    };

    // Failures by word and the chips written by firmware, from the stored per-record values, by
    // station: this also gives the stations the other statements number.
    if (!run(query, QStringLiteral("SELECT station, passed, outcome, check_result, firmware_written, count(*) FROM records WHERE "
                                   "kind = 'update'%1 GROUP BY station, passed, outcome, check_result, firmware_written")
                        .arg(andWhere),
             values, error))
        return std::nullopt;
    QMap<QString, int> failureCounts;
    QMap<int, int> firmwareCounts;
    QStringList stations;
    int failed = 0, unfilled = 0;
    while (query.next()) {
        if (stations.isEmpty() || stations.constLast() != query.value(0).toString())
            stations.append(query.value(0).toString());
        const int n = query.value(5).toInt();
        if (query.value(1).isNull())
            unfilled += n;
        const QString failure = failureOf(query.value(1).toInt() == 1, query.value(2).toString(), query.value(3).toString());
        if (!failure.isEmpty()) {
            failureCounts[failure] += n;
            failed += n;
        }
        for (const QString &part : query.value(4).toString().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const qsizetype colon = part.lastIndexOf(QLatin1Char(':'));
            firmwareCounts[part.left(colon).toInt()] += part.mid(colon + 1).toInt() * n;
        }
    }
    qCDebug(lcJournal) << "yield report: stations and outcomes read at" << timer.elapsed() << "ms";
    // Records without their stored values would be counted wrongly: no report rather than a
    // wrong one.
    if (unfilled > 0) {
        *error = QStringLiteral("%1 update records lack their stored yield values (an older Velmora wrote them after the journal's "
                                "upgrade); 'velmora-cli journal init' fills them")
                     .arg(unfilled);
        return std::nullopt;
    }
    stations.removeDuplicates();
    for (auto it = failureCounts.cbegin(); it != failureCounts.cend(); ++it)
        report.failures.append({it.key(), it.value(), 0, 0});
    for (auto it = firmwareCounts.cbegin(); it != firmwareCounts.cend(); ++it)
        report.firmware.append({it.key(), it.value()});
    const QString station = stationNumber(stations.size());
    const auto stationValues = [&](int uses) {
        QVariantList bound;
        for (int use = 0; use < uses; ++use)
            for (const QString &name : stations)
                bound.append(name);
        return bound;
    };

    // Attempts, durations and hours by day and by station; the whole range's from the stations'.
    QMap<qint64, RowCounts> dayRows;
    QMap<int, RowCounts> stationRows;
    RowCounts totalRows;
    bool wholeHours = firstOffset % 3600 == 0;
    for (const auto &[at, offset] : changes)
        wholeHours = wholeHours && at % 3600 == 0 && offset % 3600 == 0;
    const QString rows = rowStatement(wholeHours, hour, day, dayOfHour(QStringLiteral("hour")), station, andWhere);
    if (!run(query, rows, stationValues(1) + values + stationValues(1) + values, error))
        return std::nullopt;
    while (query.next()) {
        const QString section = query.value(0).toString();
        const qint64 key = query.value(1).toLongLong();
        if (section == QLatin1String("day") || section == QLatin1String("station")) {
            const bool byDay = section == QLatin1String("day");
            const qint64 n = query.value(3).toLongLong();
            for (RowCounts *rows : {byDay ? &dayRows[key] : &stationRows[int(key)], byDay ? nullptr : &totalRows}) {
                if (!rows)
                    continue;
                rows->attempts += n;
                if (!query.value(2).isNull())
                    rows->durations[query.value(2).toLongLong() / 10.0] += n;
            }
        } else if (section == QLatin1String("day-hours")) {
            dayRows[key].activeHours = query.value(3).toInt();
        } else if (section == QLatin1String("station-hours")) {
            stationRows[int(key)].activeHours = query.value(3).toInt();
        } else if (section == QLatin1String("hours")) {
            totalRows.activeHours = query.value(3).toInt();
        }
    }

    qCDebug(lcJournal) << "yield report: days and stations read at" << timer.elapsed() << "ms";
    // The gimbals' figures: a gimbal counts once in the range, once on each day and at each
    // station it was tried, and is updated where its first pass is. A pattern's integer packs
    // n - 1, p1, p2, s1, s2 and d1, d2 (from the first day) in that order.
    GimbalCounts totalGimbals;
    QMap<qint64, GimbalCounts> dayGimbals;
    QMap<int, GimbalCounts> stationGimbals;
    const qint64 stationSpan = qMax<qint64>(1, stations.size());
    const qint64 firstDay = dayRows.isEmpty() ? 0 : dayRows.firstKey();
    const qint64 daySpan = dayRows.isEmpty() ? 1 : dayRows.lastKey() - firstDay + 1;
    const QString dayOfSecond = local ? dayOf(QStringLiteral("(sum(%1) - %1)").arg(seconds), firstOffset, changes) : QString();
    // Within 63 bits: 8 * (stations * days)^2 stays far below it for any real line.
    if (stationSpan * daySpan > 100000000) {
        *error = QStringLiteral("the range holds too many stations and days for one report (%1 stations, %2 days)")
                     .arg(stationSpan)
                     .arg(daySpan);
        return std::nullopt;
    }
    const QVariantList packing{stationSpan, stationSpan, daySpan, firstDay, daySpan, firstDay};
    if (!run(query, gimbalStatement(local, day, dayOfSecond, station, andWhere), packing + stationValues(local ? 3 : 1) + values,
             error))
        return std::nullopt;
    bool many = false;
    while (query.next()) {
        qint64 key = query.value(0).toLongLong();
        const int n = query.value(1).toInt();
        if (key < 0) {
            many = true;
            continue;
        }
        const auto take = [&key](qint64 span) {
            const qint64 part = key % span;
            key /= span;
            return part;
        };
        const qint64 d2 = take(daySpan) + firstDay, d1 = take(daySpan) + firstDay;
        const int s2 = int(take(stationSpan)), s1 = int(take(stationSpan));
        const bool p2 = take(2) == 1, p1 = take(2) == 1, two = key == 1;
        totalGimbals.gimbals += n;
        totalGimbals.firstPassed += p1 ? n : 0;
        totalGimbals.finalPassed += (two ? p2 : p1) ? n : 0;
        totalGimbals.updated += p1 || p2 ? n : 0;
        const auto count = [&](GimbalCounts &first, GimbalCounts &second, bool same) {
            first.gimbals += n;
            first.firstPassed += p1 ? n : 0;
            first.updated += p1 ? n : 0;
            if (!two)
                return;
            if (!same) {
                second.gimbals += n;
                second.firstPassed += p2 ? n : 0;
            }
            second.updated += !p1 && p2 ? n : 0;
        };
        count(dayGimbals[d1], dayGimbals[two ? d2 : d1], d1 == d2);
        count(stationGimbals[s1], stationGimbals[two ? s2 : s1], s1 == s2);
    }
    qCDebug(lcJournal) << "yield report: gimbals read at" << timer.elapsed() << "ms";
    if (many) {
        if (!run(query, manyStatement(day, station, andWhere), stationValues(1) + values + values, error))
            return std::nullopt;
        while (query.next()) {
            const QString section = query.value(0).toString();
            GimbalCounts &g = section == QLatin1String("all")   ? totalGimbals
                              : section == QLatin1String("day") ? dayGimbals[query.value(1).toLongLong()]
                                                                : stationGimbals[query.value(1).toInt()];
            g.gimbals += query.value(2).toInt();
            g.firstPassed += query.value(3).toInt();
            g.finalPassed += query.value(4).toInt();
            g.updated += query.value(5).toInt();
        }
    }

    qCDebug(lcJournal) << "yield report: gimbals tried more than twice read at" << timer.elapsed() << "ms";
    fill(&report.total, totalRows, totalGimbals);
    for (auto it = dayRows.cbegin(); it != dayRows.cend(); ++it) {
        YieldGroup g;
        g.key = dayText(it.key());
        fill(&g, it.value(), dayGimbals.value(it.key()));
        report.byDay.append(g);
    }
    for (auto it = stationRows.cbegin(); it != stationRows.cend(); ++it) {
        YieldGroup g;
        g.key = stations.value(it.key());
        fill(&g, it.value(), stationGimbals.value(it.key()));
        report.byStation.append(g);
    }
    std::sort(report.byStation.begin(), report.byStation.end(), [](const YieldGroup &a, const YieldGroup &b) { return a.key < b.key; });
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
