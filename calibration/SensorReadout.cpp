// Converts raw sensor counts into the values the read-out shows.
#include "SensorReadout.h"

#include <QtGlobal>
#include <cmath>

SensorReadout SensorReadout::fromRaw(int16_t accX, int16_t accY, int16_t accZ, int16_t gyroX, int16_t gyroY,
                                     int16_t gyroZ, float gyroCountsPerDps)
{
    constexpr float kGPerCount = 1.0f / 4096.0f;
    const double ax = accX * kGPerCount;
    const double ay = accY * kGPerCount;
    const double az = accZ * kGPerCount;
    const double gx = gyroX / gyroCountsPerDps;
    const double gy = gyroY / gyroCountsPerDps;
    const double gz = gyroZ / gyroCountsPerDps;
    return SensorReadout{float(ax),
                         float(ay),
                         float(az),
                         float(std::sqrt(ax * ax + ay * ay + az * az)),
                         float(gx),
                         float(gy),
                         float(gz),
                         float(std::sqrt(gx * gx + gy * gy + gz * gz))};
}

SensorReadout SensorReadout::clampedToTheBoxes() const
{
    const auto acc = [](float v) { return qBound(-10.0f, v, 10.0f); };
    const auto rate = [](float v) { return qBound(-2000.0f, v, 2000.0f); };
    return SensorReadout{acc(ax), acc(ay), acc(az), acc(amod),
                         rate(gx), rate(gy), rate(gz), qBound(-32768.0f, gmod, 32767.0f)};
}
