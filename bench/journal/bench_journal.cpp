// The journal's figures: a local write per record, a query by cpuid over many records (local and
// shared), and several writer processes sending to one PostgreSQL server that restarts midway.
//   bench_journal [--records N] [--writers W] [--each E] [--flash ROUNDS] [--station AWAY_S]
// --flash: velmora-cli flash of the demo package into the simulator, ROUNDS times with the
// journal and as many without it (a file that cannot be made), in turns, in one run.
// --station: a running velmora-cli station with a shared journal: the time from a gimbal's end
// to its record on the server, with the server up, and with the server away for AWAY_S seconds
// (from its return).
#include "Journal.h"
#include "JournalSamples.h"
#include "JournalStore.h"
#include "PgCluster.h"
#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

int option(const QStringList &args, const char *name, int fallback)
{
    const qsizetype at = args.indexOf(QLatin1String(name));
    return at >= 0 ? args.value(at + 1).toInt() : fallback;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.at(size_t(p * double(values.size() - 1)));
}

// Each record written on its own, as the window and velmora-cli write them.
void localWrites(const QString &path)
{
    JournalConfig config;
    config.localPath = path;
    config.station = QStringLiteral("bench-1");
    Journal journal(config);
    journal.record(JournalSamples::calibration()); // opens the file and makes the tables
    for (const bool update : {true, false}) {
        std::vector<double> times;
        for (int i = 0; i < 1000; ++i) {
            const JournalRecord record = update ? JournalSamples::update(0x40000000u + uint32_t(i) * 2u)
                                                : JournalSamples::calibration();
            QElapsedTimer clock;
            clock.start();
            if (!journal.record(record))
                std::printf("write failed\n");
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        std::printf("local write, 1000 %s: median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                    update ? "updates (2 chips)" : "calibrations", percentile(times, 0.5), percentile(times, 0.99),
                    percentile(times, 1.0));
    }
}

// `count` records in batches, then the median of 20 lookups of single cpuids.
void query(JournalStore &store, const char *where, int count)
{
    QString error;
    QList<JournalRecord> batch;
    for (int i = 0; i < count; ++i) {
        batch.append(JournalSamples::update(0x10000000u + uint32_t(i) * 2u, i % 17 ? QStringLiteral("success") : QStringLiteral("write-failed")));
        if (batch.size() == 1000 || i == count - 1) {
            if (!store.append(batch, &error))
                std::printf("%s: %s\n", where, qPrintable(error));
            batch.clear();
        }
    }
    std::vector<double> times;
    int found = 0;
    for (int i = 0; i < 20; ++i) {
        JournalFilter filter;
        filter.cpuid = 0x10000000u + uint32_t((i * 4919) % count) * 2u + 1u;
        QElapsedTimer clock;
        clock.start();
        found += int(store.find(filter, &error).size());
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("query by cpuid over %d records, %s: median %.2f ms, max %.2f ms (%d of 20 found)\n", count, where,
                percentile(times, 0.5), percentile(times, 1.0), found);
}

void writersThroughARestart(PgCluster &pg, const QString &dir, int writers, int each)
{
    pg.exec(QStringLiteral("TRUNCATE chips, records"));
    std::vector<std::unique_ptr<QProcess>> processes;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < writers; ++i) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // One station a process, as a line's stations each keep a file of their own.
        env.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), dir + QStringLiteral("/station-%1.sqlite").arg(i));
        env.insert(QStringLiteral("VELMORA_JOURNAL"), pg.uri());
        process->setProcessEnvironment(env);
        process->start(QCoreApplication::applicationDirPath() + QStringLiteral("/journal_writer"),
                       {QString::number(each), QStringLiteral("--send"), QStringLiteral("--spread"), QStringLiteral("10")});
        processes.push_back(std::move(process));
    }
    const int expected = writers * each;
    while (pg.count(QStringLiteral("SELECT count(*) FROM records")) < expected / 3)
        QThread::msleep(20);
    QElapsedTimer down;
    down.start();
    pg.stopServer();
    pg.startServer();
    const qint64 downMs = down.elapsed();
    int failed = 0;
    for (auto &process : processes) {
        process->waitForFinished(120000);
        failed += process->exitCode() != 0;
    }
    const int present = pg.count(QStringLiteral("SELECT count(DISTINCT id) FROM records"));
    const int rows = pg.count(QStringLiteral("SELECT count(*) FROM records"));
    QString longest;
    pg.exec(QStringLiteral("SELECT round(extract(epoch FROM max(received - ended)) * 1000) FROM records"), &longest);
    std::printf("%d writers x %d updates, server restarted once (down %lld ms) after a third: present %d / %d, "
                "duplicates %d, writers failed %d, longest wait from end to server %s ms, all in %lld ms\n",
                writers, each, downMs, present, expected, rows - present, failed, qPrintable(longest), clock.elapsed());
}

