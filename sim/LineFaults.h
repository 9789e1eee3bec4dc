// Faults of the simulated line: dropped, corrupted and stray bytes, drawn from a seeded generator.
#pragma once

#include <QByteArray>
#include <random>

class LineFaults
{
public:
    explicit LineFaults(quint32 seed = 1) : random(seed) {}

    // Probabilities per byte, 0 to 1.
    void setDropRate(double rate) { dropRate = rate; }
    void setCorruptRate(double rate) { corruptRate = rate; }
    double dropRateValue() const { return dropRate; }
    double corruptRateValue() const { return corruptRate; }

    // `bytes` as the other end receives them: some left out, some with flipped bits.
    QByteArray apply(const QByteArray &bytes);

    // One to four bytes of noise, none of them a bootloader frame's start byte, so that noise
    // alone never begins a frame.
    QByteArray strayBytes();

private:
    std::mt19937 random;
    double dropRate = 0;
    double corruptRate = 0;
};
