// How long the window takes to follow udev's events: from an "add" event to the adapter in the
// port list, and from the "remove" event of the open adapter to the port closed. Run it under
// umockdev-wrapper (mocked sysfs and udev, no udev daemon needed):
//   umockdev-wrapper build/bin/bench_hotplug [cycles]
#include "MainWindow.h"
#include "SystemPortEnumerator.h"
#include "UdevTestbed.h"
#include "WindowProbe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Spins the event loop until `done` holds or 10 s pass; false on time-out.
template <typename Done>
bool waitFor(QObject *source, const char *signal, Done done)
{
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(source, signal, &loop, SLOT(quit()));
    deadline.start(10000);
    while (!done() && deadline.isActive())
        loop.exec();
    return done();
}

void print(const char *what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s median %7.2f ms  min %7.2f ms  max %7.2f ms  (%zu events)\n", what, ms[ms.size() / 2],
                ms.front(), ms.back(), ms.size());
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("VELMORA_VIRTUAL_PORTS");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    if (!UdevTestbed::preloaded()) {
        std::fprintf(stderr, "bench_hotplug: %s\n", qPrintable(UdevTestbed::notPreloadedReason()));
        return 2;
    }
    const int cycles = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 20;

    UdevTestbed testbed;
    auto *enumerator = new SystemPortEnumerator;
    // Out of reach: only udev's events can change the list.
    enumerator->setRefreshInterval(3600 * 1000);
    if (!enumerator->followsUdev()) {
        std::fprintf(stderr, "bench_hotplug: the listing does not follow udev's events\n");
        return 1;
    }
    MainWindow window(enumerator);
    WindowProbe probe(window);

    std::vector<double> listed;
    std::vector<double> closed;
    QElapsedTimer clock;
    for (int i = 0; i < cycles; ++i) {
        const QString usbPort = QStringLiteral("1-%1").arg(i + 1);
        const QString tty = QStringLiteral("ttyUSB%1").arg(i);
        clock.start();
        testbed.addUsbAdapter(usbPort, tty, 0x10C4, 0xEA60, QStringLiteral("Bridge Maker"),
                              QStringLiteral("USB to UART Bridge"), QString::number(i));
        if (!waitFor(enumerator, SIGNAL(portsChanged()), [&] { return probe.portItems().contains(tty); })) {
            std::fprintf(stderr, "bench_hotplug: %s never listed\n", qPrintable(tty));
            return 1;
        }
        listed.push_back(double(clock.nsecsElapsed()) / 1e6);

        probe.open(tty);
        if (probe.openButton()->text() != QStringLiteral("关闭串口")) {
            std::fprintf(stderr, "bench_hotplug: %s did not open: %s\n", qPrintable(tty), qPrintable(probe.status()));
            return 1;
        }
        clock.start();
        testbed.removeUsbAdapter(usbPort, tty);
        if (!waitFor(enumerator, SIGNAL(deviceRemoved(PortInfo)),
                     [&] { return probe.openButton()->text() == QStringLiteral("打开串口"); })) {
            std::fprintf(stderr, "bench_hotplug: %s was not closed\n", qPrintable(tty));
            return 1;
        }
        closed.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("window following udev events over umockdev, %d plug/unplug cycles\n", cycles);
    print("add event -> adapter listed", listed);
    print("remove event -> open port closed", closed);
    return 0;
}
