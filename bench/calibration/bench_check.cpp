// Times the check against the simulator program on a pseudo-terminal, through velmora-cli as a
// user runs it: from stillness (the check starts sampling) to the verdict, for `check` alone and
// for the check after `calibrate`'s save, and a calibration's whole time with its check.
#include "BenchProcess.h"
#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Timed
{
    int exitCode = -1;
    double totalMs = 0;
    double stillToVerdictMs = -1; // from the "Checking" line to the verdict line
};

// Runs velmora-cli with `arguments` and stamps the lines as they arrive.
Timed run(const QStringList &arguments, const QString &journal)
{
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journal);
    environment.insert(QStringLiteral("VELMORA_LIMITS_FILE"), journal + QStringLiteral(".no-limits"));
    cli.setProcessEnvironment(environment);
    cli.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    Timed timed;
    double stillAt = -1;
    QByteArray pending;
    QObject::connect(&cli, &QProcess::readyReadStandardOutput, [&] {
        pending += cli.readAllStandardOutput();
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            if (line.startsWith(QLatin1String("Checking")))
                stillAt = double(clock.nsecsElapsed()) / 1e6;
            else if (stillAt >= 0 && timed.stillToVerdictMs < 0 && line.startsWith(QLatin1String("Calibration ")))
                timed.stillToVerdictMs = double(clock.nsecsElapsed()) / 1e6 - stillAt;
        }
    });
    clock.start();
    cli.start(BenchProcess::cliProgram(), arguments);
    if (!cli.waitForFinished(180000))
        return timed;
    timed.totalMs = double(clock.nsecsElapsed()) / 1e6;
    timed.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    return timed;
}

void summary(const char *what, std::vector<double> &values)
{
    if (values.empty())
        return;
    std::sort(values.begin(), values.end());
    std::printf("  %-44s median %7.0f ms   worst %7.0f ms   (%zu runs)\n", what, values[values.size() / 2], values.back(),
                values.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int checks = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int calibrations = argc > 2 ? std::max(0, atoi(argv[2])) : 2;
    const QString journal = QStringLiteral("/tmp/bench_check_%1.sqlite").arg(QCoreApplication::applicationPid());

    std::vector<double> checkVerdict, checkTotal, calibrationVerdict, calibrationTotal;
    int failures = 0;
    {
        SimulatorProcess sim;
        // Calibrated already, so that the check passes.
        if (!sim.start({QStringLiteral("--calibrated")})) {
            std::fprintf(stderr, "simulator did not start\n");
            return 1;
        }
        for (int i = 0; i < checks; ++i) {
            const Timed t = run({QStringLiteral("check"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                                 QStringLiteral("4")},
                                journal);
            if (t.exitCode != 0 || t.stillToVerdictMs < 0) {
                ++failures;
                continue;
            }
            checkVerdict.push_back(t.stillToVerdictMs);
            checkTotal.push_back(t.totalMs);
        }
    }
    for (int i = 0; i < calibrations; ++i) {
        // The simulated user at the device's own pace: the time a line sees.
        SimulatorProcess sim;
        if (!sim.start({QStringLiteral("--user")})) {
            ++failures;
            continue;
        }
        const Timed t = run({QStringLiteral("calibrate"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                             QStringLiteral("4")},
                            journal);
        if (t.exitCode != 0 || t.stillToVerdictMs < 0) {
            ++failures;
            continue;
        }
        calibrationVerdict.push_back(t.stillToVerdictMs);
        calibrationTotal.push_back(t.totalMs);
    }
    QFile::remove(journal);

    std::printf("check against the simulator (product 4, velmora-cli as a user runs it)\n");
    summary("check: stillness to verdict (goal <= 3000)", checkVerdict);
    summary("check: whole command (open, link, check)", checkTotal);
    summary("calibrate: its check, stillness to verdict", calibrationVerdict);
    summary("calibrate: whole run with its check", calibrationTotal);
    if (!calibrationTotal.empty() && !calibrationVerdict.empty())
        std::printf("  the check's share of a calibration: about %.0f ms of %.0f ms\n",
                    calibrationVerdict[calibrationVerdict.size() / 2], calibrationTotal[calibrationTotal.size() / 2]);
    if (failures)
        std::printf("  %d runs did not pass\n", failures);
    return failures ? 1 : 0;
}
