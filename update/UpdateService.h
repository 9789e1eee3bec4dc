// Writes a firmware package into the gimbal's chips through the bootloader, in a thread of its own.
#pragma once

#include "BootloaderCommands.h"
#include "CheckedPackage.h"
#include "ChipInfo.h"
#include "DeviceInfo.h"
#include "UpdateOutcome.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

// The object lives in the thread that created it, so its slots run there; only run() runs in
// the service's own thread. Each cycle of run() connects if needed, lists the chips, waits
// for the package's bytes and writes them. Waits block on a condition and are ended by
// the awaited event, a cancel, their deadline or stop().
class UpdateService : public QThread
{
    Q_OBJECT

public:
    // Event bits of `events`.
    static constexpr uint32_t EV_FRAME = 1;
    static constexpr uint32_t EV_CONNECT = 2;
    static constexpr uint32_t EV_FILE = 4;
    // waitEvent mode bits.
    static constexpr int ModeAll = 1;
    static constexpr int ModeAny = 2;
    static constexpr int ModeConsume = 4;
    // A wait without a time-out.
    static constexpr uint64_t NoTimeout = 0xFFFFFFFFu;

    explicit UpdateService(QObject *parent = nullptr);
    // Stops the loop and waits for it, so the thread never outlives the object.
    ~UpdateService() override;

    // Makes the loop end promptly, whatever it waits for: every wait then fails as after a cancel.
    void stop();

    // Cancels what is in progress, then selects multi-chip (true) or single-address mode.
    void setMultiChip(bool value);
    bool multiChip() const { return multiChipMode.load(); }

    // Event bits set and not yet consumed (for diagnostics and tests).
    uint32_t pendingEvents() const;

    // How long probe asks for a bootloader (30000 ms unless changed; set before start()).
    void setProbeTimeoutMs(int ms) { probeTimeoutMs.store(ms); }
    // The millisecond clock that times an update (monotonic; set before start()).
    void setElapsedClock(std::function<qint64()> clock);

    // The package for the listed chips, as the package door let it through: exactly its bytes
    // are written. The service never reads a file, and takes no bytes the door did not check.
    void packageRequest(const CheckedPackage &package);

signals:
    void getDataRequest();
    void progressUpdate(int value);
    void connectTimeout(int value);
    void updateReport(int type, QString msg);
    void deviceListUpdate(QList<deviceInfo> devices);
    // The chips as listed, as values (emitted just before deviceListUpdate).
    void chipsListed(QList<chipInfo> chips);
    void transmitBytes(QByteArray bytes);
    // The same course as values: a step of the update in progress, and how a cycle ended
    // (emitted once per ended connection attempt, listing or update, right after its report).
    void updateStep(UpdateOutcome step);
    void updateOutcome(UpdateOutcome outcome);

public slots:
    void connectRequest();
    void onCancel();
    void onRecvFrame(QByteArray bytes);
    // Bytes of a frame arrived. A request whose time-out passes after a frame began but no
    // valid reply came met a damaged line, not silence.
    void onFrameBytes();

protected:
    void run() override;

private:
    // How one request ended.
    enum class Exchange { Reply, Silence, Damaged, Cancelled };

    // Procedure (UpdateService.cpp).
    void cycle();
    bool connectBootloader();
    bool matchPackage(const QList<chipInfo> &chips);
    int writeChips(const QList<chipInfo> &chips, UpdateOutcome *failure);
    void fail(const QString &message, const UpdateOutcome &outcome);
    void clearPackageRequest();
    static UpdateOutcome outcomeOf(UpdateOutcome::Reason reason, int chip = 0);

    // Waiting (UpdateService.cpp).
    bool waitEvent(uint32_t mask, int mode, uint64_t timeoutMs, uint32_t *seen);
    void setEvents(uint32_t bits);
    // Blocks for `ms` milliseconds, or less when stop() comes.
    void pause(unsigned long ms);

    // Commands and operations (UpdateCommands.cpp).
    uint8_t commandCode(BootloaderCommand::Number command, int address) const;
    void sendCommand(uint8_t code, const QByteArray &data = QByteArray());
    // Waits for the reply to the request sent last: frames with another code are passed over,
    // frames that came before the request was sent were dropped when it was sent.
    Exchange waitReply(uint8_t code, uint64_t timeoutMs, QByteArray *reply);
    // GET_INFO, asked again (up to a few times) while the replies come damaged.
    Exchange getInfo(int address, chipInfo *chip);
    bool readCrc(int address, uint32_t length, uint16_t *crc);
    bool writePage(int address, uint16_t index, const QByteArray &bytes);
    Exchange next(int address, bool *accepted);
    void sendWithoutReply(BootloaderCommand::Number command);
    // Hands RUN or RESTART to the port, then reports the update's end, so that an end which
    // says the command was sent is true when a face hears it.
    void endUpdate(BootloaderCommand::Number command, const QString &message, int type, const UpdateOutcome &outcome);
    bool probe(int address, int totalMs);
    // Exchange::Reply with at least one chip listed; Silence when the first chip is silent;
    // Damaged or Cancelled when the listing was cut short by a bad reply or a cancel.
    Exchange listChips(QList<chipInfo> *chips);
    bool nextChip();
    bool programChip(const chipInfo &chip, const ptzImage &image, bool *upToDate);

    // Guards events, inbox, frameBytes and requested; `eventChanged` is
    // signalled whenever a bit is set or stop() is called.
    mutable QMutex eventLock;
    QWaitCondition eventChanged;
    uint32_t events = 0;
    std::atomic<bool> quitRequested{false};
    std::atomic<bool> connected{false};
    std::optional<CheckedPackage> requested;
    std::atomic<bool> multiChipMode{false};
    // Frames received since the last request was sent, oldest first (a few at most).
    QList<QByteArray> inbox;
    // Bytes of a frame arrived since the last request was sent.
    bool frameBytes = false;
    // A wait of the current step ended by a cancel or stop() (service thread only).
    bool cancelSeen = false;
    // The header of the package being written (service thread only).
    ptzHeader package;
    // Pages the current update has written and had acknowledged (service thread only).
    int pagesWritten = 0;

    std::atomic<int> probeTimeoutMs{30000};
    std::function<qint64()> elapsedClock;
};
