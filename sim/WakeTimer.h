// A one-shot timer with sub-millisecond precision (a timerfd watched by the event loop).
#pragma once

#include <QObject>
#include <QTimer>

class QSocketNotifier;

// QTimer rounds to whole milliseconds, which would make every paced answer up to a
// millisecond late; at 115200 baud a byte lasts 87 µs, so the line needs finer wake-ups.
class WakeTimer : public QObject
{
    Q_OBJECT

public:
    explicit WakeTimer(QObject *parent = nullptr);
    ~WakeTimer() override;

    // Fires timeout() once, `delayNs` from now (at once for 0 or less); replaces a pending start.
    void start(qint64 delayNs);
    void stop();
    bool isActive() const { return armed; }

signals:
    void timeout();

private:
    void expired();

    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    QTimer fallback; // whole milliseconds, only where no timerfd can be had
    bool armed = false;
};
