// Converts raw accelerometer and gyroscope counts into the values the read-out shows.
#pragma once

#include <cstdint>

struct SensorReadout
{
    float ax, ay, az, amod; // g
    float gx, gy, gz, gmod; // degree/s

    // Acceleration at 4096 counts per g; rates at `gyroCountsPerDps`. The moduli are computed
    // from the unrounded components; every value is then rounded to single precision.
    static SensorReadout fromRaw(int16_t accX, int16_t accY, int16_t accZ, int16_t gyroX, int16_t gyroY,
                                 int16_t gyroZ, float gyroCountsPerDps);

    // The values as the window's read-out boxes show them: acceleration within ±10 g, rates
    // within ±2000 degree/s, the rate modulus within -32768..32767.
    SensorReadout clampedToTheBoxes() const;
};
