// A one-shot timer with sub-millisecond precision.
#include "WakeTimer.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>

WakeTimer::WakeTimer(QObject *parent)
    : QObject(parent)
    , fallback(this)
{
    fallback.setSingleShot(true);
    fallback.setTimerType(Qt::PreciseTimer);
    connect(&fallback, &QTimer::timeout, this, [this] {
        armed = false;
        emit timeout();
    });
    fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd >= 0) {
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &WakeTimer::expired);
    }
}

WakeTimer::~WakeTimer()
{
    delete notifier;
    if (fd >= 0)
        ::close(fd);
}

void WakeTimer::start(qint64 delayNs)
{
    if (fd < 0) {
        // Rounded up: an answer may leave late, never early.
        fallback.start(int(std::max<qint64>(0, (delayNs + 999999) / 1000000)));
        armed = true;
        return;
    }
    // A zero it_value would disarm the timer, so "now" is one nanosecond away.
    const qint64 delay = delayNs > 0 ? delayNs : 1;
    itimerspec expiry{};
    expiry.it_value.tv_sec = time_t(delay / 1000000000);
    expiry.it_value.tv_nsec = long(delay % 1000000000);
    ::timerfd_settime(fd, 0, &expiry, nullptr);
    armed = true;
}

void WakeTimer::stop()
{
    fallback.stop();
    armed = false;
    if (fd < 0)
        return;
    itimerspec expiry{};
    ::timerfd_settime(fd, 0, &expiry, nullptr);
}

void WakeTimer::expired()
{
    uint64_t expirations = 0;
    if (::read(fd, &expirations, sizeof expirations) != ssize_t(sizeof expirations))
        return; // spurious: a stop() or restart came between the wake-up and this read
    armed = false;
    emit timeout();
}
