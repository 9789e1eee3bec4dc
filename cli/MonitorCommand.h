// velmora-cli monitor: the live read-out of one gimbal, one line per sample.
#pragma once

#include "Command.h"
#include "CliOptions.h"

#include <QElapsedTimer>
#include <QTimer>

class RuntimeSession;

class MonitorCommand : public Command
{
    Q_OBJECT

public:
    explicit MonitorCommand(const CliOptions &options, QObject *parent = nullptr);
    ~MonitorCommand() override;

    void start() override;
    void interrupt() override;

private:
    void onLinkChanged(bool up);
    void printSample();
    void end(int exitCode);

    CliOptions options;
    RuntimeSession *session = nullptr;
    // Samples are taken only while the gimbal answers: a silent line costs nothing.
    QTimer sampleTimer;
    QElapsedTimer clock;
    bool ended = false;
    bool everUp = false; // the gimbal answered at least once
};
