// Figures of velmora-cli station on a mocked bench: a day's run against flash of one gimbal, the
// journal of that run, the idle cost and the memory with many adapters at once.
#include "BenchSlot.h"
#include "CliProcess.h"
#include "JournalStore.h"
#include "TestPackages.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace {

constexpr int kWaitMs = 600000;

// Runs the event loop (which serves the simulated gimbals) until `done` or the time is up.
bool serveUntil(const std::function<bool()> &done, int timeoutMs = kWaitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

bool ended(CliProcess &cli)
{
    return cli.qprocess().state() == QProcess::NotRunning;
}

// A field of /proc/PID/status in kB (VmHWM, VmRSS) or as a number (Threads).
long statusField(qint64 pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(qsizetype(qstrlen(name))).trimmed().split(' ').first().toLong();
    return -1;
}

// Context switches of one thread, from /proc/PID/task/TID/status.
long threadSwitches(qint64 pid, const QString &task)
{
    QFile file(QStringLiteral("/proc/%1/task/%2/status").arg(pid).arg(task));
    long count = 0;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                count += line.split(':').last().trimmed().toLong();
    return count;
}

// CPU ticks (user + system) and context switches of every thread of PID.
std::pair<long, long> cpuAndSwitches(qint64 pid)
{
    long ticks = 0;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        ticks = fields.value(11).toLong() + fields.value(12).toLong();
    }
    long switches = 0;
    for (const QString &task : QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        switches += threadSwitches(pid, task);
    return {ticks, switches};
}

struct Station
{
    Station(const QTemporaryDir &dir, const QString &name)
        : journalFile(dir.filePath(name + QStringLiteral(".sqlite")))
    {
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journalFile);
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_STATION"), QStringLiteral("bench"));
        QObject::connect(&cli.qprocess(), &QProcess::readyReadStandardOutput, [this] {
            while (cli.qprocess().canReadLine()) {
                const QJsonObject event = QJsonDocument::fromJson(cli.qprocess().readLine()).object();
                if (onEvent)
                    onEvent(event);
            }
        });
    }
    bool start(const QString &package, const QStringList &more)
    {
        return cli.start(QStringList{QStringLiteral("station"), QStringLiteral("--package"), package, QStringLiteral("--product"),
                                     QStringLiteral("0"), QStringLiteral("--json")}
                         + more);
    }
    QString journalFile;
    CliProcess cli;
    std::function<void(const QJsonObject &)> onEvent;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!UdevTestbed::preloaded()) {
        std::fprintf(stderr, "run under umockdev-wrapper: %s\n", qPrintable(UdevTestbed::notPreloadedReason()));
        return 2;
    }
    qunsetenv("VELMORA_VIRTUAL_PORTS");
    QTemporaryDir dir;
    const QString package = dir.filePath(QStringLiteral("bench.ptz"));
    if (writeTestPackage(package, {12000, 5000}, 5).size() != 2)
        return 1;
    UdevTestbed bed;

    // One gimbal through flash: the time to beat.
    BenchSlot solo(bed, 0, dir.filePath(QStringLiteral("solo")));
    solo.plug();
    CliProcess flash;
    flash.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), dir.filePath(QStringLiteral("flash.sqlite")));
    QElapsedTimer clock;
    clock.start();
    flash.start({QStringLiteral("flash"), QStringLiteral("--port"), solo.tty, QStringLiteral("--product"), QStringLiteral("0"), package});
    serveUntil([&] { return ended(flash); });
    const double flashMs = double(clock.elapsed());
    solo.pull();
    std::printf("flash, one gimbal: %.0f ms (exit %d)\n", flashMs, flash.qprocess().exitCode());

    // 20 gimbals, up to 4 plugged at once, each pulled when it turned green; gimbals 3, 9 and
    // 15 are pulled after their third page and plugged in again when their failure shows.
    std::vector<std::unique_ptr<BenchSlot>> gimbals;
    for (int i = 1; i <= 20; ++i)
        gimbals.push_back(std::make_unique<BenchSlot>(bed, i, dir.filePath(QStringLiteral("g%1").arg(i))));
    const std::set<int> toPull{3, 9, 15};
    std::set<int> pulled;
    std::map<QString, int> byPort;
    std::map<int, qint64> pluggedAt;
    QList<double> attemptMs;
    int next = 0;
    int updated = 0;
    clock.restart();
    auto plug = [&](int index) {
        BenchSlot &slot = *gimbals[size_t(index - 1)];
        slot.plug();
        byPort[slot.tty] = index;
        pluggedAt[index] = clock.elapsed();
    };
    Station day(dir, QStringLiteral("day"));
    day.onEvent = [&](const QJsonObject &event) {
        if (event.value(QLatin1String("event")).toString() != QLatin1String("done"))
            return;
        const int index = byPort[event.value(QLatin1String("port")).toString()];
        BenchSlot &slot = *gimbals[size_t(index - 1)];
        if (event.value(QLatin1String("result")).toString() == QLatin1String("failed")) {
            plug(index); // the gimbal pulled mid-write goes back in
            return;
        }
        attemptMs.append(double(clock.elapsed() - pluggedAt[index]));
        ++updated;
        slot.pull();
        if (next < 20)
            plug(++next);
    };
    for (auto &slot : gimbals)
        QObject::connect(slot->device.get(), &GimbalDevice::traceLine, slot->device.get(), [&, s = slot.get()](const QString &line) {
            const int index = byPort[s->tty];
            if (toPull.count(index) && !pulled.count(index) && line.startsWith(QLatin1String("B WRITE_PAGE 1 2"))) {
                pulled.insert(index);
                QMetaObject::invokeMethod(&app, [s] { s->pull(); }, Qt::QueuedConnection);
            }
        });
    day.start(package, {QStringLiteral("--count"), QStringLiteral("20")});
    while (next < 4)
        plug(++next);
    serveUntil([&] { return ended(day.cli); });
    const double dayMs = double(clock.elapsed());
    double sum = 0;
    for (double ms : attemptMs)
        sum += ms;
    const double meanMs = attemptMs.isEmpty() ? 0 : sum / attemptMs.size();
    std::printf("station, 20 gimbals (3 pulled mid-write): exit %d, %d updated, %.0f ms in all, %.0f ms a gimbal on average\n",
                day.cli.qprocess().exitCode(), updated, dayMs, dayMs / 20);
    std::printf("  plug to RUN per gimbal: mean %.0f ms = %.3f x flash of one (goal <= 1.05)\n", meanMs, meanMs / flashMs);
    {
        JournalStore store;
        QString error;
        store.open(JournalStore::Backend::Local, day.journalFile, 2000, &error);
        std::map<QString, int> outcomes;
        int stationRows = 0;
        for (const JournalRecord &r : store.find(JournalFilter{}, &error)) {
            ++outcomes[r.outcome];
            stationRows += r.station == QLatin1String("bench");
        }
        std::printf("  journal: %d rows, station 'bench' on %d:", stationRows, stationRows);
        for (const auto &[outcome, count] : outcomes)
            std::printf(" %s %d", qPrintable(outcome), count);
        std::printf(" (expected: success 20, port-lost 3)\n");
    }

    // Idle: no adapter for 10 s.
    Station idle(dir, QStringLiteral("idle"));
    idle.start(package, {});
    serveUntil([&] { return false; }, 1000);
    const qint64 pid = idle.cli.qprocess().processId();
    const auto before = cpuAndSwitches(pid);
    serveUntil([&] { return false; }, 10000);
    const auto after = cpuAndSwitches(pid);
    std::printf("idle, nothing plugged, 10 s: %ld CPU ticks (1/100 s), %ld context switches of all threads\n",
                after.first - before.first, after.second - before.second);
    idle.cli.signal(SIGINT);
    serveUntil([&] { return ended(idle.cli); });

    // 32 adapters at once.
    std::vector<std::unique_ptr<BenchSlot>> many;
    for (int i = 0; i < 32; ++i) {
        many.push_back(std::make_unique<BenchSlot>(bed, 30 + i, dir.filePath(QStringLiteral("m%1").arg(i))));
        many.back()->plug();
    }
    Station crowd(dir, QStringLiteral("crowd"));
    int writing = 0;
    long peakThreads = 0;
    crowd.onEvent = [&](const QJsonObject &event) {
        if (event.value(QLatin1String("state")).toString() == QLatin1String("writing")
            && event.value(QLatin1String("event")).toString() == QLatin1String("state"))
            ++writing;
        peakThreads = std::max(peakThreads, statusField(crowd.cli.qprocess().processId(), "Threads:"));
    };
    clock.restart();
    crowd.start(package, {QStringLiteral("--count"), QStringLiteral("32")});
    long rssWriting = -1;
    serveUntil([&] { return writing >= 32 || ended(crowd.cli); });
    rssWriting = statusField(crowd.cli.qprocess().processId(), "VmRSS:");
    long peak = -1;
    serveUntil([&] {
        if (!ended(crowd.cli))
            peak = std::max(peak, statusField(crowd.cli.qprocess().processId(), "VmHWM:"));
        return ended(crowd.cli);
    });
    std::printf("32 adapters at once: exit %d in %.0f ms; resident %ld kB while all 32 write, peak %ld kB, %ld threads\n",
                crowd.cli.qprocess().exitCode(), double(clock.elapsed()), rssWriting, peak, peakThreads);
    return 0;
}
