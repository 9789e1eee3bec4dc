// Computes the yield report in the database from the stored per-record values: a few grouping
// statements whose rows are already aggregated (hours and durations by day and station, gimbals
// by the pattern of their first two attempts), never loaded one by one. Each reads an index in
// the order it groups, so that SQLite groups without sorting every record; local days are
// integer arithmetic on the stored start, the same in both databases.
#include "YieldReport.h"

#include "JournalLog.h"
#include "JournalSchema.h"

#include <QDate>
#include <QElapsedTimer>
#include <QHash>
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

constexpr qint64 HourMs = 3600000;
constexpr qint64 DayMs = 86400000;
constexpr qint64 BiasDays = JournalSchema::StartBiasMs / DayMs;

// This machine's offsets from UTC over the journal's span, for local days: the report machine's
// days, whatever zone the server runs in, as the same integer arithmetic in both databases.
struct ZoneOffsets
{
    qint64 first = 0;
    // When (ms since 1970) the offset changes, and to what (ms).
    QList<QPair<qint64, qint64>> changes;

    // The offset at the start `ms` (an expression), in SQL.
    QString at(const QString &ms) const
    {
        if (changes.isEmpty())
            return QString::number(first);
        QString offset = QStringLiteral("CASE");
        qint64 before = first;
        for (const auto &[when, after] : changes) {
            offset += QStringLiteral(" WHEN %1 < %2 THEN %3").arg(ms, QString::number(when), QString::number(before));
            before = after;
        }
        return offset + QStringLiteral(" ELSE %1 END").arg(before);
    }
    // The local day (from 1970-01-01) of the start `ms`, in SQL; the bias keeps the division a floor.
    QString day(const QString &ms) const
    {
        return QStringLiteral("((%1 + %2 + %3) / %4 - %5)")
            .arg(ms, at(ms), QString::number(JournalSchema::StartBiasMs), QString::number(DayMs), QString::number(BiasDays));
    }
    // Summed over grouped records: how many began on the local day before their UTC day
    // (`later` false) or after it (true). The offsets are under a day, so no record is further.
    QString shifted(bool later) const
    {
        bool possible = later ? first > 0 : first < 0;
        for (const auto &change : changes)
            possible = possible || (later ? change.second > 0 : change.second < 0);
        if (!possible)
            return QStringLiteral("0");
        const QString timeOfDay = QStringLiteral("(started_ms + %1) % %2 + %3")
                                      .arg(QString::number(JournalSchema::StartBiasMs), QString::number(DayMs), at(QStringLiteral("started_ms")));
        const QString beyond = later ? QStringLiteral(">= %1").arg(DayMs) : QStringLiteral("< 0");
        return QStringLiteral("sum(CASE WHEN %1 %2 THEN 1 ELSE 0 END)").arg(timeOfDay, beyond);
    }
};

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

// The stations numbered (bound, in the order of the report's station list), so that the gimbal
// statements pack a station into an integer.
QString stationNumber(qsizetype stations)
{
    if (stations == 0)
        return QStringLiteral("-1");
    QString number = QStringLiteral("CASE station");
    for (qsizetype i = 0; i < stations; ++i)
        number += QStringLiteral(" WHEN ? THEN %1").arg(i);
    return number + QStringLiteral(" ELSE -1 END");
}

// The hours of activity: the clock hours (UTC) with an attempt begun, by local day, by station
// and in all, counted from the attempts grouped by hour and station along the hour index. An
// hour lies in its UTC day; its attempts begun on the local day before or after it (where the
// zone's midnight falls within the hour, or its offset is a day's other side) make the hour
// active there too.
QString hourStatement(const ZoneOffsets &zone, const QString &where)
{
    return QStringLiteral("WITH h AS MATERIALIZED (SELECT %1 AS hour, station, count(*) AS n, %2 AS p, %3 AS q FROM records "
                          "WHERE kind = 'update'%4 GROUP BY %1, station) "
                          "SELECT 'station', station, CAST(NULL AS BIGINT), count(DISTINCT hour) FROM h GROUP BY station "
                          "UNION ALL SELECT 'all', NULL, NULL, count(DISTINCT hour) FROM h "
                          "UNION ALL SELECT 'day', NULL, day, count(DISTINCT hour) FROM (SELECT hour / 24 - 1 AS day, hour FROM h "
                          "WHERE p > 0 UNION ALL SELECT hour / 24, hour FROM h WHERE n > p + q UNION ALL SELECT hour / 24 + 1, hour "
                          "FROM h WHERE q > 0) d GROUP BY day")
        .arg(JournalSchema::startHour, zone.shifted(false), zone.shifted(true), where);
}

