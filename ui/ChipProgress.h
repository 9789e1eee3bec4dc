// Turns the update's per-chip progress into words: which chip of how many, about how long is
// left, or that a chip already held its image.
#pragma once

#include <QElapsedTimer>
#include <QString>

class ChipProgress
{
public:
    // A write of `chipCount` chips starts.
    void start(int chipCount);
    void stop();
    // The chip list arrived after the write was asked for.
    void setChipCount(int chipCount) { chips = chipCount; }
    bool running() const { return active; }

    // One progress report (0 to 1000 for the chip being written); returns the text to show.
    // A chip starts with the first report after the previous chip reached 1000; a chip whose
    // first report is already 1000 was skipped, its image being in place.
    QString report(int perMille);

private:
    QElapsedTimer chipClock;
    int chips = 0;
    int chip = 0;
    int last = 1000;
    bool active = false;
};
