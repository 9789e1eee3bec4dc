// velmora-cli station: updates every gimbal adapter that appears, until Ctrl-C or a count.
#pragma once

#include "Attempts.h"
#include "CheckedPackage.h"
#include "CliOptions.h"
#include "Command.h"
#include "StationDisplay.h"
#include "StationTally.h"

#include <QHash>
#include <QString>
#include <memory>
#include <optional>

class FirmwareCheck;
class FlashSession;
class SystemPortEnumerator;
struct PortInfo;

// The package is read and checked once, at the start; every gimbal gets those bytes. Each
// adapter gets one attempt while it stays plugged in; pulled out and plugged in again, it
// gets a new one. With --check, a gimbal counts as updated only when its new firmware was
// seen running afterwards. Each attempt's record is written once, when it is over.
class StationCommand : public Command
{
    Q_OBJECT

public:
    explicit StationCommand(const CliOptions &options, QObject *parent = nullptr);
    ~StationCommand() override;

    void start() override;
    // First Ctrl-C: no new gimbals, running attempts go on; the second cancels them.
    void interrupt() override;
    void interruptAgain() override;

private:
    // One adapter the station knows: plugged in, or busy with an attempt it was pulled from.
    struct Adapter
    {
        enum class Phase {
            Waiting,  // plugged in, not taken (the run takes no more)
            Updating, // its session runs
            Checking, // updated; its new firmware is being checked
            Done,     // its attempt is over; not taken again until it leaves
        };
        QString serial;
        Phase phase = Phase::Waiting;
        bool plugged = true;
        FlashSession *session = nullptr; // owned while Updating or Checking
        FirmwareCheck *check = nullptr;  // owned while Checking
    };

    void take(const PortInfo &info);
    void onRemoved(const PortInfo &info);
    void onSessionFinished(const QString &port);
    void onCheckFinished(const QString &port, BootCheck result, double accelerationG);
    // The attempt is over (and checked, with --check): tally, display, journal.
    void conclude(const QString &port, BootCheck check);
    int busyCount() const;
    bool takesMore() const;
    void endIfDone();

    CliOptions options;
    std::optional<CheckedPackage> package;
    bool multiChip = false;
    std::unique_ptr<SystemPortEnumerator> ports;
    std::unique_ptr<StationDisplay> display;
    QHash<QString, Adapter> adapters; // by port name
    StationTally tally;
    bool stopping = false;
    bool cancelled = false;
    bool ended = false;
};
