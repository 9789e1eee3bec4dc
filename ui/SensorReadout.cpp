#include "SensorReadout.h"

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
