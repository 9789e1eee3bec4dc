// Updates through velmora-cli over a damaged line: the figures that must stay at zero.
#include "CliFaultSeries.h"

#include "SimulatorProcess.h"
#include "TestPackages.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>

#include <cstdio>

namespace {

QString cliProgram()
{
    QString dir = qEnvironmentVariable("VELMORA_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    return QDir(dir).filePath(QStringLiteral("velmora-cli"));
}

// Rates per answer byte, taken in turn: light, medium and heavy damage.
constexpr double kRates[] = {0.0005, 0.001, 0.002};
constexpr int kHangMs = 120000;

} // namespace

bool cliFaultSeries(int runs, const QString &workDir, int strayMs)
{
    const QString package = workDir + QStringLiteral("/cli-faulty.ptz");
    const QList<QByteArray> images = writeTestPackage(package, {4096, 3000}, 13);
    if (images.size() != 2)
        return false;
    int falseSuccesses = 0, blamedOnPackage = 0, hangs = 0, successes = 0, unsafeFailures = 0;
    int modeRuns[2] = {0, 0}, modeSuccesses[2] = {0, 0};
    QMap<int, int> exits;
    QElapsedTimer total;
    total.start();
    for (int run = 0; run < runs; ++run) {
        const bool multiChip = run % 2 == 1;
        const double rate = kRates[(run / 2) % 3];
        const QString flash = workDir + QStringLiteral("/cli-flash%1").arg(run);
        QStringList arguments{QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--no-pace"),
                              QStringLiteral("--page-size"), QStringLiteral("256"), QStringLiteral("--drop"),
                              QString::number(rate), QStringLiteral("--corrupt"), QString::number(rate),
                              QStringLiteral("--seed"), QString::number(5000 + run), QStringLiteral("--flash-dir"), flash,
                              QStringLiteral("--stray-bytes"), QString::number(strayMs)};
        ++modeRuns[multiChip];
        if (multiChip)
            arguments << QStringLiteral("--multi-chip");
        SimulatorProcess sim;
        if (!sim.start(arguments)) {
            std::printf("simulator did not start\n");
            return false;
        }
        QProcess cli;
        cli.setProcessChannelMode(QProcess::MergedChannels);
        cli.start(cliProgram(), {QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                                 multiChip ? QStringLiteral("4") : QStringLiteral("0"), QStringLiteral("--connect-timeout"),
                                 QStringLiteral("5"), QStringLiteral("--json"), package});
        if (!cli.waitForStarted(10000)) {
            std::printf("velmora-cli did not start: %s\n", qPrintable(cli.errorString()));
            return false;
        }
        if (!cli.waitForFinished(kHangMs)) {
            ++hangs;
            cli.kill();
            cli.waitForFinished(5000);
            continue;
        }
        const int exit = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
        ++exits[exit];
        // The closing RUN or RESTART is on the line before velmora-cli closes the port.
        QStringList lines;
        QElapsedTimer settle;
        settle.start();
        do {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            lines = sim.bootloaderLines();
        } while (settle.elapsed() < 2000 && !lines.isEmpty() && lines.last() != QLatin1String("B RUN")
                 && lines.last() != QLatin1String("B RESTART"));
        if (exit == 0) {
            ++successes;
            ++modeSuccesses[multiChip];
            if (!flashHoldsImages(flash, images) || lines.isEmpty() || lines.last() != QLatin1String("B RUN"))
                ++falseSuccesses;
            continue;
        }
        if (exit == 3 || exit == 5)
            ++blamedOnPackage;
        qsizetype lastWrite = -1;
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].startsWith(QLatin1String("B WRITE_PAGE")))
                lastWrite = i;
        if (lines.contains(QStringLiteral("B RUN")) || (lastWrite >= 0 && lines.indexOf(QStringLiteral("B RESTART"), lastWrite) < 0))
            ++unsafeFailures;
    }
    QStringList exitText;
    for (auto it = exits.cbegin(); it != exits.cend(); ++it)
        exitText.append(QStringLiteral("exit %1: %2").arg(it.key()).arg(it.value()));
    const QString stray = strayMs > 0 ? QStringLiteral(", stray bytes every %1 ms").arg(strayMs) : QString();
    std::printf("velmora-cli over a damaged line (drop = corrupt = 0.0005/0.001/0.002 per answer byte%s, 2 chips, "
                "256-byte pages, both modes): %d runs in %.1f s: %d successes (single address %d of %d, multi-chip "
                "%d of %d); false successes %d, failures blamed on the package %d, hangs %d, failures without "
                "RESTART after the last page or with RUN %d; %s\n",
                qPrintable(stray), runs, total.elapsed() / 1000.0, successes, modeSuccesses[0], modeRuns[0],
                modeSuccesses[1], modeRuns[1], falseSuccesses, blamedOnPackage, hangs, unsafeFailures,
                qPrintable(exitText.join(QStringLiteral(", "))));
    std::fflush(stdout);
    return true;
}
