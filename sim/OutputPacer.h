// Lets the simulated gimbal's answer bytes leave no faster than a 115200-baud line carries them.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>

class OutputPacer : public QObject
{
    Q_OBJECT

public:
    // 115200 baud, 8N1: ten bits on the line per byte.
    static constexpr qint64 ByteNanoseconds = 1000000000LL * 10 / 115200;

    explicit OutputPacer(QObject *parent = nullptr);

    // Without pacing, bytes leave at once.
    void setEnabled(bool enabled) { pacing = enabled; }
    bool isEnabled() const { return pacing; }

    // Queues `bytes`, to start once the `inputBytes` that caused them would have crossed the
    // line and the line is free, one byte time after another.
    void send(const QByteArray &bytes, qsizetype inputBytes);

signals:
    void bytesOut(QByteArray bytes);

private:
    void release();
    void schedule();

    bool pacing = true;
    QElapsedTimer clock;
    QTimer timer;
    QByteArray queued;
    std::deque<qint64> dueNanoseconds; // when each queued byte has fully left
    qint64 lineFreeNanoseconds = 0;
};
