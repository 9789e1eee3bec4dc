// A shown main window listing the simulator's port: the rig of the end-to-end tests and benchmarks.
#pragma once

#include "SimulatorProcess.h"
#include "WindowProbe.h"

#include <QElapsedTimer>
#include <csignal>
#include <memory>

struct SimulatedSession
{
    SimulatorProcess sim;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;

    ~SimulatedSession() { end(); }

    // Starts the simulator with `simArguments`, then a window at its start size that lists the
    // simulator's port, under product `row`; opens the port when `openPort`. Returns whether
    // the port is open (or, without opening, whether the window is up).
    bool start(const QStringList &simArguments, int row = 4, bool openPort = true)
    {
        if (!sim.start(simArguments))
            return false;
        qputenv("VELMORA_VIRTUAL_PORTS", sim.path().toLocal8Bit());
        window = std::make_unique<MainWindow>();
        window->show();
        window->resize(410, 466);
        if (!QTest::qWaitForWindowExposed(window.get()))
            return false;
        probe = std::make_unique<WindowProbe>(*window);
        probe->products()->setCurrentIndex(row);
        if (!openPort)
            return true;
        probe->open(sim.path());
        return probe->openButton()->text() == QStringLiteral("关闭串口");
    }

    // Closes the window as its close button would; returns how long closing and destroying took.
    qint64 closeWindow()
    {
        QElapsedTimer clock;
        clock.start();
        window->close();
        probe.reset();
        window.reset();
        return clock.elapsed();
    }

    void signalSimulator(int sig) { ::kill(pid_t(sim.qprocess().processId()), sig); }

    void end()
    {
        probe.reset();
        window.reset();
        sim.stop();
        qunsetenv("VELMORA_VIRTUAL_PORTS");
    }
};