// The attempts counted by local day and by station, each by tenth of a second, from the attempts
// grouped by UTC day, station and tenth along the duration index (the local day is the UTC day,
// or the one before or after for the records counted apart). Counting each millisecond apart
// would return about a row per attempt; rounding is monotonic, so a percentile of the tenths is
// the exact percentile rounded to a tenth.
QString durationStatement(const ZoneOffsets &zone, const QString &where)
{
    return QStringLiteral("WITH d AS MATERIALIZED (SELECT %1 AS day, station, %2 AS tenths, count(*) AS n, %3 AS p, %4 AS q "
                          "FROM records WHERE kind = 'update'%5 GROUP BY %1, station, %2) "
                          "SELECT 'station', station, CAST(NULL AS BIGINT), tenths, sum(n) FROM d GROUP BY station, tenths "
                          "UNION ALL SELECT 'day', NULL, day, tenths, sum(k) FROM (SELECT day - 1 AS day, tenths, p AS k FROM d WHERE "
                          "p > 0 UNION ALL SELECT day, tenths, n - p - q FROM d WHERE n > p + q UNION ALL SELECT day + 1, tenths, q "
                          "FROM d WHERE q > 0) e GROUP BY day, tenths")
        .arg(JournalSchema::startDay, JournalSchema::durationTenths, zone.shifted(false), zone.shifted(true), where);
}

// Each gimbal's first two attempts (day, station number, passed), counted by their pattern: a
// gimbal with one or two attempts is wholly described by them. Each attempt becomes one integer,
// (start - base) * 2 * stations + station * 2 + passed, so that a gimbal's smallest is its first
// and its largest its last: plain min and max, the same in both databases, read along the
// gimbal index. Two attempts begun in the same millisecond (only clocks set apart give that) are
// ordered by station number, then failure before pass. Gimbals with more come back as one row of
// key -1, for `manyStatement`. The pattern is packed into one integer (see `compute`); a gimbal
// tried once has its first attempt in its second's place too.
QString gimbalStatement(const ZoneOffsets &zone, const QString &station, qint64 base, qint64 stations, qint64 firstDay, qint64 days,
                        const QString &where)
{
    const qint64 width = 2 * stations;
    const QString span = QString::number(stations), attempt = QStringLiteral("(started_ms - %1) * %2 + %3 * 2 + passed")
                                                                   .arg(QString::number(base), QString::number(width), station);
    // The day of an attempt's integer, from the first day; without changes of offset, the
    // constants are added up here rather than for every gimbal.
    const auto day = [&](const QString &m) {
        if (zone.changes.isEmpty())
            return QStringLiteral("(%1 / %2 + %3) / %4 - %5")
                .arg(m, QString::number(width), QString::number(base + zone.first + JournalSchema::StartBiasMs), QString::number(DayMs),
                     QString::number(BiasDays + firstDay));
        const QString start = QStringLiteral("(%1 + %2 / %3)").arg(QString::number(base), m, QString::number(width));
        return QStringLiteral("(%1 - %2)").arg(zone.day(start), QString::number(firstDay));
    };
    const QString key = QStringLiteral("((((((n - 1) * 2 + a % 2) * 2 + b % 2) * %1 + (a / 2) % %1) * %1 + (b / 2) % %1) * %2 + %3) "
                                       "* %2 + %4")
                            .arg(span, QString::number(days), day(QStringLiteral("a")), day(QStringLiteral("b")));
    return QStringLiteral("SELECT key, count(*) FROM (SELECT CASE WHEN n > 2 THEN -1 ELSE %1 END AS key FROM (SELECT count(*) AS n, "
                          "min(%2) AS a, max(%2) AS b FROM records WHERE kind = 'update' AND gimbal IS NOT NULL%3 GROUP BY gimbal) t) u "
                          "GROUP BY key")
        .arg(key, attempt, where);
}

