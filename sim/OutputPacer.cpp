// Paces the simulated gimbal's answer bytes at line speed.
#include "OutputPacer.h"

#include <algorithm>

OutputPacer::OutputPacer(QObject *parent)
    : QObject(parent)
    , timer(this) // a child, so it follows the pacer into another thread
{
    clock.start();
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &OutputPacer::release);
}

void OutputPacer::send(const QByteArray &bytes, qsizetype inputBytes)
{
    if (bytes.isEmpty())
        return;
    if (!pacing) {
        emit bytesOut(bytes);
        return;
    }
    const qint64 now = clock.nsecsElapsed();
    qint64 due = std::max(now + inputBytes * ByteNanoseconds, lineFreeNanoseconds);
    for (char byte : bytes) {
        due += ByteNanoseconds;
        queued.append(byte);
        dueNanoseconds.push_back(due);
    }
    lineFreeNanoseconds = due;
    schedule();
}

void OutputPacer::release()
{
    const qint64 now = clock.nsecsElapsed();
    qsizetype count = 0;
    while (!dueNanoseconds.empty() && dueNanoseconds.front() <= now) {
        dueNanoseconds.pop_front();
        ++count;
    }
    if (count > 0) {
        const QByteArray chunk = queued.left(count);
        queued.remove(0, count);
        emit bytesOut(chunk);
    }
    schedule();
}

void OutputPacer::schedule()
{
    if (dueNanoseconds.empty() || timer.isActive())
        return;
    const qint64 wait = dueNanoseconds.front() - clock.nsecsElapsed();
    timer.start(int(std::max<qint64>(0, (wait + 999999) / 1000000)));
}
