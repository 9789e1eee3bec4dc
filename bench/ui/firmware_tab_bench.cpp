// Figures of the firmware tab: demo update through the window vs the engine alone, GUI-thread CPU
// during the update, and how long closing the window takes in each state of the tab.
#include "GivePackage.h"
#include "FirmwareProbe.h"
#include "SimulatedSession.h"
#include "UpdateHost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

const QStringList kBootloader = {QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip")};

// CPU time of this process's main (GUI) thread, in milliseconds.
double guiThreadCpuMs()
{
    QFile schedstat(QStringLiteral("/proc/self/task/%1/schedstat").arg(::getpid()));
    if (!schedstat.open(QIODevice::ReadOnly))
        return 0;
    return schedstat.readAll().split(' ').value(0).toDouble() / 1e6;
}

// Runs the event loop until `done` holds, checked whenever `sender` emits `signal`: the GUI
// thread sleeps meanwhile, so its CPU time is the window's own.
template <typename Sender, typename Signal>
bool waitUntil(const std::function<bool()> &done, Sender *sender, Signal signal, int timeoutMs)
{
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QObject::connect(sender, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    if (!done())
        loop.exec();
    return done();
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Package hand-over to the success report, engine alone (service, link, port worker, no window).
double engineUpdateMs()
{
    SimulatorProcess sim;
    if (!sim.start(kBootloader))
        return -1;
    UpdateHost host;
    host.service.setMultiChip(true);
    host.service.start();
    if (!host.open(sim.path()))
        return -1;
    host.service.connectRequest();
    if (!waitUntil([&] { return !host.lists.isEmpty(); }, &host.service, &UpdateService::deviceListUpdate, 30000))
        return -1;
    const qsizetype from = host.reports.size();
    auto finished = [&] {
        for (qsizetype i = from; i < host.reports.size(); ++i)
            if (host.reports[i].first == 3 || host.reports[i].first == -1)
                return true;
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    givePackage(host.service, QStringLiteral(VELMORA_DEMO_PACKAGE));
    if (!waitUntil(finished, &host.service, &UpdateService::updateReport, 120000))
        return -1;
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return host.reports.last().first == 3 ? ms : -1;
}

// A window on the firmware tab, connected to the simulator's bootloader with `extra` options.
bool connectWindow(SimulatedSession &session, std::unique_ptr<FirmwareProbe> &fw, const QStringList &extra = {})
{
    if (!session.start(QStringList(kBootloader) << extra))
        return false;
    fw = std::make_unique<FirmwareProbe>(*session.probe);
    fw->showFirmwareTab();
    QTest::mouseClick(fw->connectButton(), Qt::LeftButton);
    if (!waitUntil([&] { return fw->devices()->rowCount() == 2; }, fw->devices(), &QAbstractItemModel::rowsInserted, 30000))
        return false;
    return fw->drop({QStringLiteral(VELMORA_DEMO_PACKAGE)});
}

// Update button to the success message through the window; also the GUI thread's CPU meanwhile.
double windowUpdateMs(double *guiCpuMs)
{
    SimulatedSession session;
    std::unique_ptr<FirmwareProbe> fw;
    if (!connectWindow(session, fw))
        return -1;
    const double cpuBefore = guiThreadCpuMs();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(fw->downloadButton(), Qt::LeftButton);
    auto finished = [&] { return session.probe->status().startsWith(QStringLiteral("更新完成")); };
    if (!waitUntil(finished, session.window->statusBar(), &QStatusBar::messageChanged, 120000))
        return -1;
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    *guiCpuMs = guiThreadCpuMs() - cpuBefore;
    fw.reset();
    return ms;
}

enum class CloseState { CountingDown, WaitingForPackage, WritingPages };

// Close and destroy the window in `state` of the firmware tab.
double closeMs(CloseState state)
{
    SimulatedSession session;
    std::unique_ptr<FirmwareProbe> fw;
    if (state == CloseState::CountingDown) {
        // A silent gimbal: the count-down runs its 30 s.
        if (!session.start({QStringLiteral("--silent")}))
            return -1;
        fw = std::make_unique<FirmwareProbe>(*session.probe);
        fw->showFirmwareTab();
        QTest::mouseClick(fw->connectButton(), Qt::LeftButton);
        // The button's text has no change signal: looked at every 10 ms (nothing is timed here).
        auto counting = [&] { return fw->connectButton()->text().startsWith(QStringLiteral("连接中")); };
        QTimer look;
        look.start(10);
        if (!waitUntil(counting, &look, &QTimer::timeout, 30000))
            return -1;
    } else {
        if (!connectWindow(session, fw, {QStringLiteral("--page-write-ms"), QStringLiteral("20")}))
            return -1;
        if (state == CloseState::WritingPages) {
            QTest::mouseClick(fw->downloadButton(), Qt::LeftButton);
            auto writing = [&] { return fw->progress()->value() > 300; };
            if (!waitUntil(writing, fw->progress(), &QProgressBar::valueChanged, 120000))
                return -1;
        }
    }
    fw.reset();
    QElapsedTimer clock;
    clock.start();
    session.closeWindow();
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    registerUpdateMetaTypes();
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;

    QList<double> engine, window, gui, closing, closeCounting, closeWaiting;
    for (int i = 0; i < runs; ++i) {
        engine.append(engineUpdateMs());
        double cpu = 0;
        window.append(windowUpdateMs(&cpu));
        gui.append(cpu);
        closing.append(closeMs(CloseState::WritingPages));
        closeCounting.append(closeMs(CloseState::CountingDown));
        closeWaiting.append(closeMs(CloseState::WaitingForPackage));
        std::printf("run %d: engine %.1f ms, window %.1f ms (GUI thread CPU %.1f ms), close while writing %.1f ms, "
                    "counting down %.1f ms, waiting for a package %.1f ms\n",
                    i + 1, engine.last(), window.last(), gui.last(), closing.last(), closeCounting.last(),
                    closeWaiting.last());
        std::fflush(stdout);
    }
    const double e = median(engine), w = median(window);
    std::printf("demo package update (median of %d): engine alone %.1f ms, through the window %.1f ms, "
                "window adds %+.2f %%\n",
                runs, e, w, 100.0 * (w - e) / e);
    std::printf("GUI thread CPU during the update: median %.1f ms = %.2f %% of the update's wall time\n",
                median(gui), 100.0 * median(gui) / w);
    auto maxOf = [](const QList<double> &v) { return *std::max_element(v.begin(), v.end()); };
    std::printf("closing the window (close + destroy), median / max: writing pages %.1f / %.1f ms, "
                "counting down %.1f / %.1f ms, waiting for a package %.1f / %.1f ms\n",
                median(closing), maxOf(closing), median(closeCounting), maxOf(closeCounting), median(closeWaiting),
                maxOf(closeWaiting));
    return 0;
}
