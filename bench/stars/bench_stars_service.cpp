// Figures of the runtime protocol: exchange rate, time to connect and CPU of the service loop.
#include "GimbalDevice.h"
#include "MetaTypes.h"
#include "PortListener.h"
#include "SerialPort.h"
#include "SimulatorProcess.h"
#include "StarsLink.h"
#include "StarsService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <sys/resource.h>

namespace {

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Service and link, with the service's sendings counted and its loop thread's CPU clock kept.
struct Stack
{
    Stack()
    {
        QObject::connect(&service, &StarsService::transmitPacket, &link, &StarsLink::transmit);
        QObject::connect(&link, &StarsLink::recvFrame, &service, &StarsService::onRecvFrame);
        QObject::connect(&service, &StarsService::transmitPacket, &service, [this] { ++sent; }, Qt::DirectConnection);
        QObject::connect(&service, &StarsService::started, &service, [this] {
            clockid_t id;
            pthread_getcpuclockid(pthread_self(), &id);
            loopClock.store(id);
        }, Qt::DirectConnection);
        QObject::connect(&service, &StarsService::connected, &service, [this](bool value) { linked = value; });
        service.setRegisterProfile(2);
    }
    ~Stack()
    {
        service.stop();
        service.wait();
    }

    StarsLink link;
    StarsService service;
    std::atomic<qint64> sent{0};
    std::atomic<clockid_t> loopClock{0};
    bool linked = false;
};

// Exchanges per second against an in-process gimbal; also the loop's CPU if asked.
void measureInProcess(bool pace, int seconds, bool reportCpu)
{
    GimbalSettings gimbal;
    gimbal.profile = 2;
    LineSettings line;
    line.pace = pace;
    GimbalDevice device(gimbal, line);
    Stack stack;
    QObject::connect(&stack.link, &StarsLink::streamOut, &device, &GimbalDevice::receiveBytes);
    QObject::connect(&device, &GimbalDevice::sendBytes, &stack.link, &StarsLink::parser);
    stack.service.start();
    if (!spinUntil([&] { return stack.linked; }, 10000)) {
        std::printf("in-process (%s): never connected\n", pace ? "paced" : "instant");
        return;
    }
    const qint64 sent0 = stack.sent;
    const double cpu0 = processCpuSeconds();
    const double loop0 = threadCpuSeconds(stack.loopClock);
    QElapsedTimer clock;
    clock.start();
    spin(seconds * 1000);
    const double wall = double(clock.nsecsElapsed()) / 1e9;
    std::printf("exchanges/s, in-process %-18s %7.1f  (ceiling 100)\n", pace ? "paced 115200:" : "instant:", double(stack.sent - sent0) / wall);
    if (reportCpu) {
        std::printf("CPU while polling (%d s): service loop thread %.1f%% of a core, whole process %.1f%%\n", seconds,
                    100 * (threadCpuSeconds(stack.loopClock) - loop0) / wall, 100 * (processCpuSeconds() - cpu0) / wall);
    }
}

// The same over a pseudo-terminal to the simulator program, with the port worker in between.
void measureOverPty(int seconds, int connectRounds)
{
    SimulatorProcess sim;
    if (!sim.start({QStringLiteral("--profile"), QStringLiteral("2")})) {
        std::printf("simulator did not start (%s)\n", qPrintable(SimulatorProcess::program()));
        return;
    }
    QList<double> connectMs;
    for (int round = 0; round < connectRounds; ++round) {
        SerialPort port;
        PortListener listener(&port);
        Stack stack;
        QObject::connect(&stack.link, &StarsLink::rxFlush, &listener, &PortListener::flush);
        QObject::connect(&stack.link, &StarsLink::streamOut, &listener, &PortListener::writeBytes);
        QObject::connect(&listener, &PortListener::readBytes, &stack.link, &StarsLink::parser);
        stack.service.start();
        spin(50 + 37 * round); // the loop is somewhere in a wait when the port opens, as in the window
        port.setPortName(sim.path());
        QElapsedTimer clock;
        clock.start();
        if (!port.open()) {
            std::printf("could not open %s\n", qPrintable(sim.path()));
            return;
        }
        if (!spinUntil([&] { return stack.linked; }, 10000)) {
            std::printf("over pty: never connected\n");
            return;
        }
        connectMs.append(double(clock.nsecsElapsed()) / 1e6);
        if (round == connectRounds - 1) {
            const qint64 sent0 = stack.sent;
            QElapsedTimer rate;
            rate.start();
            spin(seconds * 1000);
            std::printf("exchanges/s, pty to simulator (paced): %7.1f  (ceiling 100)\n",
                        double(stack.sent - sent0) / (double(rate.nsecsElapsed()) / 1e9));
        }
    }
    std::sort(connectMs.begin(), connectMs.end());
    std::printf("open port -> connected(true), %lld rounds: min %.1f ms, median %.1f ms, max %.1f ms\n",
                qint64(connectMs.size()), connectMs.first(), connectMs.at(connectMs.size() / 2), connectMs.last());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    registerQueuedMetaTypes();
    if (qEnvironmentVariableIsEmpty("VELMORA_BIN_DIR"))
        qputenv("VELMORA_BIN_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());
    qSetMessagePattern(QStringLiteral("%{if-debug}%{endif}")); // keep the figures readable
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    measureInProcess(false, 5, false);
    measureInProcess(true, 5, false);
    measureOverPty(5, 9);
    measureInProcess(false, 10, true);
    return 0;
}
