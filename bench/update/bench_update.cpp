// Figures of the firmware update against the simulator's bootloader: wall time against the line, where the rest goes, CPU, faulty runs.
#include "GivePackage.h"
#include "CliFaultSeries.h"
#include "MetaTypes.h"
#include "SimulatorProcess.h"
#include "UpdateHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMutex>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr double ByteSeconds = 10.0 / 115200; // one byte on the line, 8N1

// CPU time (ms) and voluntary context switches of one thread of this process.
struct ThreadUsage
{
    double cpuMs = 0;
    long long wakeups = 0;
};

QString findThread(const QString &name)
{
    for (const QString &tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(tid));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name.toLatin1())
            return tid;
    }
    return {};
}

ThreadUsage usageOf(const QString &tid)
{
    ThreadUsage usage;
    // schedstat's first field is the time spent on a CPU in nanoseconds (finer than stat's ticks).
    QFile schedstat(QStringLiteral("/proc/self/task/%1/schedstat").arg(tid));
    if (schedstat.open(QIODevice::ReadOnly))
        usage.cpuMs = schedstat.readAll().split(' ').value(0).toDouble() / 1e6;
    QFile status(QStringLiteral("/proc/self/task/%1/status").arg(tid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                usage.wakeups = line.mid(24).trimmed().toLongLong();
    }
    return usage;
}

void spin(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, int(ms - clock.elapsed()));
}

// Timestamps of every payload that leaves the service and every one that reaches it.
struct WireLog
{
    struct Event
    {
        qint64 ns;
        bool out;
        int frameBytes;
        bool answered; // not RUN or RESTART, which get no reply
    };
    // CLOCK_MONOTONIC, which the simulator's timed trace lines share.
    static qint64 nowNs()
    {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    }
    void add(bool out, const QByteArray &payload, bool multiChip)
    {
        const uint8_t code = payload.isEmpty() ? 0 : uint8_t(payload[0]);
        const bool unanswered = out && payload.size() == 2
            && (multiChip ? (code == 0x16 || code == 0x17) : (code == 0x22 || code == 0x23));
        QMutexLocker lock(&mutex);
        events.push_back({nowNs(), out, int(payload.size()) + 6, !unanswered});
    }
    QMutex mutex;
    std::vector<Event> events;
};

