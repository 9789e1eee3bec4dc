// Figures of velmora-cli: parallel flashing against one gimbal's time, and the monitor's CPU per gimbal.
#include "BenchProcess.h"
#include "SimulatorProcess.h"
#include "UpdateHost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <signal.h>
#include <vector>

namespace {

using BenchProcess::RunFigures;
using BenchProcess::spawnCli;
using BenchProcess::waitCli;

// Flashes `package` into `count` fresh bootloader simulators at once.
RunFigures flash(int count, const QString &package, const QString &workDir)
{
    std::vector<std::unique_ptr<SimulatorProcess>> sims;
    QStringList arguments{QStringLiteral("flash"), QStringLiteral("--product"), QStringLiteral("4")};
    for (int i = 0; i < count; ++i) {
        auto sim = std::make_unique<SimulatorProcess>();
        const QString flashDir = QStringLiteral("%1/flash-%2-%3").arg(workDir).arg(count).arg(i);
        if (!sim->start({QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip"),
                         QStringLiteral("--pace"), QStringLiteral("--flash-dir"), flashDir}))
            return {};
        arguments << QStringLiteral("--port") << sim->path();
        sims.push_back(std::move(sim));
    }
    arguments << package;
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = spawnCli(arguments);
    return pid > 0 ? waitCli(pid, clock) : RunFigures{};
}

// One monitor per runtime simulator for `seconds`, then Ctrl-C; the CPU of each monitor.
std::vector<RunFigures> monitor(int count, int seconds, const QString &rate)
{
    std::vector<std::unique_ptr<SimulatorProcess>> sims;
    std::vector<pid_t> pids;
    std::vector<QElapsedTimer> clocks;
    for (int i = 0; i < count; ++i) {
        auto sim = std::make_unique<SimulatorProcess>();
        if (!sim->start({}))
            return {};
        pids.push_back(spawnCli({QStringLiteral("monitor"), QStringLiteral("--port"), sim->path(), QStringLiteral("--product"),
                                 QStringLiteral("6"), QStringLiteral("--rate"), rate}));
        clocks.emplace_back();
        clocks.back().start();
        sims.push_back(std::move(sim));
    }
    // Nothing to do meanwhile; the figures are the monitors' own.
    QThread::sleep(static_cast<unsigned long>(seconds));
    std::vector<RunFigures> figures;
    for (size_t i = 0; i < pids.size(); ++i) {
        ::kill(pids[i], SIGINT);
        figures.push_back(waitCli(pids[i], clocks[i]));
    }
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int gimbals = argc > 1 ? qMax(1, atoi(argv[1])) : 4;
    const int monitorSeconds = argc > 2 ? qMax(1, atoi(argv[2])) : 10;

    QTemporaryDir dir;
    const QString package = dir.filePath(QStringLiteral("two-by-64k.ptz"));
    if (writeTestPackage(package, {65536, 65536}, 42).size() != 2) {
        std::fprintf(stderr, "cannot write the package\n");
        return 1;
    }

    std::printf("velmora-cli flash, 2 chips x 64 KiB each, multi-chip, paced at 115200 baud\n");
    const RunFigures one = flash(1, package, dir.path());
    std::printf("  1 gimbal : exit %d, wall %8.0f ms, CPU %6.0f ms (%4.1f %% of one core)\n", one.exitCode, one.wallMs,
                one.cpuMs, 100.0 * one.cpuMs / qMax(1.0, one.wallMs));
    const RunFigures many = flash(gimbals, package, dir.path());
    std::printf("  %d gimbals: exit %d, wall %8.0f ms, CPU %6.0f ms (%4.1f %% of one core)\n", gimbals, many.exitCode,
                many.wallMs, many.cpuMs, 100.0 * many.cpuMs / qMax(1.0, many.wallMs));
    std::printf("  wall time ratio %d gimbals / 1 gimbal: %.3f (goal <= 1.1)\n", gimbals, many.wallMs / qMax(1.0, one.wallMs));

    for (const QString &rate : {QStringLiteral("10"), QStringLiteral("50")}) {
        const std::vector<RunFigures> monitors = monitor(gimbals, monitorSeconds, rate);
        if (monitors.empty())
            continue;
        // CPU time over each monitor's own lifetime, start-up included, averaged over the gimbals.
        double share = 0;
        for (const RunFigures &figures : monitors)
            share += figures.cpuMs / qMax(1.0, figures.wallMs);
        share /= double(monitors.size());
        std::printf("velmora-cli monitor --rate %s, %d gimbals for %d s: CPU per gimbal %.1f ms/s (%.2f %% of one core)\n",
                    qPrintable(rate), int(monitors.size()), monitorSeconds, share * 1000.0, share * 100.0);
    }
    return 0;
}
