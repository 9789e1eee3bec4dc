// Lets the simulated gimbal's answer bytes leave no faster than a 115200-baud line carries them.
#pragma once

#include "WakeTimer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <deque>

class OutputPacer : public QObject
{
    Q_OBJECT

public:
    // 115200 baud, 8N1: ten bits on the line per byte.
    static constexpr qint64 ByteNanoseconds = 1000000000LL * 10 / 115200;

    explicit OutputPacer(QObject *parent = nullptr);

    // Without pacing, bytes leave at once (only sendAt with a later start holds them back).
    void setEnabled(bool enabled) { pacing = enabled; }
    bool isEnabled() const { return pacing; }

    // The pacer's clock, in nanoseconds since it was made; the time base of sendAt().
    qint64 nowNs() const { return clock.nsecsElapsed(); }

    // Queues `bytes`, to start once the `inputBytes` that caused them would have crossed the
    // line and the line is free, one byte time after another.
    void send(const QByteArray &bytes, qsizetype inputBytes);
    // Queues `bytes` to start on the line no earlier than `startNs` (pacer clock), after
    // everything queued before.
    void sendAt(const QByteArray &bytes, qint64 startNs);
    // Forgets what is queued: the line went away with it.
    void drop();

signals:
    // One or more whole answers, each released when its last byte has crossed the line.
    void bytesOut(QByteArray bytes);

private:
    struct Message
    {
        QByteArray bytes;
        qint64 endNs; // when its last byte has fully left
    };

    void release();
    void schedule();

    bool pacing = true;
    QElapsedTimer clock;
    WakeTimer timer;
    std::deque<Message> queued;
    qint64 lineFreeNanoseconds = 0;
};
