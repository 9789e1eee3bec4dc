// The figures of a check: from samples of the gimbal at rest to measurements against limits.
#pragma once

#include "AccelSample.h"
#include "CheckLimits.h"
#include "CheckOutcome.h"

#include <QList>
#include <array>
#include <cstdint>

// One reading of both sensors: the accelerometer (with the stillness rule the calibration
// applies) and the gyroscope's rate in degrees per second.
struct CheckSample
{
    AccelSample accel;
    std::array<double, 3> rate{0, 0, 0};

    // Raw register words: accelerometer at 4096 counts per g, gyroscope at `gyroCountsPerDps`.
    static CheckSample fromRaw(const std::array<int16_t, 3> &acc, const std::array<int16_t, 3> &gyro,
                               int16_t motion, double gyroCountsPerDps);
    // The current sensor words of the shared register table.
    static CheckSample fromRegisters(double gyroCountsPerDps);
};

namespace CheckMeasure {

// Fewer samples than this (about a second of polling) say nothing about the noise.
constexpr int MinSamples = 10;

// The face (1 to 6) whose target is nearest `mean` (g); 0 for a zero or non-finite vector.
int nearestFace(const std::array<double, 3> &mean);

// Judges `samples` against `limits`: NotStill (no measurements) when there are fewer than
// MinSamples or any of them was not still; otherwise the five measurements, in their fixed
// order, and Passed or Failed. A value that is not a number fails.
CheckOutcome judge(const QList<CheckSample> &samples, const CheckLimits &limits);

} // namespace CheckMeasure
