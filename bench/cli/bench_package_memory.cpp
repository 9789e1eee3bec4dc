// Peak memory of velmora-cli flash: a 64 KiB package into a simulated gimbal, and each path it refuses.
#include "BenchProcess.h"
#include "SimulatorProcess.h"
#include "UpdateHost.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/stat.h>

namespace {

using BenchProcess::RunFigures;

// Runs velmora-cli with its output discarded and takes its figures from wait4.
RunFigures runCli(const QStringList &arguments)
{
    return BenchProcess::runCli(arguments, BenchProcess::Discard::StdoutAndStderr);
}

void print(const char *what, const RunFigures &figures)
{
    std::printf("  %-44s exit %3d, wall %7.0f ms, peak RSS %6.1f MiB%s\n", what, figures.exitCode, figures.wallMs,
                figures.peakKiB / 1024.0, figures.peakKiB < 16 * 1024 ? "" : "  (over the 16 MiB goal)");
}

bool sparseFile(const QString &path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(size);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString package = dir.filePath(QStringLiteral("64k.ptz"));
    const QString pipe = dir.filePath(QStringLiteral("pipe.ptz"));
    const QString huge = dir.filePath(QStringLiteral("huge.ptz"));
    const QString limit = dir.filePath(QStringLiteral("limit.ptz"));
    if (writeTestPackage(package, {32752, 32752}, 7).size() != 2
        || ::mkfifo(QFile::encodeName(pipe).constData(), 0600) != 0 || !sparseFile(huge, 5LL << 30)
        || !sparseFile(limit, 64LL << 20)) {
        std::fprintf(stderr, "cannot prepare the files\n");
        return 1;
    }
    SimulatorProcess sim;
    if (!sim.start({QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip"),
                    QStringLiteral("--flash-dir"), dir.filePath(QStringLiteral("flash"))})) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return 1;
    }
    const auto flash = [&sim](const QString &path) {
        return runCli({QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                       QStringLiteral("4"), path});
    };

    std::printf("velmora-cli peak memory (goal: under 16 MiB), against velmora-gimbal-sim --role bootloader --multi-chip\n");
    print("--help (the process alone)", runCli({QStringLiteral("--help")}));
    print(qPrintable(QStringLiteral("flash, 64 KiB package (%1 bytes)").arg(QFileInfo(package).size())), flash(package));
    print("flash, pipe", flash(pipe));
    print("flash, /dev/zero", flash(QStringLiteral("/dev/zero")));
    print("flash, 5 GiB sparse file", flash(huge));
    print("flash, directory", flash(dir.path()));
    print("flash, missing file", flash(dir.filePath(QStringLiteral("absent.ptz"))));
    // The worst a refused file can cost: one of exactly the limit is read, then found invalid.
    print("flash, file of exactly the 64 MiB limit", flash(limit));
    return 0;
}