// One clean update of 2 chips x 64 KiB at line speed; prints the ratio and where the rest goes.
bool timedUpdate(int pageSize, bool multiChip, const QString &workDir)
{
    const QString package = workDir + QStringLiteral("/bench.ptz");
    const QList<QByteArray> images = writeTestPackage(package, {65536, 65536}, 3);
    QStringList arguments{QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--page-size"),
                          QString::number(pageSize), QStringLiteral("--page-count"), QString::number(65536 / pageSize),
                          QStringLiteral("--trace-time")};
    if (multiChip)
        arguments << QStringLiteral("--multi-chip");
    SimulatorProcess sim;
    if (!sim.start(arguments)) {
        std::printf("simulator did not start\n");
        return false;
    }
    UpdateHost host;
    host.service.setMultiChip(multiChip);
    host.service.start();
    if (!host.open(sim.path()))
        return false;

    // Idle first: the service waits for a connection request.
    spin(200);
    const QString tid = findThread(QStringLiteral("UpdateService"));
    const ThreadUsage idleBefore = usageOf(tid);
    QElapsedTimer idleClock;
    idleClock.start();
    spin(3000);
    const ThreadUsage idleAfter = usageOf(tid);
    const double idleSeconds = idleClock.elapsed() / 1000.0;

    WireLog wire;
    std::atomic<bool> logging{false};
    QObject::connect(&host.service, &UpdateService::transmitBytes, &host.context,
                     [&](const QByteArray &b) { if (logging) wire.add(true, b, multiChip); }, Qt::DirectConnection);
    QObject::connect(&host.link, &BootloaderLink::recvFrame, &host.context,
                     [&](const QByteArray &b) { if (logging) wire.add(false, b, multiChip); }, Qt::DirectConnection);

    // Connect and list, then time the update from the hand-over of the package to the report.
    const qsizetype listsBefore = host.lists.size();
    host.service.connectRequest();
    QElapsedTimer wait;
    wait.start();
    while (host.lists.size() == listsBefore && wait.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const ThreadUsage runBefore = usageOf(tid);
    const qsizetype reportsBefore = host.reports.size();
    logging = true;
    const qint64 startNs = WireLog::nowNs();
    givePackage(host.service, package);
    const auto result = host.waitReport({3, -1}, 120000, reportsBefore);
    const qint64 endNs = WireLog::nowNs();
    logging = false;
    const ThreadUsage runAfter = usageOf(tid);
    if (result.first != 3) {
        std::printf("update failed: %d %s\n", result.first, qPrintable(result.second));
        return false;
    }

    // When the simulator had each request (its timed trace lines, one per request, in order).
    spin(300);
    std::vector<qint64> deviceNs;
    for (const QString &line : sim.traceLines()) {
        const qint64 at = line.section(QLatin1Char('@'), -1).toLongLong();
        if (line.startsWith(QLatin1String("B ")) && !line.startsWith(QLatin1String("B RUN"))
            && !line.startsWith(QLatin1String("B RESTART")) && at >= startNs && at <= endNs)
            deviceNs.push_back(at);
    }
    QMutexLocker lock(&wire.mutex);
    long long wireBytes = 0;
    double wireLatency = 0;  // request sent until its reply arrived, beyond the line time of both
    double sendPath = 0;     // request emitted by the service until the simulator had all of it
    double returnPath = 0;   // line time over until the reply reached the service
    double hostTurnaround = 0; // reply arrived until the next request left
    int exchanges = 0;
    size_t request = 0;
    size_t outs = 0;
    for (const WireLog::Event &e : wire.events)
        outs += e.out && e.answered ? 1 : 0;
    const bool matched = outs == deviceNs.size();
    for (size_t i = 0; i < wire.events.size(); ++i) {
        const WireLog::Event &e = wire.events[i];
        wireBytes += e.frameBytes;
        if (!e.out && i > 0 && wire.events[i - 1].out) {
            const WireLog::Event &sent = wire.events[i - 1];
            const double line = (sent.frameBytes + e.frameBytes) * ByteSeconds;
            wireLatency += (e.ns - sent.ns) / 1e9 - line;
            if (matched) {
                const qint64 had = deviceNs[request - 1];
                sendPath += (had - sent.ns) / 1e9;
                returnPath += (e.ns - had) / 1e9 - line;
            }
            ++exchanges;
        }
        if (e.out && e.answered)
            ++request;
        if (e.out && i > 0 && !wire.events[i - 1].out)
            hostTurnaround += (e.ns - wire.events[i - 1].ns) / 1e9;
    }
    const double wall = (endNs - startNs) / 1e9;
    const double ideal = wireBytes * ByteSeconds;
    const double before = wire.events.empty() ? 0 : (wire.events.front().ns - startNs) / 1e9;
    const double after = wire.events.empty() ? 0 : (endNs - wire.events.back().ns) / 1e9;
    std::printf("update 2 x 64 KiB, %s, %d-byte pages: wall %.3f s, wire %lld B = %.3f s, ratio %.4f\n",
                multiChip ? "multi-chip" : "single address", pageSize, wall, wireBytes, ideal, ideal / wall);
    std::printf("  remaining %.1f ms: %d exchanges, request-to-reply beyond line time %.1f ms (%.3f ms each),"
                " of which host send path %.1f ms and device-to-service return path %.1f ms%s;"
                " host reply-to-next-request %.1f ms (%.3f ms each), before the first request %.1f ms,"
                " after the last reply %.1f ms, not accounted %.1f ms\n",
                (wall - ideal) * 1000, exchanges, wireLatency * 1000, exchanges ? wireLatency * 1000 / exchanges : 0,
                sendPath * 1000, returnPath * 1000, matched ? "" : qPrintable(QStringLiteral(" (%1 requests, %2 trace lines: not matched)").arg(outs).arg(deviceNs.size())),
                hostTurnaround * 1000, exchanges ? hostTurnaround * 1000 / exchanges : 0, before * 1000, after * 1000,
                (wall - ideal - wireLatency - hostTurnaround - before - after) * 1000);
    std::printf("  update thread CPU: waiting for a connection request %.3f ms over %.1f s (%lld wake-ups);"
                " during the update %.1f ms over %.2f s (%.2f %%, %lld wake-ups)\n",
                idleAfter.cpuMs - idleBefore.cpuMs, idleSeconds, idleAfter.wakeups - idleBefore.wakeups,
                runAfter.cpuMs - runBefore.cpuMs, wall, (runAfter.cpuMs - runBefore.cpuMs) / 10.0 / wall,
                runAfter.wakeups - runBefore.wakeups);
    std::fflush(stdout);
    return true;
}

// The simulator and its pseudo-terminal alone, without the host's threads: how much later than
// the line allows a page's reply arrives at a plain blocking reader.
void simulatorAlone(int pageSize)
{
    SimulatorProcess sim;
    if (!sim.start({QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--page-size"),
                    QString::number(pageSize), QStringLiteral("--page-count"), QString::number(65536 / pageSize)}))
        return;
    const int fd = ::open(QFile::encodeName(sim.path()).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return;
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    std::vector<double> extraMs;
    for (int i = 0; i < 100; ++i) {
        QByteArray payload = QByteArray::fromHex("0200") + char(i % 64) + char(0) + QByteArray(pageSize, char(i));
        const QByteArray frame = BootloaderFrame::encode(payload);
        const qint64 start = WireLog::nowNs();
        if (::write(fd, frame.constData(), size_t(frame.size())) != frame.size())
            break;
        QByteArray reply;
        while (reply.size() < 10) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 2000) <= 0)
                break;
            char buffer[64];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            reply.append(buffer, n);
        }
        if (reply.size() < 10)
            break;
        extraMs.push_back((WireLog::nowNs() - start) / 1e6 - (frame.size() + 10) * ByteSeconds * 1000);
    }
    ::close(fd);
    if (extraMs.empty())
        return;
    std::sort(extraMs.begin(), extraMs.end());
    std::printf("simulator alone, %d-byte pages: reply beyond line time median %.3f ms, 90th percentile %.3f ms,"
                " max %.3f ms (%zu pages)\n",
                pageSize, extraMs[extraMs.size() / 2], extraMs[extraMs.size() * 9 / 10], extraMs.back(), extraMs.size());
    std::fflush(stdout);
}

