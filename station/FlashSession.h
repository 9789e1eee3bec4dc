// One gimbal's firmware update (or chip listing) with its own port worker, link and update service.
#pragma once

#include "Attempts.h"
#include "DeviceInfo.h"
#include "CheckedPackage.h"
#include "SerialPort.h"
#include "UpdateOutcome.h"

#include <QList>
#include <QObject>
#include <QString>
#include <optional>

class BootloaderLink;
class PortListener;
class UpdateService;

class FlashSession : public QObject
{
    Q_OBJECT

public:
    enum class State { Opening, Connecting, Connected, Listing, Fetching, Writing, Done };
    // What changed, for the displays: the state, the progress, a report, the chips, the end.
    enum class Change { State, Progress, Report, Chips, Done };
    // How the session ended, beside the engine's own outcome.
    enum class End { Running, Engine, Listed, Interrupted, PortLost, PortUnavailable, Refused };

    // Without a package: list the chips only (info), then end. With one: write exactly the
    // bytes it carries, which were read and checked before.
    FlashSession(const QString &portName, bool multiChip, int connectTimeoutMs,
                 const std::optional<CheckedPackage> &package = std::nullopt, QObject *parent = nullptr);
    ~FlashSession() override;

    // Makes the session an update attempt that can give its journal record (record()): the
    // product row and the adapter's serial number.
    void recordAttempt(int productRow, const QString &adapterSerial);

    // Without a package: after the listing, the session waits (state Fetching) for the face to
    // give one for the listed chips (supplyPackage) or to refuse (refuse) instead of ending;
    // packageWanted() says when. Nothing is sent to the gimbal while it waits: the bootloader
    // stays where the listing left it.
    void awaitPackage() { awaiting = true; }
    // The package for the listed chips, checked (an unaccepted one is refused as `refuse` would).
    // Ignored once the session ended.
    void supplyPackage(const PackageCheck &checked);
    // Ends the session without writing anything: `ending` makes the record and reason(),
    // `message` goes to the display; exit status 3.
    void refuse(const UpdateEnding &ending, const QString &message);
    // The unit's own serial, for the record; may come while the session runs.
    void setUnitSerial(const QString &unitSerial) { attempt.setUnitSerial(unitSerial); }
    // Where the package comes from, for the record.
    void setCatalogue(const CatalogueOrigin &origin) { attempt.setCatalogue(origin); }
    // The chips as the bootloader listed them; empty before.
    const QList<chipInfo> &listedChips() const { return listed; }

    void start();
    // The adapter left the system: ends the session as a lost port (a failed write when it
    // was writing), as an error of the open port does.
    void portRemoved();
    // Cancels what is in progress as the window's cancel does (a write in progress ends with
    // RESTART), then ends; finished() follows with a non-success status.
    void interrupt();

    QString portName() const { return port; }
    State state() const { return current; }
    int chipCount() const { return chips.size(); }
    int chip() const { return chipNumber; }  // the chip being written, from 1; 0 before
    int permille() const { return progress; }
    QString message() const { return lastMessage; }
    int exitCode() const { return code; }
    // Why the port could not be opened; None when it was.
    SerialPort::OpenError openError() const { return openFailure; }
    bool isDone() const { return current == State::Done; }
    bool isRecorded() const { return recording; }
    const QList<deviceInfo> &devices() const { return chips; }
    // The listed chips' cpuids and serials, which tell one gimbal from another whatever adapter
    // it hangs on; empty until the chips were listed.
    QString gimbalIdentity() const { return identity; }
    // Chips found already holding the package's firmware (not written again).
    int chipsUpToDate() const { return int(upToDateChips.size()); }
    // Every chip already held the package's firmware: the update wrote nothing.
    bool wroteNothing() const { return chipCount() > 0 && chipsUpToDate() == chipCount(); }
    // How far the write of the whole gimbal is, in per mille (permille() is the chip's).
    int gimbalPermille() const;
    // The same from the image sizes in chip order: chips before `chip` (from 1) are done,
    // `chip` is `chipPermille` done; chips in `skipped` were found up to date and count neither
    // in what was written nor in what there is to write.
    static int gimbalPermille(const QList<qint64> &chipBytes, const QList<int> &skipped, int chip, int chipPermille);

    End end() const { return ending; }
    // Why the session ended, as a stable name: the service's outcome ("success",
    // "hardware-mismatch", ...) or "cancelled" (the journal's word), "port-lost", "port-unavailable",
    // "listed", or a refusal's word after the listing ("catalogue-expired", "unsigned", ...).
    QString reason() const;
    // The attempt's journal record, built once its session is done; `check` is what a check
    // of the new firmware found, when one was made.
    JournalRecord record(BootCheck check = BootCheck::NotChecked) const;

    static QString stateName(State state);
    static QString changeName(Change change);
    // The exit status for the way an update ended.
    static int exitCodeOf(const UpdateOutcome &outcome);

signals:
    // Something shown changed.
    void changed(FlashSession::Change change);
    // The chips were listed and the session waits for supplyPackage() or refuse().
    void packageWanted();
    void finished(int exitCode);

private:
    void onStep(const UpdateOutcome &step);
    void onOutcome(const UpdateOutcome &end);
    void onProgress(int value);
    void onDevices(const QList<deviceInfo> &devices);
    void setState(State state);
    // Ends the session as `how` with `exitCode`: the service stops, and whatever it sent last
    // (RUN or RESTART) is pushed onto the line before the port closes.
    void finish(End how, int exitCode, const QString &message);
    void onServiceEnded();
    void endOnLostPort(const QString &reason);

    QString port;
    std::optional<CheckedPackage> package;
    QString identity;
    QList<chipInfo> listed;
    bool awaiting = false;
    std::optional<UpdateEnding> refusal;
    QList<int> upToDateChips; // their numbers, from 1
    SerialPort *serial;
    PortListener *portListener;
    BootloaderLink *link;
    UpdateService *service;
    State current = State::Opening;
    QList<deviceInfo> chips;
    int chipNumber = 0;
    int progress = 0;
    QString lastMessage;
    int code = -1;
    SerialPort::OpenError openFailure = SerialPort::OpenError::None;
    End ending = End::Running;
    bool recording = false;
    UpdateAttempt attempt;
    // The service's last end, also after a cancel from here: it tells what the write came to.
    std::optional<UpdateOutcome> serviceEnd;
};
