// The yield report over many update records, in SQLite and in a throw-away PostgreSQL server:
// the time and this process's peak memory while the report is computed, for all the records and
// for the last week.
//   bench_yield_report [--records N]   (default 1,000,000: two attempts a gimbal, two chips each)
#include "JournalStore.h"
#include "PgCluster.h"
#include "YieldReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

// The process's peak resident memory (kB) since the last reset.
long peakKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

bool exec(JournalStore &store, const QString &sql)
{
    QSqlQuery query(store.database());
    if (query.exec(sql))
        return true;
    std::fprintf(stderr, "seeding failed: %s\n", qPrintable(query.lastError().text()));
    return false;
}

// N update records 2.5 s apart over four stations, written through the documented columns as
// another program would: 80 % success, the rest failures of four kinds (no chip listed for
// no-bootloader); record i belongs to gimbal i / 2, two chips each.
QStringList seedStatements(bool local, int n)
{
    const QString outcome = QStringLiteral("CASE WHEN i % 10 < 8 THEN 'success' WHEN i % 10 = 8 THEN 'write-failed' "
                                           "WHEN i % 3 = 0 THEN 'no-bootloader' WHEN i % 3 = 1 THEN 'hardware-mismatch' "
                                           "ELSE 'not-running' END");
    const QString gimbal = QStringLiteral("CASE WHEN i % 10 = 9 AND i % 3 = 0 THEN NULL ELSE ((i / 2) * 2 + 1) || ',' || ((i / 2) * 2 + 2) END");
    const QString attempts = local ? QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                                    "SELECT printf('r%07d', i) AS id, 1796083200000 + i * 2500 AS ms, "
                                                    "20000 + (i * 7919) % 60000 AS length, 'station-' || (i % 4) AS station, %2 AS outcome, "
                                                    "%3 AS gimbal FROM n")
                                   : QStringLiteral("SELECT 'r' || lpad(i::text, 7, '0') AS id, 1796083200000 + i * 2500 AS ms, "
                                                    "20000 + (i * 7919) % 60000 AS length, 'station-' || (i % 4) AS station, %2 AS outcome, "
                                                    "%3 AS gimbal FROM generate_series(0::bigint, %1) AS i");
    const QString time = local ? QStringLiteral("strftime('%Y-%m-%dT%H:%M:%fZ', %1 / 1000.0, 'unixepoch')")
                               : QStringLiteral("to_timestamp(%1 / 1000.0)");
    const QString records = QStringLiteral("INSERT INTO records (id, kind, started, ended, station, version, outcome, check_result, gimbal) "
                                           "SELECT id, 'update', %1, %2, station, '1.0', outcome, NULL, gimbal FROM (%3) a")
                                .arg(time.arg(QStringLiteral("ms")), time.arg(QStringLiteral("(ms + length)")),
                                     attempts.arg(n - 1).arg(outcome, gimbal));
    const QString chips = QStringLiteral("INSERT INTO chips (record_id, position, cpuid, firmware_after, result) SELECT r.id, p.p, "
                                         "(CAST(substr(r.id, 2) AS INTEGER) / 2) * 2 + p.p, 105, 'written' FROM records r, "
                                         "(SELECT 1 AS p UNION ALL SELECT 2) p WHERE r.gimbal IS NOT NULL");
    // A calibration of each gimbal a second after its first attempt, its check's five figures
    // after the save; one in twenty fails it on the gyroscope's bias.
    const QString calibrations = QStringLiteral("INSERT INTO records (id, kind, started, ended, station, version, outcome) "
                                                "SELECT 'c' || substr(id, 2), 'calibration', %1, %2, station, '1.0', CASE WHEN "
                                                "CAST(substr(id, 2) AS INTEGER) % 40 = 0 THEN 'check-failed' ELSE 'success' END "
                                                "FROM (%3) a WHERE CAST(substr(id, 2) AS INTEGER) % 2 = 0")
                                     .arg(time.arg(QStringLiteral("(ms + 1000)")), time.arg(QStringLiteral("(ms + 61000)")),
                                          attempts.arg(n - 1).arg(outcome, gimbal));
    const QString measurements = QStringLiteral(
        "INSERT INTO measurements (record_id, name, value, low, high, unit, passed) SELECT r.id, f.name, "
        "f.low + (f.high - f.low) * (CASE WHEN f.name = 'gyro_bias' AND r.outcome = 'check-failed' THEN 1.2 "
        "ELSE (CAST(substr(r.id, 2) AS INTEGER) % 97) / 100.0 END), f.low, f.high, f.unit, "
        "(f.name <> 'gyro_bias' OR r.outcome = 'success') FROM records r, (SELECT 'accel_norm' AS name, 0.97 AS low, "
        "1.03 AS high, 'g' AS unit UNION ALL SELECT 'accel_noise', 0, 0.01, 'g' UNION ALL SELECT 'gyro_bias', 0, 0.5, 'deg/s' "
        "UNION ALL SELECT 'gyro_noise', 0, 0.2, 'deg/s' UNION ALL SELECT 'tilt', 0, 10, 'deg') f WHERE r.kind = 'calibration'");
    if (local)
        return {QStringLiteral("BEGIN"), records, chips, calibrations, measurements, QStringLiteral("COMMIT"), QStringLiteral("ANALYZE")};
    return {records, chips, calibrations, measurements, QStringLiteral("VACUUM ANALYZE records"), QStringLiteral("VACUUM ANALYZE chips"),
            QStringLiteral("VACUUM ANALYZE measurements")};
}