// Many updates over a damaged line: each either succeeds with every chip's flash equal to its
// image, or fails and leaves the chips with RESTART after the last page written.
void faultyUpdates(int runs, const QString &workDir)
{
    const QString package = workDir + QStringLiteral("/faulty.ptz");
    const QList<QByteArray> images = writeTestPackage(package, {4096, 3000}, 9);
    int successes = 0, failures = 0, noBootloader = 0, badSuccesses = 0, unsafeFailures = 0, blamedOnPackage = 0;
    QElapsedTimer total;
    total.start();
    for (int run = 0; run < runs; ++run) {
        const bool multiChip = run % 2 == 1;
        const QString flash = workDir + QStringLiteral("/flash%1").arg(run);
        QStringList arguments{QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--no-pace"),
                              QStringLiteral("--page-size"), QStringLiteral("256"), QStringLiteral("--drop"), QStringLiteral("0.001"),
                              QStringLiteral("--corrupt"), QStringLiteral("0.001"), QStringLiteral("--seed"),
                              QString::number(1000 + run), QStringLiteral("--flash-dir"), flash};
        if (multiChip)
            arguments << QStringLiteral("--multi-chip");
        SimulatorProcess sim;
        if (!sim.start(arguments)) {
            std::printf("simulator did not start\n");
            return;
        }
        UpdateHost host;
        host.service.setMultiChip(multiChip);
        host.service.start();
        if (!host.open(sim.path()))
            return;
        const auto result = host.update(package, 120000);
        // The RUN or RESTART that follows the report: waited for (up to 5 s), not assumed.
        QStringList lines;
        QElapsedTimer settle;
        settle.start();
        do {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            lines.clear();
            for (const QString &line : sim.traceLines())
                if (line.startsWith(QLatin1String("B ")))
                    lines.append(line);
        } while (settle.elapsed() < 5000 && result.first != 2
                 && (lines.isEmpty() || (lines.last() != QLatin1String("B RUN") && lines.last() != QLatin1String("B RESTART"))));
        for (const UpdateOutcome &outcome : std::as_const(host.outcomes))
            blamedOnPackage += outcome.reason >= UpdateOutcome::PackageUnreadable && outcome.reason <= UpdateOutcome::ArchMismatch;
        if (result.first == 3) {
            ++successes;
            if (!flashHoldsImages(flash, images) || lines.isEmpty() || lines.last() != QLatin1String("B RUN"))
                ++badSuccesses;
        } else if (result.first == 2) {
            ++noBootloader;
        } else {
            ++failures;
            qsizetype lastWrite = -1;
            for (qsizetype i = 0; i < lines.size(); ++i)
                if (lines[i].startsWith(QLatin1String("B WRITE_PAGE")))
                    lastWrite = i;
            if (lines.contains(QStringLiteral("B RUN"))
                || (lastWrite >= 0 && lines.indexOf(QStringLiteral("B RESTART"), lastWrite) < 0))
                ++unsafeFailures;
        }
    }
    std::printf("faulty updates (drop 0.001, corrupt 0.001 per answer byte, 2 chips, 256-byte pages, both modes): "
                "%d runs in %.1f s: %d successes, %d failures, %d without bootloader; successes with wrong flash: %d;"
                " failures without RESTART after the last page or with RUN: %d; failures blamed on the package: %d\n",
                runs, total.elapsed() / 1000.0, successes, failures, noBootloader, badSuccesses, unsafeFailures,
                blamedOnPackage);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "velmora.*.debug=false");
    registerQueuedMetaTypes();
    registerUpdateMetaTypes();
    const QStringList arguments = app.arguments();
    const int faultyRuns = arguments.size() > 1 ? arguments[1].toInt() : 50;
    const bool timing = !arguments.contains(QStringLiteral("--no-timing"));
    const qsizetype cli = arguments.indexOf(QStringLiteral("--cli"));
    const int cliRuns = cli > 0 ? arguments.value(cli + 1, QStringLiteral("200")).toInt() : 0;
    const qsizetype stray = arguments.indexOf(QStringLiteral("--stray-bytes"));
    const int strayMs = stray > 0 ? arguments.value(stray + 1).toInt() : 0;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    bool ok = true;
    for (int pageSize : {1024, 128}) {
        if (!timing)
            break;
        simulatorAlone(pageSize);
        for (bool multiChip : {false, true})
            ok = timedUpdate(pageSize, multiChip, dir.path()) && ok;
    }
    if (faultyRuns > 0)
        faultyUpdates(faultyRuns, dir.path());
    if (cliRuns > 0)
        ok = cliFaultSeries(cliRuns, dir.path(), strayMs) && ok;
    return ok ? 0 : 1;
}
