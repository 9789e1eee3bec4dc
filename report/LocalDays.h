// The local day of a moment in a time zone, with the zone looked up once per offset period.
#pragma once

#include <QList>
#include <QTimeZone>

class LocalDays
{
public:
    explicit LocalDays(const QTimeZone &zone)
        : zone(zone)
    {
    }

    // The local day of `ms` (milliseconds since 1970, UTC), counted in days from 1970-01-01.
    qint64 dayOf(qint64 ms);

private:
    // A span of time over which the zone keeps one offset from UTC: [from, until).
    struct Period
    {
        qint64 from;
        qint64 until;
        qint64 offsetMs;
    };

    QTimeZone zone;
    // The periods met so far; a journal's span holds only a few (two a year with summer time).
    QList<Period> periods;
};