// Milliseconds one velmora-cli flash takes, the simulator started beforehand.
qint64 flashOnce(const QString &journalFile)
{
    SimulatorProcess sim;
    if (!sim.start({QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip")}))
        return -1;
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journalFile);
    env.remove(QStringLiteral("VELMORA_JOURNAL"));
    cli.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    cli.start(QCoreApplication::applicationDirPath() + QStringLiteral("/velmora-cli"),
              {QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"), QStringLiteral("4"),
               QStringLiteral(VELMORA_DEMO_PACKAGE)});
    if (!cli.waitForFinished(120000) || cli.exitCode() != 0)
        return -1;
    return clock.elapsed();
}

void flashWithAndWithout(const QString &dir, int rounds)
{
    std::vector<double> with, without;
    for (int i = 0; i < rounds; ++i) {
        with.push_back(double(flashOnce(dir + QStringLiteral("/flash.sqlite"))));
        without.push_back(double(flashOnce(QStringLiteral("/proc/velmora-no-journal/journal.sqlite"))));
    }
    const double a = percentile(with, 0.5), b = percentile(without, 0.5);
    std::printf("velmora-cli flash of the demo package, %d rounds each in turns: median %.0f ms with the journal, "
                "%.0f ms without, ratio %.3f\n", rounds, a, b, a / b);
}

// Starts `velmora-cli station` on the simulator's port, sending to `uri`, until it is stopped.
bool startStation(QProcess &station, const SimulatorProcess &sim, const QString &journalFile, const QString &uri)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journalFile);
    env.insert(QStringLiteral("VELMORA_JOURNAL"), uri);
    env.insert(QStringLiteral("VELMORA_VIRTUAL_PORTS"), sim.path());
    station.setProcessEnvironment(env);
    station.start(QCoreApplication::applicationDirPath() + QStringLiteral("/velmora-cli"),
                  {QStringLiteral("station"), QStringLiteral("--package"), QStringLiteral(VELMORA_DEMO_PACKAGE),
                   QStringLiteral("--product"), QStringLiteral("4"), QStringLiteral("--json")});
    return station.waitForStarted(5000);
}

// Polls every 20 ms until `done` holds or `ms` pass; the time it took, or -1.
template <typename F>
qint64 waitFor(F done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (done())
            return clock.elapsed();
        QThread::msleep(20);
    }
    return -1;
}

int localCount(const QString &file)
{
    JournalStore store;
    QString error;
    if (!store.open(JournalStore::Backend::Local, file, 2000, &error))
        return -1;
    return int(store.find(JournalFilter{}, &error).size());
}

void stationSends(PgCluster &pg, const QString &dir, int awaySeconds)
{
    const QStringList simArgs{QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip")};
    // The server up: the record's end (RUN) to its arrival, as the server's clock saw it.
    {
        SimulatorProcess sim;
        QProcess station;
        if (!sim.start(simArgs) || !startStation(station, sim, dir + QStringLiteral("/up.sqlite"), pg.uri())) {
            std::printf("station: could not start\n");
            return;
        }
        const bool arrived = waitFor([&] { return pg.count(QStringLiteral("SELECT count(*) FROM records")) >= 1; }, 120000) >= 0;
        QString delay;
        pg.exec(QStringLiteral("SELECT round(extract(epoch FROM max(received - ended)) * 1000) FROM records"), &delay);
        std::printf("station running, server up: record %s, %s ms from the gimbal's end to the server\n",
                    arrived ? "arrived" : "did not arrive in 120 s", qPrintable(delay));
        station.terminate();
        station.waitForFinished(10000);
    }
    // The server away while the gimbal is updated, back `awaySeconds` after the record was kept.
    {
        if (!pg.stopServer()) {
            std::printf("station: the server did not stop\n");
            return;
        }
        SimulatorProcess sim;
        QProcess station;
        const QString file = dir + QStringLiteral("/away.sqlite");
        if (!sim.start(simArgs) || !startStation(station, sim, file, pg.uri())) {
            std::printf("station: could not start\n");
            return;
        }
        const bool kept = waitFor([&] { return localCount(file) >= 1; }, 120000) >= 0;
        QThread::sleep(awaySeconds);
        if (!pg.startServer()) {
            std::printf("station: the server did not start again\n");
            return;
        }
        const qint64 ms = waitFor([&] { return pg.count(QStringLiteral("SELECT count(*) FROM records")) >= 2; }, 180000);
        std::printf("station running, server away %d s after the record was kept (%s): it reached the server %lld ms "
                    "after the server's return%s\n",
                    awaySeconds, kept ? "kept" : "not kept", qlonglong(ms), ms < 0 ? " (not within 180 s)" : "");
        station.terminate();
        station.waitForFinished(10000);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int records = option(args, "--records", 100000);
    QTemporaryDir dir;
    if (args.contains(QStringLiteral("--flash"))) {
        flashWithAndWithout(dir.path(), option(args, "--flash", 5));
        return 0;
    }
    if (args.contains(QStringLiteral("--station"))) {
        PgCluster pg;
        if (!pg.start()) {
            std::printf("no PostgreSQL server: %s\n", qPrintable(pg.error));
            return 1;
        }
        stationSends(pg, dir.path(), option(args, "--station", 40));
        return 0;
    }
    localWrites(dir.filePath(QStringLiteral("writes.sqlite")));

    QString error;
    {
        JournalStore local;
        if (local.open(JournalStore::Backend::Local, dir.filePath(QStringLiteral("query.sqlite")), 5000, &error))
            query(local, "local", records);
    }
    PgCluster pg;
    if (!pg.start()) {
        std::printf("no PostgreSQL server: %s\n", qPrintable(pg.error));
        return 1;
    }
    {
        JournalStore shared;
        if (shared.open(JournalStore::Backend::Shared, pg.uri(), 5000, &error))
            query(shared, "shared", records);
        else
            std::printf("shared: %s\n", qPrintable(error));
    }
    writersThroughARestart(pg, dir.path(), option(args, "--writers", 8), option(args, "--each", 50));
    return 0;
}
