// velmora-cli station: updates every gimbal adapter that appears, until Ctrl-C or a count.
#pragma once

#include "CliOptions.h"
#include "Command.h"
#include "FirmwareCheck.h"
#include "JournalRecord.h"
#include "PackageSignature.h"
#include "StationDisplay.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <memory>

class FlashSession;
class SystemPortEnumerator;
struct PortInfo;

// The package is read and checked once, at the start; every gimbal gets those bytes. Each
// adapter gets one attempt while it stays plugged in; pulled out and plugged in again, it
// gets a new one. The exit status says whether every gimbal of the run ended updated: a
// gimbal is told by its chips' ids, so one pulled mid-write and updated after its return
// counts as updated. With --check, a gimbal counts as updated only when its new firmware
// was seen running afterwards.
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
    void take(const PortInfo &info);
    void onRemoved(const PortInfo &info);
    void onSessionFinished(FlashSession *session);
    void onCheckFinished(FlashSession *session, FirmwareCheck::Result result, double accelerationG);
    // The attempt is over (and checked, with --check): tally, exit status, display, journal.
    void conclude(FlashSession *session, const QString &checkWord);
    int busyCount() const { return int(running.size() + checking.size()); }
    bool takesMore() const;
    void endIfDone();
    int exitStatus() const;

    CliOptions options;
    QByteArray packageBytes;
    // The package's signature, checked once at the start.
    SignatureCheck signature;
    bool multiChip = false;
    std::unique_ptr<SystemPortEnumerator> ports;
    std::unique_ptr<StationDisplay> display;
    QHash<QString, FlashSession *> running;     // by port name
    QHash<QString, FirmwareCheck *> checking;   // by port name, after an update, with --check
    QHash<FlashSession *, JournalRecord> held;  // records waiting for their check's result
    QHash<QString, QString> serials;            // adapter serial by port name, while plugged
    QSet<QString> finishedPlugged;              // ended here; the adapter has not left since
    StationDisplay::Tally tally;
    int gimbalsEnded = 0;                       // attempts not cut short by a pulled adapter
    // The exit status of each gimbal's last attempt, by its chips' ids, in the order seen;
    // attempts that never listed chips stand alone.
    QHash<QString, int> lastStatus;
    QList<QString> gimbalOrder;
    QList<int> unidentifiedFailures;
    bool stopping = false;
    bool cancelled = false;
    bool ended = false;
};
