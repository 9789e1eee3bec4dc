// Master side of the runtime protocol: polls the gimbal's registers, carries queued requests
// and decides whether the gimbal is connected.
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QQueue>
#include <QThread>
#include <atomic>
#include <cstdint>

// The object lives in the GUI thread, so its slots run there; only run() runs in the
// service's own thread. One exchange per cycle of at least 10 ms: a queued request if one
// waits, otherwise a read of the next of the ten registers of registerTable.
class StarsService : public QThread
{
    Q_OBJECT

public:
    explicit StarsService(QObject *parent = nullptr);
    // Stops the loop and waits for it, so the thread never outlives the object.
    ~StarsService() override;

    // Clears the table values; for profile 0, 1 or 2 also selects its slave address and codes.
    void setRegisterProfile(int profile);
    // Ends the loop within a few milliseconds, whatever it is waiting for.
    void stop();

    uint8_t currentSlaveAddress() const { return slaveAddress.load(); }

signals:
    void connected(bool value);
    void saveFinshed(bool value);
    void disableFinshed(bool value);
    void transmitPacket(uint8_t slave, uint16_t cmd, uint16_t value);

public slots:
    void onCancel();
    void onTransmit(uint16_t cmd, uint16_t value, uint32_t timeout);
    void onSuspend(bool value);
    void onRecvFrame(QByteArray bytes);

protected:
    void run() override;

private:
    enum class Outcome { Success, Failure, Aborted };

    struct Request
    {
        uint16_t cmd;
        uint16_t value;
        uint32_t timeout;
    };

    // Bits of responseFlags.
    static constexpr uint32_t FrameReceived = 1;
    static constexpr uint32_t CancelRequested = 2;
    static constexpr int MaxAttempts = 15;

    bool takeRequest(Request *request);
    Outcome exchange(uint16_t cmd, uint16_t value, uint32_t timeoutMs);
    // False when a stop ended the wait; otherwise `seen` holds the flags that ended it (0 on time-out).
    bool awaitResponse(uint32_t timeoutMs, uint32_t *seen, QByteArray *frame);
    void serveRequest(const Request &request, bool *announced, Outcome outcome);
    void noteAnswered(bool *announced);
    void noteUnanswered(bool *announced);
    void sleepWatchingQuit(qint64 microseconds);

    // Guards responseFlags, requestQueue and lastFrame; held only for short reads and updates.
    QMutex exchangeMutex;
    uint32_t responseFlags = 0;
    QQueue<Request> requestQueue;
    QByteArray lastFrame;

    std::atomic<bool> quitRequested{false};
    std::atomic<bool> linkConnected{false};
    std::atomic<bool> suspended{false};
    std::atomic<uint8_t> slaveAddress{0};
};
