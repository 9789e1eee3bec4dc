// Locates velmora-cli next to the simulator and runs it as a child process for a benchmark:
// output discarded, wall time from a caller's clock, exit status, CPU time and peak memory from wait4.
#pragma once

#include "SimulatorProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace BenchProcess {

struct RunFigures
{
    int exitCode = -1; // -1 when it could not be started or waited for, or did not exit on its own
    double wallMs = 0;
    double cpuMs = 0;  // user + system of the velmora-cli process
    long peakKiB = 0;  // ru_maxrss of the velmora-cli process
};

// What of the child's output goes to /dev/null.
enum class Discard { Stdout, StdoutAndStderr };

inline QString cliProgram()
{
    return QFileInfo(SimulatorProcess::program()).dir().filePath(QStringLiteral("velmora-cli"));
}

// Starts velmora-cli with `arguments`; returns its pid or -1.
inline pid_t spawnCli(const QStringList &arguments, Discard discard = Discard::Stdout)
{
    std::vector<QByteArray> storage{cliProgram().toLocal8Bit()};
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &bytes : storage)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (discard == Discard::StdoutAndStderr)
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for `pid` to end; the wall time is read from `clock` as soon as it has ended.
inline RunFigures waitCli(pid_t pid, const QElapsedTimer &clock)
{
    RunFigures figures;
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        figures.wallMs = double(clock.nsecsElapsed()) / 1e6;
        figures.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        figures.cpuMs = usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3
                        + usage.ru_stime.tv_usec / 1e3;
        figures.peakKiB = usage.ru_maxrss;
    }
    return figures;
}

// Runs velmora-cli to its end, timed from just before it is started.
inline RunFigures runCli(const QStringList &arguments, Discard discard = Discard::Stdout)
{
    QElapsedTimer clock;
    clock.start();
    return waitCli(spawnCli(arguments, discard), clock);
}

} // namespace BenchProcess