// Seeds a journal made at this program's version (the rows are written by SQL, not through the
// store), then times its report.
bool measure(const char *name, JournalStore &store, JournalStore::Backend backend, const QString &target, int n)
{
    QString error;
    if (!store.open(backend, target, 600000, &error)) {
        std::fprintf(stderr, "%s: %s\n", name, qPrintable(error));
        return false;
    }
    QElapsedTimer seeding;
    seeding.start();
    for (const QString &sql : seedStatements(backend == JournalStore::Backend::Local, n))
        if (!exec(store, sql))
            return false;
    std::printf("%s: %d update records seeded in %.1f s\n", name, n, seeding.elapsed() / 1000.0);
    std::fflush(stdout);
    resetPeak();
    const long before = peakKb();
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = cpuSeconds();
    const auto report = YieldReport::compute(store, JournalFilter{}, &error);
    const double seconds = timer.elapsed() / 1000.0;
    // On a shared machine the wall time also counts the others' work; the process's own CPU
    // time (SQLite's) says what the report cost here. The server's work is in the wall time.
    const double cpu = cpuSeconds() - cpuBefore;
    if (!report) {
        std::fprintf(stderr, "%s: report failed: %s\n", name, qPrintable(error));
        return false;
    }
    std::printf("%s: report in %.2f s (%.2f s of this process's CPU), peak memory %.1f MB (%.1f MB before it); %d attempts, %d "
                "gimbals, first-pass yield %.3f, %lld days, %lld stations; %d calibrations checked, %lld measurements\n",
                name, seconds, cpu, peakKb() / 1024.0, before / 1024.0, report->total.attempts, report->total.gimbals,
                report->total.firstPassYield().value_or(-1), qlonglong(report->byDay.size()), qlonglong(report->byStation.size()),
                report->calibrationChecks.runs, qlonglong(report->measurements.size()));
    std::fflush(stdout);
    // A shift's question of a large journal: its last week (from 2026-12-23, UTC).
    JournalFilter week;
    week.since = QDateTime(QDate(2026, 12, 23), QTime(0, 0), Qt::UTC);
    timer.restart();
    const auto lastWeek = YieldReport::compute(store, week, &error);
    if (!lastWeek) {
        std::fprintf(stderr, "%s: report of the last week failed: %s\n", name, qPrintable(error));
        return false;
    }
    std::printf("%s: report of the last week (--since) in %.2f s; %d attempts\n", name, timer.elapsed() / 1000.0, lastWeek->total.attempts);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--records"));
    const int n = at >= 0 ? args.value(at + 1).toInt() : 1000000;
    QTemporaryDir dir;
    {
        JournalStore local;
        if (!measure("SQLite", local, JournalStore::Backend::Local, dir.filePath(QStringLiteral("journal.sqlite")), n))
            return 1;
    }
    PgCluster pg;
    if (!pg.start())
        return 1;
    JournalStore shared;
    if (!measure("PostgreSQL", shared, JournalStore::Backend::Shared, pg.uri(), n))
        return 1;
    return 0;
}
