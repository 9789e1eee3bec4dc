// velmora-cli calibrate: the calibration tab's procedure in the terminal.
#pragma once

#include "Command.h"
#include "CalibrationOutcome.h"
#include "CliOptions.h"
#include "Attempts.h"

#include <QTimer>
#include <optional>

class CalibrateService;
class RuntimeSession;

class CalibrateCommand : public Command
{
    Q_OBJECT

public:
    // How long the gimbal has to answer and report itself ready after the port opened.
    static constexpr int ReadyTimeoutMs = 15000;

    explicit CalibrateCommand(const CliOptions &options, QObject *parent = nullptr);
    ~CalibrateCommand() override;

    void start() override;
    void interrupt() override;

private:
    void onLinkChanged(bool up);
    void checkReady();
    void onDirectionChanged(int face);
    void onFinished(bool success);
    // Stops the services, the runtime one first, so nothing more reaches the gimbal; then
    // prints `result`, if any.
    void end(int exitCode, const QString &result = QString());
    // The attempt's journal record: the run's own outcome, else how the command ended it.
    void recordAttempt(int exitCode);

    CliOptions options;
    RuntimeSession *session = nullptr;
    CalibrateService *calibrateService = nullptr;
    // Looks at the ready bit while the link is up and no run was started, as the window's
    // read-out does before it enables its button; stopped once the run starts.
    QTimer readyTimer;
    QTimer readyDeadline;
    bool linkUp = false;
    bool running = false;
    bool ended = false;
    JournalRecord attempt;
    std::optional<CalibrationOutcome> runOutcome;
    // How the command ended an attempt the run did not end itself.
    std::optional<CalibrationEnding::Kind> faceEnd;
};
