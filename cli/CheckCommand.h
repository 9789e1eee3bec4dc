// velmora-cli check: the gimbal at rest measured against its limits, without calibrating it.
#pragma once

#include "Attempts.h"
#include "CheckLimits.h"
#include "CliOptions.h"
#include "Command.h"

#include <QTimer>
#include <optional>

class CalibrateService;
class RuntimeSession;

class CheckCommand : public Command
{
    Q_OBJECT

public:
    // How long the gimbal has to answer with its sensor values after the port opened.
    static constexpr int AnswerTimeoutMs = 15000;

    explicit CheckCommand(const CliOptions &options, QObject *parent = nullptr);
    ~CheckCommand() override;

    void start() override;
    void interrupt() override;

private:
    void lookForValues();
    void onFinished(const CheckOutcome &outcome);
    // Stops the services, records the attempt, says `reason` (if any) and finishes.
    void end(int exitCode, const QString &reason = QString());

    CliOptions options;
    RuntimeSession *session = nullptr;
    CalibrateService *calibrateService = nullptr;
    // Looks for a linked gimbal with sensor values until the check is asked for.
    QTimer valuesTimer;
    QTimer answerDeadline;
    bool linkUp = false;
    bool checking = false;
    bool ended = false;
    JournalRecord attempt;
    CheckEnding ending;
};
