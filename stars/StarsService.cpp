// Master side of the runtime protocol.
#include "StarsService.h"

#include "RegisterTable.h"
#include "StarsCommands.h"
#include "StarsFrame.h"
#include "StarsLog.h"

#include <QMutexLocker>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

constexpr int kMinCycleMs = 10;

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
    // Address, codes and generation change together under the lock, where the loop takes
    // them, so an exchange is always built from one profile.
    QMutexLocker lock(&exchangeMutex);
    slaveAddress.store(columns->slaveAddress);
    for (int i = 0; i < RegisterCount; ++i)
        registerTable[i].code.store(columns->codes[i]);
    ++profileGeneration;
    requestQueue.clear();
    stateChanged.wakeAll();
}

void StarsService::setPortOpen(bool open)
{
    portOpen.store(open);
    QMutexLocker lock(&exchangeMutex);
    // A frame sent on an earlier opening is never answered on this one.
    frameInFlight = false;
    stateChanged.wakeAll();
}

void StarsService::stop()
{
    // Every wait of the loop is woken here and looks at the flag, so a save wait of up to
    // 45 s or a silent gimbal never holds up the window's close.
    quitRequested.store(true);
    QMutexLocker lock(&exchangeMutex);
    stateChanged.wakeAll();
}

void StarsService::onCancel()
{
    linkConnected.store(false);
    QMutexLocker lock(&exchangeMutex);
    responseFlags |= FrameReceived | CancelRequested;
    stateChanged.wakeAll();
}

void StarsService::onTransmit(uint16_t cmd, uint16_t value, uint32_t timeout)
{
    QMutexLocker lock(&exchangeMutex);
    requestQueue.enqueue({cmd, value, timeout});
    // A loop asleep on a closed port serves it; an exchange in flight looks again and waits on.
    stateChanged.wakeAll();
}

void StarsService::onSuspend(bool value)
{
    if (value) {
        suspended.store(true);
        onCancel();
    } else {
        suspended.store(false);
        QMutexLocker lock(&exchangeMutex);
        stateChanged.wakeAll();
    }
}