// The gimbals with more than two attempts, each attempt marked in the gimbal's order (as
// `gimbalStatement` orders them, then by id): its first, its last, the first of each day and at
// each station, and its first pass.
QString manyStatement(const ZoneOffsets &zone, const QString &station, const QString &where)
{
    const QString yes = QStringLiteral("THEN 1 ELSE 0 END");
    return QStringLiteral("WITH w AS (SELECT day, station, passed, row_number() OVER g AS n_all, count(*) OVER (PARTITION BY gimbal) "
                          "AS c_all, lag(day) OVER g AS prev_day, row_number() OVER (PARTITION BY gimbal, station ORDER BY started_ms, "
                          "passed, id) AS n_station, sum(passed) OVER g AS passes FROM (SELECT gimbal, started_ms, id, %4 AS station, "
                          "passed, %1 AS day FROM records WHERE kind = 'update' AND gimbal IN (SELECT gimbal FROM records WHERE kind = "
                          "'update' AND gimbal IS NOT NULL%2 GROUP BY gimbal HAVING count(*) > 2)%2) t WINDOW g AS (PARTITION BY gimbal "
                          "ORDER BY started_ms, station, passed, id)) "
                          "SELECT 'all', 0, sum(CASE WHEN n_all = 1 %3), sum(CASE WHEN n_all = 1 AND passed = 1 %3), "
                          "sum(CASE WHEN n_all = c_all AND passed = 1 %3), sum(CASE WHEN passes = 1 AND passed = 1 %3) FROM w "
                          "UNION ALL SELECT 'day', day, sum(CASE WHEN prev_day IS NULL OR prev_day <> day %3), "
                          "sum(CASE WHEN (prev_day IS NULL OR prev_day <> day) AND passed = 1 %3), 0, "
                          "sum(CASE WHEN passes = 1 AND passed = 1 %3) FROM w GROUP BY day "
                          "UNION ALL SELECT 'station', station, sum(CASE WHEN n_station = 1 %3), "
                          "sum(CASE WHEN n_station = 1 AND passed = 1 %3), 0, sum(CASE WHEN passes = 1 AND passed = 1 %3) "
                          "FROM w GROUP BY station")
        .arg(zone.day(QStringLiteral("started_ms")), where, yes, station);
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
    // The range is taken on the stored start, which the indexes hold (the hours and durations
    // also bound their index's hour or day, so that only the range's part of it is read).
    JournalFilter others = report.filter;
    others.since = others.until = QDateTime();
    QVariantList values;
    QStringList conditions;
    if (const QString where = JournalStore::filterWhere(others, &values); !where.isEmpty())
        conditions.append(where);
    QString hourRange, dayRange;
    const auto bound = [&](const QDateTime &time, bool from) {
        if (!time.isValid())
            return;
        const qint64 ms = time.toMSecsSinceEpoch(), last = (from ? ms : ms - 1) + JournalSchema::StartBiasMs;
        const QString compare = from ? QStringLiteral(">=") : QStringLiteral("<=");
        conditions.append(QStringLiteral("started_ms %1 %2").arg(from ? QStringLiteral(">=") : QStringLiteral("<"), QString::number(ms)));
        hourRange += QStringLiteral(" AND %1 %2 %3").arg(JournalSchema::startHour, compare, QString::number(last / HourMs));
        dayRange += QStringLiteral(" AND %1 %2 %3").arg(JournalSchema::startDay, compare, QString::number(last / DayMs));
    };
    bound(report.filter.since, true);
    bound(report.filter.until, false);
    const QString where = conditions.join(QStringLiteral(" AND "));
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
    QDateTime from = timeOf(query.value(0)), to = timeOf(query.value(1));
    if (!from.isValid() || !to.isValid())
        from = to = QDateTime::currentDateTimeUtc();
    // Attempts are placed from this start (a second early: no stored start is before it).
    const qint64 base = from.toMSecsSinceEpoch() - 1000, last = to.toMSecsSinceEpoch() + 1000;
    const QTimeZone zoneHere = QTimeZone::systemTimeZone();
    ZoneOffsets zone;
    zone.first = zoneHere.offsetFromUtc(from.addDays(-2)) * qint64(1000);
    for (const QTimeZone::OffsetData &change : zoneHere.transitions(from.addDays(-2), to.addDays(2)))
        zone.changes.append({change.atUtc.toMSecsSinceEpoch(), change.offsetFromUtc * qint64(1000)});

    // Records an older program wrote without their stored values would be counted wrongly, or
    // (without a stored start) not at all: no report rather than a wrong one. Their start is
    // not stored, so the range is taken on the written one; the hour index finds them.
    QVariantList written;
    const QString writtenWhere = JournalStore::filterWhere(report.filter, &written);
    if (!run(query, QStringLiteral("SELECT count(*) FROM records WHERE kind IN ('update', 'calibration') AND %1 IS NULL%2")
                        .arg(JournalSchema::startHour, writtenWhere.isEmpty() ? QString() : QStringLiteral(" AND (%1)").arg(writtenWhere)),
             written, error)
        || !query.next())
        return std::nullopt;
    const int lacking = query.value(0).toInt();

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
    int failed = 0, unpassed = 0;
    while (query.next()) {
        if (stations.isEmpty() || stations.constLast() != query.value(0).toString())
            stations.append(query.value(0).toString());
        const int n = query.value(5).toInt();
        if (query.value(1).isNull())
            unpassed += n;
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
    stations.removeDuplicates();
    QHash<QString, int> stationIndex;
    for (qsizetype i = 0; i < stations.size(); ++i)
        stationIndex.insert(stations.at(i), int(i));
    qCDebug(lcJournal) << "yield report: stations and outcomes read at" << timer.elapsed() << "ms";

    if (const int unfilled = qMax(lacking, unpassed); unfilled > 0) {
        *error = QStringLiteral("%1 records lack their stored values (an older Velmora wrote them after the journal's upgrade); "
                                "'velmora-cli journal init' fills them")
                     .arg(unfilled);
        return std::nullopt;
    }

    // Hours of activity by local day, by station and in all.
    QMap<qint64, RowCounts> dayRows;
    QMap<int, RowCounts> stationRows;
    RowCounts totalRows;
    if (!run(query, hourStatement(zone, andWhere + hourRange), values, error))
        return std::nullopt;
    while (query.next()) {
        const QString section = query.value(0).toString();
        const int hours = query.value(3).toInt();
        if (section == QLatin1String("station"))
            stationRows[stationIndex.value(query.value(1).toString())].activeHours = hours;
        else if (section == QLatin1String("day"))
            dayRows[query.value(2).toLongLong() - BiasDays].activeHours = hours;
        else
            totalRows.activeHours = hours;
    }
    qCDebug(lcJournal) << "yield report: hours read at" << timer.elapsed() << "ms";
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

    // Attempts and durations by local day and by station; the whole range's from the stations'.
    if (!run(query, durationStatement(zone, andWhere + dayRange), values, error))
        return std::nullopt;
    while (query.next()) {
        const bool byDay = query.value(0).toString() == QLatin1String("day");
        const qint64 n = query.value(4).toLongLong();
        RowCounts *group = byDay ? &dayRows[query.value(2).toLongLong() - BiasDays]
                                 : &stationRows[stationIndex.value(query.value(1).toString())];
        for (RowCounts *rows : {group, byDay ? nullptr : &totalRows}) {
            if (!rows)
                continue;
            rows->attempts += n;
            if (!query.value(3).isNull())
                rows->durations[query.value(3).toLongLong() / 10.0] += n;
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
    // Within 63 bits: 8 * (stations * days)^2 for a pattern, and the journal's span in
    // milliseconds times twice the stations for an attempt, stay far below it for any real line.
    if (stationSpan * daySpan > 100000000 || double(last - base) * 2 * double(stationSpan) > 4e18) {
        *error = QStringLiteral("the range holds too many stations and days for one report (%1 stations, %2 days)")
                     .arg(stationSpan)
                     .arg(daySpan);
        return std::nullopt;
    }
    // A gimbal's attempts come in order from the index: the server groups them as they come
    // rather than hashing half a million keys (for this statement only).
    if (!local && !run(query, QStringLiteral("SELECT set_config('enable_hashagg', 'off', true)"), {}, error))
        return std::nullopt;
    if (!run(query, gimbalStatement(zone, station, base, stationSpan, firstDay, daySpan, andWhere), stationValues(2) + values, error))
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
    if (!local && !run(query, QStringLiteral("SELECT set_config('enable_hashagg', 'on', true)"), {}, error))
        return std::nullopt;
    qCDebug(lcJournal) << "yield report: gimbals read at" << timer.elapsed() << "ms";
    if (many) {
        if (!run(query, manyStatement(zone, station, andWhere), stationValues(1) + values + values, error))
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
