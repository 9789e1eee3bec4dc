// Idle cost of the port worker and the port listing: CPU share and thread wake-ups per second.
#include "PortListener.h"
#include "PtyPair.h"
#include "SerialPort.h"
#include "SystemPortEnumerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Voluntary context switches of every thread of the process: each is a thread going to sleep,
// so the count follows how often threads wake up.
long long voluntarySwitches()
{
    long long total = 0;
    const QStringList tasks = QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile status("/proc/self/task/" + task + "/status");
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(24).trimmed().toLongLong();
        }
    }
    return total;
}

struct Share
{
    double cpuPercent;
    double wakeUpsPerSecond;
};

// Runs the event loop for `seconds` and measures what the process spent meanwhile.
Share measure(int seconds)
{
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    const double cpuBefore = cpuSeconds();
    const long long switchesBefore = voluntarySwitches();
    wall.start();
    loop.exec();
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    // The main thread's own sleep in the loop and the single-shot timer count as one wake-up.
    return Share{(cpuSeconds() - cpuBefore) / elapsed * 100,
                 double(voluntarySwitches() - switchesBefore) / elapsed};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    PtyPair pty;
    if (!pty.isValid())
        return 1;
    // Listed as the window lists it: the pseudo-terminal named in VELMORA_VIRTUAL_PORTS.
    QTemporaryDir dir;
    const QString link = dir.filePath("gimbal");
    if (!QFile::link(pty.slavePath(), link))
        return 1;
    qputenv("VELMORA_VIRTUAL_PORTS", link.toLocal8Bit());

    QElapsedTimer listingClock;
    listingClock.start();
    SystemPortEnumerator enumerator;
    const double firstListingMs = double(listingClock.nsecsElapsed()) / 1e6;
    listingClock.start();
    const int calls = 1000;
    int listed = 0;
    for (int i = 0; i < calls; ++i)
        listed += int(enumerator.availablePorts().size());
    const double cachedListingNs = double(listingClock.nsecsElapsed()) / calls;

    SerialPort port;
    port.setPortName(link);
    PortListener listener(&port);

    if (!port.open())
        return 1;
    const Share open = measure(seconds);
    port.close();
    const Share closed = measure(seconds);

    std::printf("port listing: udev events %s; first listing %.2f ms; availablePorts() %.0f ns "
                "(%d ports)\n",
                enumerator.followsUdev() ? "followed" : "not available, periodic comparison",
                firstListingMs, cachedListingNs, listed / calls);
    std::printf("over %d s, whole process (port worker, its thread, port listing):\n", seconds);
    std::printf("  port open and idle: CPU %.2f %% of a core, %.1f wake-ups/s\n", open.cpuPercent,
                open.wakeUpsPerSecond);
    std::printf("  port closed:        CPU %.2f %% of a core, %.1f wake-ups/s\n", closed.cpuPercent,
                closed.wakeUpsPerSecond);
    return 0;
}