void StarsService::onRecvFrame(QByteArray bytes)
{
    // The link only delivers checked frames; this slot is public, so it checks again
    // rather than let noise reach the table.
    if (bytes.size() != StarsFrame::Size || !StarsFrame::checkMatches(bytes.constData()))
        return;
    // Read before the port was closed: neither an answer nor a value any more.
    if (!portOpen.load())
        return;
    {
        QMutexLocker lock(&exchangeMutex);
        lastFrame = bytes;
        responseFlags |= FrameReceived;
        // The gimbal answered: the line is free for the next request.
        frameInFlight = false;
        if (!(isAwaitedAnswer(bytes) && !quietUntil.hasExpired()))
            stateChanged.wakeAll();
    }
    if (StarsFrame::address(bytes) != slaveAddress.load())
        return;
    const uint16_t cmd = StarsFrame::command(bytes);
    if (cmd & CMD_KIND_MASK)
        return; // the answer to a write or a command carries no register content
    for (int i = 0; i < RegisterCount; ++i) {
        if (registerTable[i].code.load() == cmd) {
            const uint16_t value = StarsFrame::value(bytes);
            registerTable[i].storeAnswer(value);
            emit registerAnswered(i, value);
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
#ifdef Q_OS_LINUX
    // The cycle's 10 ms are timed by a deadline; the kernel's default 50 µs of timer slack
    // would otherwise be added to every cycle.
    prctl(PR_SET_TIMERSLACK, 1000UL);
#endif
    while (!quitRequested.load()) {
        if (suspended.load()) {
            waitWhileSuspended();
            continue;
        }
        // A link that was up still goes down through its failed attempts, as on a silent line;
        // after that, with nothing to send to, the loop costs nothing until the port opens.
        if (!announced && waitWhilePortClosed())
            continue;
        const QDeadlineTimer cycleEnd(kMinCycleMs, Qt::PreciseTimer);
        Exchange exchange;
        Request request;
        const bool isRequest = takeExchange(pollIndex, &exchange, &request);
        const Outcome outcome = runExchange(exchange, cycleEnd);
        if (outcome == Outcome::Aborted)
            break;
        if (isRequest) {
            serveRequest(request, &announced, outcome);
        } else {
            if (outcome == Outcome::Success) {
                noteAnswered(&announced);
            } else if (outcome == Outcome::Failure) {
                qCDebug(lcStars) << "ERROR";
                noteUnanswered(&announced);
            }
            pollIndex = (pollIndex + 1) % RegisterCount;
        }
        sleepUntil(cycleEnd);
    }
    // The stop has been served; a stop() that came before the loop started is not lost,
    // and a later start() runs the loop again.
    quitRequested.store(false);
}

bool StarsService::takeExchange(int pollIndex, Exchange *exchange, Request *request)
{
    QMutexLocker lock(&exchangeMutex);
    exchange->slave = slaveAddress.load();
    exchange->profile = profileGeneration;
    if (requestQueue.isEmpty()) {
        *exchange = {exchange->slave, registerTable[pollIndex].code.load(), 0, POLL_TIMEOUT_MS, profileGeneration};
        return false;
    }
    *request = requestQueue.dequeue();
    *exchange = {exchange->slave, request->cmd, request->value, request->timeout, profileGeneration};
    return true;
}

void StarsService::serveRequest(const Request &request, bool *announced, Outcome outcome)
{
    const bool ok = outcome == Outcome::Success;
    if (!ok)
        qCDebug(lcStars) << "list ERROR";
    if (request.cmd == CMD_SAVE)
        emit saveFinshed(ok);
    else if (request.cmd == CMD_DISABLE)
        emit disableFinshed(ok);
    // A request abandoned by a profile change says nothing about the new product's link.
    if (outcome == Outcome::Abandoned)
        return;
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

bool StarsService::isAwaitedAnswer(const QByteArray &frame) const
{
    return awaiting && answers(frame, awaitedSlave, awaitedCmd);
}

StarsService::Outcome StarsService::runExchange(const Exchange &exchange, QDeadlineTimer cycleEnd)
{
    {
        // A cancel that came between exchanges (a close, a product change, a suspension while
        // the loop slept) had nothing to end; left set, it would fail the first attempt at
        // once and send its frame a second time over the unanswered first.
        QMutexLocker lock(&exchangeMutex);
        responseFlags &= ~CancelRequested;
    }
    for (int attempt = 1; attempt <= MaxAttempts; ++attempt) {
        {
            QMutexLocker lock(&exchangeMutex);
            awaitQuietLine(lock, exchange.profile);
            if (quitRequested.load())
                return Outcome::Aborted;
            // A suspension (the other tab took the port) ends the exchange too: its attempts
            // could only time out, and their failure would report a link the user is not using.
            if (profileGeneration != exchange.profile || suspended.load())
                return Outcome::Abandoned;
            // Cleared after the line went quiet: a late answer to an abandoned frame that
            // arrived meanwhile is not this attempt's answer.
            responseFlags &= ~FrameReceived;
            awaitedSlave = exchange.slave;
            awaitedCmd = exchange.cmd;
            quietUntil = cycleEnd;
            // With the port closed the frame could only be dropped on the way; the attempt
            // still waits out its time-out, so the link goes down when the attempts run out.
            if (portOpen.load()) {
                frameInFlight = true;
                inFlightUntil = QDeadlineTimer(exchange.timeoutMs, Qt::PreciseTimer);
            }
        }
        if (portOpen.load())
            emit transmitPacket(exchange.slave, exchange.cmd, exchange.value);
        QByteArray frame;
        const uint32_t seen = awaitResponse(exchange, QDeadlineTimer(exchange.timeoutMs, Qt::PreciseTimer), &frame);
        if (quitRequested.load())
            return Outcome::Aborted;
        // A cancel, a foreign address or the answer to another command fails this attempt.
        if (seen == FrameReceived && answers(frame, exchange.slave, exchange.cmd)) {
            if (attempt > 1)
                qCDebug(lcStars) << "<< try" << attempt;
            return Outcome::Success;
        }
    }
    return Outcome::Failure;
}

void StarsService::awaitQuietLine(QMutexLocker<QMutex> &lock, uint32_t profile)
{
    while (frameInFlight && !inFlightUntil.hasExpired() && !quitRequested.load() && !suspended.load()
           && profileGeneration == profile)
        stateChanged.wait(lock.mutex(), inFlightUntil);
}

uint32_t StarsService::awaitResponse(const Exchange &exchange, QDeadlineTimer deadline, QByteArray *frame)
{
    QMutexLocker lock(&exchangeMutex);
    awaiting = true;
    uint32_t seen = 0;
    for (;;) {
        seen = responseFlags & (FrameReceived | CancelRequested);
        if (seen) {
            responseFlags &= ~(FrameReceived | CancelRequested);
            *frame = lastFrame;
            break;
        }
        if (quitRequested.load() || profileGeneration != exchange.profile || suspended.load()
            || deadline.hasExpired())
            break;
        // An awaited answer arriving before the cycle's end does not wake the loop; it looks
        // at the flags when the quiet period is over.
        const QDeadlineTimer until = quietUntil.hasExpired() ? deadline : qMin(deadline, quietUntil);
        stateChanged.wait(&exchangeMutex, until);
    }
    awaiting = false;
    return seen;
}

void StarsService::sleepUntil(QDeadlineTimer deadline)
{
    QMutexLocker lock(&exchangeMutex);
    while (!quitRequested.load() && !deadline.hasExpired())
        stateChanged.wait(&exchangeMutex, deadline);
}

bool StarsService::waitWhilePortClosed()
{
    QMutexLocker lock(&exchangeMutex);
    if (portOpen.load() || !requestQueue.isEmpty() || quitRequested.load())
        return false;
    qCDebug(lcStars, "port closed: polling paused");
    const uint32_t profile = profileGeneration;
    while (!portOpen.load() && requestQueue.isEmpty() && !quitRequested.load() && !suspended.load()
           && profileGeneration == profile)
        stateChanged.wait(&exchangeMutex);
    return true;
}

void StarsService::waitWhileSuspended()
{
    QMutexLocker lock(&exchangeMutex);
    qCDebug(lcStars, "suspended: polling paused");
    while (suspended.load() && !quitRequested.load())
        stateChanged.wait(&exchangeMutex);
}
