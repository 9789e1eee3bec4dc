// A growable circular buffer trimmed by time.
#include "SampleRing.h"

SampleRing::SampleRing(qint64 spanMs)
    : buffer(1024)
    , span(qMax<qint64>(1, spanMs))
{
}

void SampleRing::append(qint64 ms, const SensorReadout &r)
{
    if (count > 0 && ms < newest().ms)
        clear();
    while (count > 0 && ms - at(0).ms >= span) {
        head = (head + 1) & (qsizetype(buffer.size()) - 1);
        --count;
    }
    if (count == qsizetype(buffer.size()))
        grow();
    buffer[(head + count) & (qsizetype(buffer.size()) - 1)] = PlotSample{ms, r};
    ++count;
}

void SampleRing::clear()
{
    head = 0;
    count = 0;
}

void SampleRing::grow()
{
    // Only when more samples fall within the span than the buffer holds: a faster rate than planned for.
    std::vector<PlotSample> bigger(buffer.size() * 2);
    for (qsizetype i = 0; i < count; ++i)
        bigger[i] = at(i);
    buffer.swap(bigger);
    head = 0;
}
