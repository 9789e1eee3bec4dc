// One gimbal's firmware update (or chip listing) with its own port worker, link and update service.
#pragma once

#include "Attempts.h"
#include "DeviceInfo.h"
#include "PackageSignature.h"
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
    enum class State { Opening, Connecting, Connected, Listing, Writing, Done };

    // `package` empty: list the chips only (info), then end.
    FlashSession(const QString &portName, bool multiChip, int connectTimeoutMs, const QString &package,
                 QObject *parent = nullptr);
    ~FlashSession() override;

    // Makes the session an update attempt that ends in a journal record (attemptEnded): the
    // product row, the adapter's serial number and the package bytes that were checked.
    void recordAttempt(int productRow, const QString &adapterSerial, const QByteArray &packageBytes,
                       const SignatureCheck &signature);

    // Writes `bytes`, the package as the command read and checked it, instead of having the
    // service read the path again: a file changed on disk meanwhile changes nothing.
    void usePackageBytes(const QByteArray &bytes) { packageBytes = bytes; }

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
    const QList<deviceInfo> &devices() const { return chips; }
    // The listed chips' cpuids and serials, which tell one gimbal from another whatever adapter
    // it hangs on; empty until the chips were listed.
    QString gimbalIdentity() const { return identity; }
    // Chips found already holding the package's firmware (not written again).
    int chipsUpToDate() const { return upToDateChips; }

    // Why the session ended, as a stable name: the service's outcome ("success",
    // "hardware-mismatch", ...) or "interrupted", "port-lost", "port-unavailable", "listed".
    QString reason() const { return endReason; }

    static QString stateName(State state);
    // The exit status for the way an update ended.
    static int exitCodeOf(const UpdateOutcome &outcome);

signals:
    // Something shown changed: state, chip, progress or message. `kind` names the event
    // ("state", "progress", "report", "chips", "done").
    void changed(const QString &kind);
    void finished(int exitCode);
    // The attempt's record, just before finished(), when recordAttempt() was asked for.
    void attemptEnded(const JournalRecord &record);

private:
    void onStep(const UpdateOutcome &step);
    void onOutcome(const UpdateOutcome &end);
    void onProgress(int value);
    void onDevices(const QList<deviceInfo> &devices);
    void setState(State state);
    // Ends the session with `exitCode`: the service stops, and whatever it sent last (RUN or
    // RESTART) is pushed onto the line before the port closes.
    void finish(int exitCode, const QString &message);
    void onServiceEnded();
    void endOnLostPort(const QString &reason);
    JournalRecord attemptRecord();

    QString port;
    QString package;
    QByteArray packageBytes;
    QString identity;
    int upToDateChips = 0;
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
    QString endReason;
    bool finishing = false;
    bool recording = false;
    int recordRow = -1;
    QString recordSerial;
    QByteArray recordPackage;
    SignatureCheck recordSignature;
    UpdateAttempt attempt;
    // The service's last end, also after a cancel from here: it tells what the write came to.
    std::optional<UpdateOutcome> serviceEnd;
};
