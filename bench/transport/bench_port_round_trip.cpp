// Round trip of a 7-byte frame through the event-driven port worker and a pseudo-terminal that echoes it back.
#include "PortListener.h"
#include "PtyPair.h"
#include "SerialPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

// The other end of the line: sends back whatever arrives, until told to stop.
void echo(PtyPair &pty, const std::atomic<bool> &stop)
{
    while (!stop) {
        if (!pty.waitReadable(50))
            continue;
        char buffer[256];
        const ssize_t n = ::read(pty.masterFd(), buffer, sizeof buffer);
        if (n > 0)
            pty.write(QByteArray(buffer, int(n)));
    }
}

double percentile(std::vector<double> sorted, double p)
{
    const size_t index = std::min(sorted.size() - 1, size_t(p * double(sorted.size() - 1) + 0.5));
    return sorted[index];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(10, atoi(argv[1])) : 1000;

    PtyPair pty;
    if (!pty.isValid()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    SerialPort port;
    port.setPortName(pty.slavePath());
    PortListener listener(&port);
    if (!port.open())
        return 1;

    std::atomic<bool> stop{false};
    std::thread echoThread(echo, std::ref(pty), std::cref(stop));

    QByteArray received;
    QEventLoop loop;
    QObject::connect(&listener, &PortListener::readBytes, &loop, [&](const QByteArray &chunk) {
        received += chunk;
        if (received.size() >= 7)
            loop.quit();
    });

    const QByteArray frame = QByteArrayLiteral("\x01\x00\x10\x00\x00\x5A\x3C");
    std::vector<double> millis;
    QElapsedTimer clock;
    const int warmUp = 20;
    for (int i = 0; i < rounds + warmUp; ++i) {
        received.clear();
        clock.start();
        QMetaObject::invokeMethod(&listener, [&listener, frame] { listener.writeBytes(frame); },
                                  Qt::QueuedConnection);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        if (received != frame) {
            std::fprintf(stderr, "round %d: got %d bytes\n", i, int(received.size()));
            break;
        }
        if (i >= warmUp)
            millis.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    stop = true;
    echoThread.join();
    if (millis.empty())
        return 1;

    std::sort(millis.begin(), millis.end());
    std::printf("7-byte round trip over a pty, %zu rounds: median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                millis.size(), percentile(millis, 0.5), percentile(millis, 0.99), millis.back());
    return 0;
}
