// Runs the velmora-cli program for a test: its output as it comes, signals, exit status.
#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QtTest>

#include <csignal>

class CliProcess
{
public:
    ~CliProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    static QString program()
    {
        QString dir = qEnvironmentVariable("VELMORA_BIN_DIR");
        if (dir.isEmpty())
            dir = QCoreApplication::applicationDirPath();
        return QDir(dir).filePath(QStringLiteral("velmora-cli"));
    }

    // Starts velmora-cli with `arguments`; `virtualPorts` becomes VELMORA_VIRTUAL_PORTS.
    bool start(const QStringList &arguments, const QString &virtualPorts = QString())
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("VELMORA_VIRTUAL_PORTS"));
        if (!virtualPorts.isEmpty())
            environment.insert(QStringLiteral("VELMORA_VIRTUAL_PORTS"), virtualPorts);
        environment.remove(QStringLiteral("QT_LOGGING_RULES"));
        for (auto it = extraEnvironment.cbegin(); it != extraEnvironment.cend(); ++it)
            environment.insert(it.key(), it.value());
        process.setProcessEnvironment(environment);
        process.setProgram(program());
        process.setArguments(arguments);
        process.start();
        return process.waitForStarted(10000);
    }

    // Runs to the end; returns the exit status, or -1 when it did not end within the time.
    int run(const QStringList &arguments, int timeoutMs = 30000, const QString &virtualPorts = QString())
    {
        if (!start(arguments, virtualPorts))
            return -1;
        return finish(timeoutMs);
    }

    int finish(int timeoutMs)
    {
        if (!process.waitForFinished(timeoutMs))
            return -1;
        collect();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // Waits until standard output holds `text`; false if the program ended or the time ran out first.
    bool waitForOutput(const QString &text, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            collect();
            if (out.contains(text))
                return true;
            if (process.state() == QProcess::NotRunning || deadline.hasExpired())
                return false;
            process.waitForReadyRead(int(qMax<qint64>(1, qMin<qint64>(deadline.remainingTime(), 200))));
        }
    }

    void signal(int number) { ::kill(pid_t(process.processId()), number); }

    QString output()
    {
        collect();
        return out;
    }
    QString errors()
    {
        collect();
        return err;
    }
    // Variables added to the program's environment (QT_LOGGING_RULES is removed otherwise).
    QHash<QString, QString> extraEnvironment;

    QStringList outputLines() { return output().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QProcess &qprocess() { return process; }

private:
    void collect()
    {
        out += QString::fromUtf8(process.readAllStandardOutput());
        err += QString::fromUtf8(process.readAllStandardError());
    }

    QProcess process;
    QString out;
    QString err;
};

// The records of the journal file `path`, as `velmora-cli journal --json` prints them, newest
// first; `extra` adds options (filters).
inline QList<QJsonObject> journalRecords(const QString &path, const QStringList &extra = {})
{
    CliProcess cli;
    cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), path);
    QList<QJsonObject> records;
    if (cli.run(QStringList{QStringLiteral("journal"), QStringLiteral("--json")} + extra) != 0) {
        qWarning().noquote() << "journal:" << cli.errors();
        return records;
    }
    for (const QString &line : cli.outputLines())
        records.append(QJsonDocument::fromJson(line.toUtf8()).object());
    return records;
}
