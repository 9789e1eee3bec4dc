// CPU cost of the port worker's 1 ms tick: process CPU time per wall second, port open and closed.
#include "PortListener.h"
#include "PtyPair.h"
#include "SerialPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
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

// Runs the event loop for `seconds` and returns CPU seconds used per wall second.
double cpuShare(int seconds)
{
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    const double before = cpuSeconds();
    wall.start();
    loop.exec();
    return (cpuSeconds() - before) / (double(wall.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    PtyPair pty;
    if (!pty.isValid())
        return 1;
    SerialPort port;
    port.setPortName(pty.slavePath());
    PortListener listener(&port);

    if (!port.open())
        return 1;
    const double open = cpuShare(seconds);
    port.close();
    const double closed = cpuShare(seconds);

    std::printf("CPU (user+sys) per wall second over %d s: port open and idle %.2f %%, "
                "port closed %.2f %%\n",
                seconds, open * 100, closed * 100);
    return 0;
}
