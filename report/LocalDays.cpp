// Local days from a zone's offset periods: one zone lookup per period rather than per moment.
#include "LocalDays.h"

#include <limits>

namespace {

constexpr qint64 DayMs = 86400000;

// Division that rounds towards minus infinity, so that a moment before 1970 gets its own day.
qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b < 0 ? 1 : 0);
}

} // namespace

qint64 LocalDays::dayOf(qint64 ms)
{
    for (const Period &p : periods)
        if (ms >= p.from && ms < p.until)
            return floorDiv(ms + p.offsetMs, DayMs);
    // The period holding `ms` runs from the last change of offset at or before it to the next
    // change after it (without one, from or to the end of time).
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
    const QTimeZone::OffsetData before = zone.previousTransition(at.addMSecs(1));
    const QTimeZone::OffsetData after = zone.nextTransition(at);
    const qint64 from = before.atUtc.isValid() ? before.atUtc.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    const qint64 until = after.atUtc.isValid() ? after.atUtc.toMSecsSinceEpoch() : std::numeric_limits<qint64>::max();
    // Held to contain `ms` whatever the zone's data says, so that the next lookup finds it.
    const Period period{qMin(from, ms), qMax(until, ms + 1), zone.offsetFromUtc(at) * qint64(1000)};
    periods.append(period);
    return floorDiv(ms + period.offsetMs, DayMs);
}
