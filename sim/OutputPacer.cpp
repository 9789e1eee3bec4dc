// Paces the simulated gimbal's answer bytes at line speed.
#include "OutputPacer.h"

#include <algorithm>

OutputPacer::OutputPacer(QObject *parent)
    : QObject(parent)
    , timer(this) // a child, so it follows the pacer into another thread
{
    clock.start();
    connect(&timer, &WakeTimer::timeout, this, &OutputPacer::release);
}

void OutputPacer::send(const QByteArray &bytes, qsizetype inputBytes)
{
    if (bytes.isEmpty())
        return;
    if (!pacing && queued.empty()) {
        emit bytesOut(bytes);
        return;
    }
    sendAt(bytes, pacing ? nowNs() + inputBytes * ByteNanoseconds : 0);
}

void OutputPacer::sendAt(const QByteArray &bytes, qint64 startNs)
{
    if (bytes.isEmpty())
        return;
    const qint64 now = nowNs();
    if (!pacing && startNs <= now && queued.empty()) {
        emit bytesOut(bytes);
        return;
    }
    // Unpaced, the line takes no time, but a device that is busy still answers late.
    const qint64 start = std::max({startNs, lineFreeNanoseconds, now});
    lineFreeNanoseconds = start + (pacing ? bytes.size() * ByteNanoseconds : 0);
    queued.push_back({bytes, lineFreeNanoseconds});
    schedule();
}

void OutputPacer::release()
{
    // A host reads a frame only once it is complete, so answers leave whole, each at the
    // moment its last byte would have arrived; one wake-up per answer instead of per byte.
    const qint64 now = nowNs();
    QByteArray chunk;
    while (!queued.empty() && queued.front().endNs <= now) {
        chunk += queued.front().bytes;
        queued.pop_front();
    }
    if (!chunk.isEmpty())
        emit bytesOut(chunk);
    schedule();
}

void OutputPacer::schedule()
{
    if (queued.empty() || timer.isActive())
        return;
    timer.start(queued.front().endNs - nowNs());
}

void OutputPacer::drop()
{
    queued.clear();
    timer.stop();
    lineFreeNanoseconds = 0;
}
