// Master side of the runtime protocol.
#include "StarsService.h"

#include "RegisterTable.h"
#include "StarsCommands.h"
#include "StarsFrame.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QMutexLocker>

namespace {

constexpr qint64 kMinCycleMicroseconds = 10000;
constexpr unsigned long kPollMicroseconds = 500;

bool answers(const QByteArray &frame, uint8_t slave, uint16_t cmd)
{
    return frame.size() >= StarsFrame::Size && StarsFrame::address(frame) == slave
           && StarsFrame::command(frame) == cmd;
}

} // namespace

StarsService::StarsService(QObject *parent)
    : QThread(parent)
{
    setRegisterProfile(1);
}

StarsService::~StarsService()
{
    stop();
    wait();
}

void StarsService::setRegisterProfile(int profile)
{
    clearRegisterValues();
    const RegisterProfile *columns = registerProfile(profile);
    if (!columns)
        return;
    slaveAddress.store(columns->slaveAddress);
    for (int i = 0; i < RegisterCount; ++i)
        registerTable[i].code.store(columns->codes[i]);
}

void StarsService::stop()
{
    // Every wait and sleep of the loop watches this flag, so a save wait of up to 45 s
    // or a silent gimbal never holds up the window's close.
    quitRequested.store(true);
}

void StarsService::onCancel()
{
    linkConnected.store(false);
    QMutexLocker lock(&exchangeMutex);
    responseFlags |= FrameReceived | CancelRequested;
}

void StarsService::onTransmit(uint16_t cmd, uint16_t value, uint32_t timeout)
{
    QMutexLocker lock(&exchangeMutex);
    requestQueue.enqueue({cmd, value, timeout});
}

void StarsService::onSuspend(bool value)
{
    if (value) {
        suspended.store(true);
        onCancel();
    } else {
        suspended.store(false);
    }
}

void StarsService::onRecvFrame(QByteArray bytes)
{
    // The link only delivers checked frames; this slot is public, so it checks again
    // rather than let noise reach the table.
    if (bytes.size() != StarsFrame::Size || !StarsFrame::checkMatches(bytes.constData()))
        return;
    {
        QMutexLocker lock(&exchangeMutex);
        lastFrame = bytes;
        responseFlags |= FrameReceived;
    }
    if (StarsFrame::address(bytes) != slaveAddress.load())
        return;
    const uint16_t cmd = StarsFrame::command(bytes);
    if (cmd & CMD_KIND_MASK)
        return; // the answer to a write or a command carries no register content
    for (RegisterEntry &entry : registerTable) {
        if (entry.code.load() == cmd) {
            entry.value.store(StarsFrame::value(bytes));
            return;
        }
    }
}

void StarsService::run()
{
    // The announced state is what connected(bool) last reported; it differs from
    // linkConnected only after a cancel.
    bool announced = linkConnected.load();
    int pollIndex = 0;
    while (!quitRequested.load()) {
        if (suspended.load()) {
            QThread::usleep(kPollMicroseconds);
            continue;
        }
        QElapsedTimer cycle;
        cycle.start();
        Request request;
        if (takeRequest(&request)) {
            const Outcome outcome = exchange(request.cmd, request.value, request.timeout);
            if (outcome == Outcome::Aborted)
                break;
            serveRequest(request, &announced, outcome);
        } else {
            const Outcome outcome = exchange(registerTable[pollIndex].code.load(), 0, POLL_TIMEOUT_MS);
            if (outcome == Outcome::Aborted)
                break;
            if (outcome == Outcome::Success) {
                noteAnswered(&announced);
            } else {
                qDebug() << "ERROR";
                noteUnanswered(&announced);
            }
            pollIndex = (pollIndex + 1) % RegisterCount;
        }
        sleepWatchingQuit(kMinCycleMicroseconds - cycle.nsecsElapsed() / 1000);
    }
    // The stop has been served; a stop() that came before the loop started is not lost,
    // and a later start() runs the loop again.
    quitRequested.store(false);
}

bool StarsService::takeRequest(Request *request)
{
    QMutexLocker lock(&exchangeMutex);
    if (requestQueue.isEmpty())
        return false;
    *request = requestQueue.dequeue();
    return true;
}

void StarsService::serveRequest(const Request &request, bool *announced, Outcome outcome)
{
    const bool ok = outcome == Outcome::Success;
    if (!ok)
        qDebug() << "list ERROR";
    if (request.cmd == CMD_SAVE)
        emit saveFinshed(ok);
    else if (request.cmd == CMD_DISABLE)
        emit disableFinshed(ok);
    if (ok)
        noteAnswered(announced);
    else
        noteUnanswered(announced);
}

void StarsService::noteAnswered(bool *announced)
{
    if (linkConnected.load())
        return;
    linkConnected.store(true);
    *announced = true;
    emit connected(true);
}

void StarsService::noteUnanswered(bool *announced)
{
    if (!linkConnected.load() && !*announced)
        return;
    linkConnected.store(false);
    *announced = false;
    // Cleared before the signal, so a receiver never sees the old values after it.
    clearRegisterValues();
    emit connected(false);
}

StarsService::Outcome StarsService::exchange(uint16_t cmd, uint16_t value, uint32_t timeoutMs)
{
    for (int attempt = 1; attempt <= MaxAttempts; ++attempt) {
        if (quitRequested.load())
            return Outcome::Aborted;
        const uint8_t slave = slaveAddress.load();
        {
            QMutexLocker lock(&exchangeMutex);
            responseFlags &= ~FrameReceived;
        }
        emit transmitPacket(slave, cmd, value);
        uint32_t seen = 0;
        QByteArray frame;
        if (!awaitResponse(timeoutMs, &seen, &frame))
            return Outcome::Aborted;
        // A cancel, a foreign address or the answer to another command fails this attempt.
        if (seen == FrameReceived && answers(frame, slave, cmd)) {
            if (attempt > 1)
                qDebug() << "<< try" << attempt;
            return Outcome::Success;
        }
    }
    return Outcome::Failure;
}

bool StarsService::awaitResponse(uint32_t timeoutMs, uint32_t *seen, QByteArray *frame)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        {
            QMutexLocker lock(&exchangeMutex);
            *seen = responseFlags & (FrameReceived | CancelRequested);
            if (*seen) {
                responseFlags &= ~(FrameReceived | CancelRequested);
                *frame = lastFrame;
                return true;
            }
        }
        if (quitRequested.load())
            return false;
        if (clock.elapsed() >= qint64(timeoutMs))
            return true;
        QThread::usleep(kPollMicroseconds);
    }
}

void StarsService::sleepWatchingQuit(qint64 microseconds)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = microseconds - clock.nsecsElapsed() / 1000;
        if (left <= 0 || quitRequested.load())
            return;
        QThread::usleep(qMin<qint64>(left, 1000));
    }
}
