// The simulated inertial unit.
#include "ImuModel.h"

#include <algorithm>
#include <cmath>

namespace {

int16_t toCounts(double value)
{
    return int16_t(std::lround(std::clamp(value, -32768.0, 32767.0)));
}

double component(const Vector3 &v, int axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

// Noise amplitudes: small while still (well inside the host's tolerances), large while moving.
constexpr double kStillAccelNoiseG = 0.002;
constexpr double kShakeAccelG = 0.15;
constexpr double kStillGyroNoiseDps = 0.15;
constexpr double kMovingRateDps = 60.0;
constexpr double kStillMotionNoise = 12.0;
constexpr double kMovingMotion = 180.0;

} // namespace

ImuModel::ImuModel(double gyroCountsPerDegree, quint32 seed)
    : gyroScale(gyroCountsPerDegree)
    , random(seed)
    , from{0, 0, 1}
    , to{0, 0, 1}
{
}

void ImuModel::setOrientation(const Vector3 &gravity)
{
    from = to = gravity;
    moveStartMs = moveEndMs = 0;
}

void ImuModel::moveTo(const Vector3 &gravity, qint64 nowMs, qint64 durationMs)
{
    from = orientation(nowMs);
    to = gravity;
    moveStartMs = nowMs;
    moveEndMs = nowMs + std::max<qint64>(durationMs, 1);
}

void ImuModel::setShaking(bool shaking)
{
    shaken = shaking;
}

bool ImuModel::isStill(qint64 nowMs) const
{
    return !shaken && !(nowMs >= moveStartMs && nowMs < moveEndMs);
}

Vector3 ImuModel::orientation(qint64 nowMs) const
{
    // A hand turns the gimbal over quickly: the first half of a move still shows where it
    // came from, the second half where it is going.
    return nowMs < (moveStartMs + moveEndMs) / 2 ? from : to;
}

double ImuModel::noise(double amplitude)
{
    return std::uniform_real_distribution<double>(-amplitude, amplitude)(random);
}

int16_t ImuModel::accel(int axis, qint64 nowMs)
{
    const double amplitude = isStill(nowMs) ? kStillAccelNoiseG : kShakeAccelG;
    return toCounts((component(orientation(nowMs), axis) + noise(amplitude)) * CountsPerG);
}

int16_t ImuModel::gyro(int axis, qint64 nowMs)
{
    const double rate = isStill(nowMs) ? noise(kStillGyroNoiseDps)
                                       : (axis == 0 ? kMovingRateDps : 0.0) + noise(kMovingRateDps / 4);
    return toCounts(rate * gyroScale);
}

int16_t ImuModel::motion(qint64 nowMs)
{
    if (isStill(nowMs))
        return toCounts(noise(kStillMotionNoise));
    return toCounts(kMovingMotion + noise(kMovingMotion / 3));
}
