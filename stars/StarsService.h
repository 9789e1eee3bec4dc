// Master side of the runtime protocol: polls the gimbal's registers, carries queued requests
// and decides whether the gimbal is connected.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QQueue>
#include <QThread>
#include <QWaitCondition>
#include <atomic>
#include <cstdint>

// The object lives in the GUI thread, so its slots run there; only run() runs in the
// service's own thread. One exchange per cycle of at least 10 ms: a queued request if one
// waits, otherwise a read of the next of the ten registers of registerTable.
//
// The loop never polls a flag: every wait blocks on one condition with a deadline and is
// woken by a received frame, a cancel, a profile change, the end of a suspension or stop().
class StarsService : public QThread
{
    Q_OBJECT

public:
    explicit StarsService(QObject *parent = nullptr);
    // Stops the loop and waits for it, so the thread never outlives the object.
    ~StarsService() override;

    // Clears the table values; for profile 0, 1 or 2 also selects its slave address and codes.
    // A new profile abandons the exchange in flight and drops the queued requests, which were
    // built from the old profile's codes: no frame ever mixes two profiles.
    void setRegisterProfile(int profile);
    // Tells the service whether the serial port is open (the default). Frames that arrive while
    // it is closed were read before the close; they neither count as answers nor reach the table.
    // With the port closed and the link already down the loop sleeps until the port opens or a
    // request comes: its polls could only time out.
    void setPortOpen(bool open);
    // Ends the loop within a few milliseconds, whatever it is waiting for.
    void stop();

    uint8_t currentSlaveAddress() const { return slaveAddress.load(); }

signals:
    void connected(bool value);
    void saveFinshed(bool value);
    void disableFinshed(bool value);
    void transmitPacket(uint8_t slave, uint16_t cmd, uint16_t value);
    // A polled register answered with `value` (`index` a RegisterIndex); emitted in the port
    // worker's thread. For a reader of this one gimbal, where several services share the table.
    void registerAnswered(int index, quint16 value);

public slots:
    void onCancel();
    void onTransmit(uint16_t cmd, uint16_t value, uint32_t timeout);
    void onSuspend(bool value);
    void onRecvFrame(QByteArray bytes);

protected:
    void run() override;

private:
    // Abandoned: a profile change or a suspension ended the exchange. Aborted: stop() ended it.
    enum class Outcome { Success, Failure, Abandoned, Aborted };

    struct Request
    {
        uint16_t cmd;
        uint16_t value;
        uint32_t timeout;
    };

    // One exchange as it goes on the wire; address and command come from one profile.
    struct Exchange
    {
        uint8_t slave;
        uint16_t cmd;
        uint16_t value;
        uint32_t timeoutMs;
        uint32_t profile; // profileGeneration when the exchange was taken
    };

    // Bits of responseFlags.
    static constexpr uint32_t FrameReceived = 1;
    static constexpr uint32_t CancelRequested = 2;
    static constexpr int MaxAttempts = 15;

    // Takes the next queued request, or else the poll of table entry `pollIndex`.
    bool takeExchange(int pollIndex, Exchange *exchange, Request *request);
    Outcome runExchange(const Exchange &exchange, QDeadlineTimer cycleEnd);
    // Blocks until a frame or a cancel is flagged, the deadline passes, the profile changes or
    // stop() is called. Returns the flags seen (0 on time-out); the caller holds no lock.
    uint32_t awaitResponse(const Exchange &exchange, QDeadlineTimer deadline, QByteArray *frame);
    // Whether `frame` is the answer the running attempt waits for (lock held).
    bool isAwaitedAnswer(const QByteArray &frame) const;
    // Blocks until the frame sent last was answered or its time-out passed (or the port
    // closed, or stop()): the gimbal takes one request at a time, and a request sent over
    // an unanswered one would be answered twice. A profile other than `profile` or a
    // suspension ends the wait too: the exchange is abandoned anyway.
    void awaitQuietLine(QMutexLocker<QMutex> &lock, uint32_t profile);
    void serveRequest(const Request &request, bool *announced, Outcome outcome);
    void noteAnswered(bool *announced);
    void noteUnanswered(bool *announced);
    // Blocks until `deadline` or stop(); nothing else ends it early.
    void sleepUntil(QDeadlineTimer deadline);
    void waitWhileSuspended();
    // With the port closed, the link down and no request queued, blocks until one of them
    // changes, the profile changes, a suspension or stop(). False when there was nothing to
    // wait for.
    bool waitWhilePortClosed();

    // Guards responseFlags, requestQueue, lastFrame, profileGeneration and the frame in
    // flight; held only briefly.
    QMutex exchangeMutex;
    QWaitCondition stateChanged;
    uint32_t responseFlags = 0;
    QQueue<Request> requestQueue;
    QByteArray lastFrame;
    uint32_t profileGeneration = 0;
    // The answer the running attempt waits for, and until when it may wait unwoken: the loop
    // would sleep until the end of its cycle anyway, so the awaited answer does not wake it
    // earlier; anything else (a wrong answer, a cancel) wakes it at once.
    uint8_t awaitedSlave = 0;
    uint16_t awaitedCmd = 0;
    bool awaiting = false;
    QDeadlineTimer quietUntil;
    // The frame on the wire that has not been answered yet, and until when its answer may
    // come; an abandoned or cancelled attempt leaves it there.
    bool frameInFlight = false;
    QDeadlineTimer inFlightUntil;

    std::atomic<bool> quitRequested{false};
    std::atomic<bool> linkConnected{false};
    std::atomic<bool> suspended{false};
    std::atomic<bool> portOpen{true};
    std::atomic<uint8_t> slaveAddress{0};
};
