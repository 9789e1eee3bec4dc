// Runs the velmora-gimbal-sim program for a test: its pseudo-terminal path and its trace lines.
#pragma once

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QUuid>
#include <QtTest>
#include <algorithm>

class SimulatorProcess
{
public:
    SimulatorProcess() = default;
    ~SimulatorProcess() { stop(); }
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    static QString program()
    {
        // Built next to the tests and benchmarks unless told otherwise.
        QString dir = qEnvironmentVariable("VELMORA_BIN_DIR");
        if (dir.isEmpty())
            dir = QCoreApplication::applicationDirPath();
        return QDir(dir).filePath(QStringLiteral("velmora-gimbal-sim"));
    }

    // Starts the simulator with `arguments` (plus --trace and a link of its own) and waits
    // until it reports its port; returns false if it did not.
    bool start(const QStringList &arguments, int timeoutMs = 10000)
    {
        stop();
        portPath.clear();
        pending.clear();
        trace.clear();
        link = QDir::temp().filePath(QStringLiteral("velmora-test-%1").arg(QUuid::createUuid().toString(QUuid::Id128)));
        process.setProgram(program());
        process.setArguments(QStringList(arguments) << QStringLiteral("--trace") << QStringLiteral("--link") << link);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start();
        if (!process.waitForStarted(timeoutMs))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            readLines();
            if (!portPath.isEmpty())
                return true;
            if (process.state() != QProcess::Running)
                return false;
            process.waitForReadyRead(100);
        }
        return false;
    }

    // Ends the simulator (it removes its link when it exits).
    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    QString path() const { return portPath; }

    // Trace lines of the requests the device answered ("W 0009 0002", "C C005 A151"), in order.
    QStringList traceLines()
    {
        readLines();
        return trace;
    }

    // The bootloader's trace lines ("B GET_INFO 1", "B WRITE_PAGE 2 5", "B RUN"), in order.
    QStringList bootloaderLines()
    {
        QStringList lines;
        for (const QString &line : traceLines())
            if (line.startsWith(QLatin1String("B ")))
                lines.append(line);
        return lines;
    }

    // Write and command lines only (reads are not traced anyway).
    QStringList writes()
    {
        QStringList result;
        for (const QString &line : traceLines())
            if (line.startsWith(QLatin1String("W ")) || line.startsWith(QLatin1String("C ")))
                result.append(line);
        return result;
    }

    // The writes as the host requested them. A request sent again because its answer came late
    // (a busy machine) is applied and traced once per sending, so consecutive repeats count once.
    QStringList requestedWrites()
    {
        QStringList result = writes();
        result.erase(std::unique(result.begin(), result.end()), result.end());
        return result;
    }

    QProcess &qprocess() { return process; }

private:
    void readLines()
    {
        pending += process.readAllStandardOutput();
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end)).trimmed();
            pending.remove(0, end + 1);
            if (line.startsWith(QLatin1String("VELMORA_VIRTUAL_PORTS=")))
                portPath = line.section(QLatin1Char('='), 1);
            else if (!line.isEmpty())
                trace.append(line);
        }
    }

    QProcess process;
    QString link;
    QString portPath;
    QByteArray pending;
    QStringList trace;
};

// The same, for tests written against the free function.
inline QStringList bootloaderLines(SimulatorProcess &sim)
{
    return sim.bootloaderLines();
}

