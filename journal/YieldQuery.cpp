// Computes the yield report in the database: one statement over the yield views for the update
// figures, one for the calibrations. Rows are aggregated there, never loaded one by one.
#include "YieldReport.h"

#include "JournalLog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <algorithm>

namespace {

// Nearest-rank percentiles: the k-th smallest of n, k = ceil(n * p / 100), in integers.
QString rankOf(const char *rank, const char *count, int percent)
{
    return QStringLiteral("min(CASE WHEN %1 = (%2 * %3 + 99) / 100 THEN seconds END)")
        .arg(QLatin1String(rank), QLatin1String(count))
        .arg(percent);
}

// The figures of one kind of group; `first` numbers a gimbal's attempts within the group, `last`
// counts the gimbals whose last attempt passed (the whole range only).
QString groupSelect(const QString &section, const QString &key, const QString &first, const char *rank, const char *count,
                    const QString &last, const QString &attempts = QStringLiteral("count(*)"))
{
    // A gimbal counts once where its first attempt is, and is updated where its first pass is:
    // sums over the window marks, since counting distinct gimbals costs a sort each.
    return QStringLiteral("SELECT '%1', %2, %3, sum(CASE WHEN %4 = 1 THEN 1 ELSE 0 END), "
                          "sum(CASE WHEN %4 = 1 AND passed = 1 THEN 1 ELSE 0 END), %5, sum(first_pass), %6, %7, "
                          "count(DISTINCT hour) FROM w")
        .arg(section, key, attempts, first, last, rankOf(rank, count, 50), rankOf(rank, count, 90));
}

QString updateStatement(bool local, const QString &where)
{
    // The report machine's local day: SQLite's own clock zone, or the session's on the server
    // (set from this machine's zone before the statement).
    const QString day = local ? QStringLiteral("date(started, 'localtime')") : QStringLiteral("to_char(started, 'YYYY-MM-DD')");
    // The clock hours with an attempt begun: the hours of activity, not the nights between them.
    const QString hour = local ? QStringLiteral("strftime('%Y-%m-%dT%H', started)") : QStringLiteral("to_char(started, 'YYYY-MM-DD\"T\"HH24')");
    // The first branch casts its figures: the server gives the whole union that type.
    const QString total = groupSelect(QStringLiteral("all"), QStringLiteral("''"), QStringLiteral("first_all"), "rank_all", "count_all",
                                      QStringLiteral("sum(CASE WHEN last_all = 1 AND passed = 1 THEN 1 ELSE 0 END)"),
                                      QStringLiteral("CAST(count(*) AS DOUBLE PRECISION)"));
    // Five orderings in all: a gimbal's attempts in time (first, last, and the first of each day,
    // days following time), a gimbal's at each station, and the durations overall, by day and by
    // station. The whole-partition frames let a count share its ordering's sort.
    const QString whole = QStringLiteral(" ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING");
    return QStringLiteral("WITH a AS MATERIALIZED (SELECT id, station, started, seconds, passed, "
                          "failure, gimbal, %1 AS day, %3 AS hour FROM update_attempts%2), "
                          "w AS MATERIALIZED (SELECT a.*, CASE WHEN gimbal IS NULL THEN 0 ELSE row_number() OVER g END AS first_all, "
                          "CASE WHEN gimbal IS NULL THEN 0 ELSE count(*) OVER g - row_number() OVER g + 1 END AS last_all, "
                          "CASE WHEN gimbal IS NULL THEN 0 WHEN lag(day) OVER g = day THEN 2 ELSE 1 END AS first_day, "
                          "CASE WHEN gimbal IS NULL THEN 0 ELSE row_number() OVER gs END AS first_station, "
                          "CASE WHEN gimbal IS NOT NULL AND passed = 1 AND sum(passed) OVER p = 1 THEN 1 ELSE 0 END AS first_pass, "
                          "row_number() OVER t AS rank_all, count(*) OVER t AS count_all, "
                          "row_number() OVER d AS rank_day, count(*) OVER d AS count_day, "
                          "row_number() OVER s AS rank_station, count(*) OVER s AS count_station FROM a "
                          "WINDOW g AS (PARTITION BY gimbal ORDER BY started, id%4), "
                          "p AS (PARTITION BY gimbal ORDER BY started, id ROWS UNBOUNDED PRECEDING), gs AS (PARTITION BY gimbal, station ORDER BY started, id), "
                          "t AS (ORDER BY seconds%4), d AS (PARTITION BY day ORDER BY seconds%4), "
                          "s AS (PARTITION BY station ORDER BY seconds%4)) ")
               .arg(day, where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where, hour, whole)
           + total + QStringLiteral(" UNION ALL ")
           + groupSelect(QStringLiteral("day"), QStringLiteral("day"), QStringLiteral("first_day"), "rank_day", "count_day",
                         QStringLiteral("NULL"))
           + QStringLiteral(" GROUP BY day UNION ALL ")
           + groupSelect(QStringLiteral("station"), QStringLiteral("station"), QStringLiteral("first_station"), "rank_station",
                         "count_station", QStringLiteral("NULL"))
           + QStringLiteral(" GROUP BY station UNION ALL SELECT 'failure', failure, count(*), NULL, NULL, NULL, NULL, NULL, NULL, NULL "
                            "FROM w WHERE failure IS NOT NULL GROUP BY failure "
                            "UNION ALL SELECT 'firmware', CAST(c.firmware_after AS TEXT), count(*), NULL, NULL, NULL, NULL, NULL, NULL, "
                            "NULL FROM chips c JOIN a ON a.id = c.record_id WHERE c.result = 'written' GROUP BY c.firmware_after");
}

std::optional<double> optionalValue(const QVariant &value)
{
    return value.isNull() ? std::nullopt : std::optional<double>(value.toDouble());
}

YieldGroup groupFrom(const QSqlQuery &query)
{
    YieldGroup g;
    g.key = query.value(1).toString();
    g.attempts = query.value(2).toInt();
    g.gimbals = query.value(3).toInt();
    g.firstPassed = query.value(4).toInt();
    g.finalPassed = query.value(5).toInt();
    g.updatedGimbals = query.value(6).toInt();
    g.medianSeconds = optionalValue(query.value(7));
    g.p90Seconds = optionalValue(query.value(8));
    g.activeHours = query.value(9).toInt();
    return g;
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

} // namespace

std::optional<YieldReport> YieldReport::compute(JournalStore &store, const JournalFilter &filter, QString *error)
{
    YieldReport report;
    report.filter = filter;
    report.filter.limit = -1;
    QVariantList values;
    const QString where = JournalStore::filterWhere(report.filter, &values);
    const bool local = store.backend() == JournalStore::Backend::Local;
    QSqlQuery query(store.database());
    if (!local) {
        const QString zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
        if (!run(query, QStringLiteral("SELECT set_config('TimeZone', ?, false)"), {zone}, error)) {
            *error = QStringLiteral("the server does not know this machine's time zone %1: %2").arg(zone, *error);
            return std::nullopt;
        }
    }
    if (!run(query, updateStatement(local, where), values, error))
        return std::nullopt;
    int failed = 0;
    while (query.next()) {
        const QString section = query.value(0).toString();
        if (section == QLatin1String("all"))
            report.total = groupFrom(query);
        else if (section == QLatin1String("day"))
            report.byDay.append(groupFrom(query));
        else if (section == QLatin1String("station"))
            report.byStation.append(groupFrom(query));
        else if (section == QLatin1String("failure")) {
            report.failures.append({query.value(1).toString(), query.value(2).toInt(), 0, 0});
            failed += query.value(2).toInt();
        } else if (section == QLatin1String("firmware"))
            report.firmware.append({query.value(1).toInt(), query.value(2).toInt()});
    }
    // An empty range still yields the total's row, with no attempts and no figures.
    report.total.key.clear();
    const auto byKey = [](const YieldGroup &a, const YieldGroup &b) { return a.key < b.key; };
    std::sort(report.byDay.begin(), report.byDay.end(), byKey);
    std::sort(report.byStation.begin(), report.byStation.end(), byKey);
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
