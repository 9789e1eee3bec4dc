// Computes the yield report: one ordered read of the range's update attempts, folded by
// YieldTally, two small counts in SQL (chips written by firmware, calibrations), and one ordered
// read of the calibrations and checks with their measurements, folded by CheckTally.
#include "CheckTally.h"
#include "ReportLog.h"
#include "YieldReport.h"
#include "YieldTally.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace {

// The report's statements read one snapshot of the journal, so that a record another station
// adds meanwhile is in all of its figures or in none; nothing is written, so it ends in a rollback.
class ReadSnapshot
{
public:
    ReadSnapshot(JournalStore &store, QString *error)
        : db(store.database())
    {
        QSqlQuery query(db);
        open = db.transaction()
               && (store.backend() == JournalStore::Backend::Local
                   || query.exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY")));
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

// A forward-only read that ended early on an error says so only in its last error.
bool readToEnd(const QSqlQuery &query, QString *error)
{
    if (!query.lastError().isValid())
        return true;
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
    const QString andWhere = where.isEmpty() ? QString() : QStringLiteral(" AND (%1)").arg(where);
    error->clear();
    QElapsedTimer timer;
    timer.start();
    const ReadSnapshot snapshot(store, error);
    if (!snapshot.isOpen())
        return std::nullopt;
    QSqlQuery query(store.database());

    // The range's update attempts, each gimbal's together and in its order.
    if (!store.exec(query,
                    QStringLiteral("SELECT gimbal, started_ms, station, passed, seconds, outcome, check_result FROM records "
                                   "WHERE kind = 'update'%1 ORDER BY gimbal, started_ms, station, passed, id")
                        .arg(andWhere),
                    values, error))
        return std::nullopt;
    YieldTally tally(QTimeZone::systemTimeZone());
    while (query.next()) {
        YieldAttempt attempt;
        attempt.gimbal = query.value(0).toString();
        attempt.startedMs = query.value(1).toLongLong();
        attempt.station = query.value(2).toString();
        attempt.passed = query.value(3).toInt() == 1;
        if (const QVariant seconds = query.value(4); !seconds.isNull())
            attempt.seconds = seconds.toDouble();
        attempt.outcome = query.value(5).toString();
        attempt.checkResult = query.value(6).toString();
        tally.add(attempt);
    }
    if (!readToEnd(query, error))
        return std::nullopt;
    tally.finish(&report);
    qCDebug(lcReport) << "yield report: attempts read and folded in" << timer.elapsed() << "ms";

    // The chips written, by the image's firmware (unknown when the record has none), newest first.
    if (!store.exec(query,
                    QStringLiteral("SELECT c.firmware_after, count(*) FROM records JOIN chips c ON c.record_id = records.id "
                                   "WHERE kind = 'update' AND c.result = 'written'%1 GROUP BY c.firmware_after")
                        .arg(andWhere),
                    values, error))
        return std::nullopt;
    while (query.next())
        report.firmware.append({query.value(0).isNull() ? UnknownFirmware : query.value(0).toInt(), query.value(1).toInt()});
    if (!readToEnd(query, error))
        return std::nullopt;
    std::sort(report.firmware.begin(), report.firmware.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    qCDebug(lcReport) << "yield report: firmware read at" << timer.elapsed() << "ms";

    // Calibrations by outcome and the step a failed one ended at ("none" before any).
    if (!store.exec(query,
                    QStringLiteral("SELECT outcome, failed_step, count(*) FROM records WHERE kind = 'calibration'%1 "
                                   "GROUP BY outcome, failed_step")
                        .arg(andWhere),
                    values, error))
        return std::nullopt;
    QMap<QString, int> failedSteps;
    while (query.next()) {
        const int n = query.value(2).toInt();
        report.calibrationRuns += n;
        if (query.value(0).toString() == QLatin1String("success"))
            report.calibrationSuccesses += n;
        else
            failedSteps[query.value(1).toString().isEmpty() ? QStringLiteral("none") : query.value(1).toString()] += n;
    }
    if (!readToEnd(query, error))
        return std::nullopt;
    for (auto it = failedSteps.cbegin(); it != failedSteps.cend(); ++it)
        report.calibrationFailures.append({it.key(), it.value()});
    std::stable_sort(report.calibrationFailures.begin(), report.calibrationFailures.end(),
                     [](const auto &a, const auto &b) { return a.second > b.second; });
    qCDebug(lcReport) << "yield report: calibrations counted at" << timer.elapsed() << "ms";

    // The calibrations and checks, each with its measurements together (a row without one when it
    // has none). By id, not by start: sorting a large range's rows by start cost a third more.
    if (!store.exec(query,
                    QStringLiteral("SELECT r.id, r.kind, r.outcome, r.started_ms, m.name, m.value, m.low, m.high, m.unit, m.passed FROM "
                                   "(SELECT id, kind, outcome, started_ms FROM records WHERE kind IN ('calibration', 'check')%1) r "
                                   "LEFT JOIN measurements m ON m.record_id = r.id ORDER BY r.id")
                        .arg(andWhere),
                    values, error))
        return std::nullopt;
    CheckTally checks;
    while (query.next()) {
        CheckRow row;
        row.id = query.value(0).toString();
        JournalRecord::kindFromName(query.value(1).toString(), &row.kind);
        row.outcome = query.value(2).toString();
        row.startedMs = query.value(3).toLongLong();
        if (!query.value(4).isNull()) {
            CheckMeasurement m;
            m.name = query.value(4).toString();
            m.value = query.value(5).isNull() ? std::nan("") : query.value(5).toDouble();
            m.low = query.value(6).toDouble();
            m.high = query.value(7).toDouble();
            m.unit = query.value(8).toString();
            row.measurement = m;
            row.passed = query.value(9).toBool();
        }
        checks.add(row);
    }
    if (!readToEnd(query, error))
        return std::nullopt;
    qCDebug(lcReport) << "yield report: calibrations and checks read and folded at" << timer.elapsed() << "ms";
    checks.finish(&report);
    qCDebug(lcReport) << "yield report:" << report.total.attempts << "attempts," << report.total.gimbals << "gimbals in"
                      << timer.elapsed() << "ms";
    return report;
}
