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

    // The update service's steps: chip `number` (from 1) is taken up, or was found to hold
    // its image already. Each returns the text to show.
    QString chipStarted(int number);
    QString chipUpToDate(int number);
    // One progress report (0 to 1000 for the chip being written); returns the text to show.
    QString report(int perMille);

private:
    QElapsedTimer chipClock;
    int chips = 0;
    int chip = 0;
    bool active = false;
};
