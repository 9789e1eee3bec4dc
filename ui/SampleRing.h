// The read-out samples of the last few seconds, oldest first, for the sensor plot. Samples are
// kept by their time stamps, so the span stays right whatever the rate.
#pragma once

#include "SensorReadout.h"

#include <QtGlobal>
#include <vector>

struct PlotSample
{
    qint64 ms; // monotonic time stamp
    SensorReadout r;
};

class SampleRing
{
public:
    explicit SampleRing(qint64 spanMs = 10000);

    // Adds the newest sample and drops those `spanMs` or more older than it. A time stamp
    // older than the newest one (a clock that went back) starts the ring afresh.
    void append(qint64 ms, const SensorReadout &r);
    void clear();

    qsizetype size() const { return count; }
    bool isEmpty() const { return count == 0; }
    // Sample `i`, 0 being the oldest.
    const PlotSample &at(qsizetype i) const { return buffer[(head + i) & (buffer.size() - 1)]; }
    const PlotSample &newest() const { return at(count - 1); }
    qint64 spanMs() const { return span; }

private:
    void grow();

    std::vector<PlotSample> buffer; // a power of two long; head + i wraps with a mask
    qsizetype head = 0;
    qsizetype count = 0;
    qint64 span;
};
