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

double &component(Vector3 &v, int axis)
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
constexpr double kNoisyAccelG = 0.05;     // fails an accel_noise limit of 0.01 g, faces still accepted
constexpr double kNeverStillMotion = 45.0; // 35 to 55 hundredths: always above the limit of 30

// The raw sensor's errors. Per axis the accelerometer's offset (0.02-0.04 g) and scale error
// (2-4 %) lean the same way, so lying on a face's upper side (as the gimbal rests, level) it
// reads 0.04-0.08 g off 1 g: a clear failure of a 0.97-1.03 g norm limit, yet plausible for a
// working firmware (0.9-1.1 g) and far inside the face placement rule (0.3 g per axis, 0.25 g
// on the modulus). Each gyroscope axis is 1-3 deg/s off, at least 1.7 deg/s in all: several
// times a 0.5 deg/s bias limit.
constexpr double kOffsetG[2] = {0.02, 0.04};
constexpr double kScaleError[2] = {0.02, 0.04};
constexpr double kGyroBiasDps[2] = {1.0, 3.0};
// The gyro-drift fault: after the gyroscope step the bias creeps away this fast, up to a limit.
constexpr double kDriftDpsPerSecond = 0.5;
constexpr double kDriftLimitDps = 3.0;
// Raw readings averaged by a face capture and by the gyroscope step.
constexpr int kCalibrationSamples = 64;

ImuCalibration drawErrors(quint32 seed)
{
    // A generator of its own, so the errors do not shift the noise that follows.
    std::mt19937 draw(seed ^ 0x5EED5EEDu);
    const auto between = [&draw](const double range[2]) {
        return std::uniform_real_distribution<double>(range[0], range[1])(draw);
    };
    ImuCalibration errors;
    for (int axis = 0; axis < 3; ++axis) {
        const double sign = std::bernoulli_distribution(0.5)(draw) ? 1.0 : -1.0;
        component(errors.accelOffset, axis) = sign * between(kOffsetG);
        component(errors.accelScale, axis) = 1.0 + sign * between(kScaleError);
        const double gyroSign = std::bernoulli_distribution(0.5)(draw) ? 1.0 : -1.0;
        component(errors.gyroBias, axis) = gyroSign * between(kGyroBiasDps);
    }
    return errors;
}

} // namespace

ImuModel::ImuModel(double gyroCountsPerDegree, quint32 seed, bool calibrated, ImuFault fault)
    : gyroScale(gyroCountsPerDegree)
    , random(seed)
    , imuFault(fault)
    , errors(drawErrors(seed))
    , applied(calibrated ? errors : ImuCalibration{})
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

bool ImuModel::resting(qint64 nowMs) const
{
    return !shaken && !(nowMs >= moveStartMs && nowMs < moveEndMs);
}

bool ImuModel::isStill(qint64 nowMs) const
{
    return imuFault != ImuFault::NeverStill && resting(nowMs);
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

double ImuModel::rawAccel(int axis, qint64 nowMs)
{
    const double still = imuFault == ImuFault::NoisyAccel ? kNoisyAccelG : kStillAccelNoiseG;
    const double amplitude = resting(nowMs) ? still : kShakeAccelG;
    return component(orientation(nowMs), axis) * component(errors.accelScale, axis)
           + component(errors.accelOffset, axis) + noise(amplitude);
}

double ImuModel::gyroDrift(int axis, qint64 nowMs) const
{
    if (driftFromMs < 0)
        return 0.0;
    const double drift = std::min(kDriftDpsPerSecond * double(nowMs - driftFromMs) / 1000.0, kDriftLimitDps);
    return std::copysign(drift, component(errors.gyroBias, axis));
}

double ImuModel::rawGyro(int axis, qint64 nowMs)
{
    const double rate = resting(nowMs) ? noise(kStillGyroNoiseDps)
                                       : (axis == 0 ? kMovingRateDps : 0.0) + noise(kMovingRateDps / 4);
    return rate + component(errors.gyroBias, axis) + gyroDrift(axis, nowMs);
}

int16_t ImuModel::accel(int axis, qint64 nowMs)
{
    const double corrected = (rawAccel(axis, nowMs) - component(applied.accelOffset, axis)) / component(applied.accelScale, axis);
    return toCounts(corrected * CountsPerG);
}

int16_t ImuModel::gyro(int axis, qint64 nowMs)
{
    return toCounts((rawGyro(axis, nowMs) - component(applied.gyroBias, axis)) * gyroScale);
}

int16_t ImuModel::motion(qint64 nowMs)
{
    if (!resting(nowMs))
        return toCounts(kMovingMotion + noise(kMovingMotion / 3));
    if (imuFault == ImuFault::NeverStill)
        return toCounts(kNeverStillMotion + noise(10.0));
    return toCounts(noise(kStillMotionNoise));
}

void ImuModel::captureFace(int face, qint64 nowMs)
{
    if (face < 1 || face > 6)
        return;
    Vector3 mean;
    for (int axis = 0; axis < 3; ++axis) {
        double sum = 0;
        for (int i = 0; i < kCalibrationSamples; ++i)
            sum += rawAccel(axis, nowMs);
        component(mean, axis) = sum / kCalibrationSamples;
    }
    faceMeans[size_t(face - 1)] = mean;
}

void ImuModel::solve()
{
    // Face 2k+1 points axis k up, face 2k+2 down: their mean is the offset, half their
    // difference the scale.
    for (int axis = 0; axis < 3; ++axis) {
        const double plus = component(faceMeans[size_t(2 * axis)], axis);
        const double minus = component(faceMeans[size_t(2 * axis + 1)], axis);
        component(applied.accelOffset, axis) = (plus + minus) / 2;
        component(applied.accelScale, axis) = (plus - minus) / 2;
    }
}

void ImuModel::calibrateGyro(qint64 nowMs)
{
    for (int axis = 0; axis < 3; ++axis) {
        double sum = 0;
        for (int i = 0; i < kCalibrationSamples; ++i)
            sum += rawGyro(axis, nowMs);
        component(applied.gyroBias, axis) = sum / kCalibrationSamples;
    }
    if (imuFault == ImuFault::GyroDrift) {
        // The creep so far becomes part of the sensor's bias, and creeps on from here.
        for (int axis = 0; axis < 3; ++axis)
            component(errors.gyroBias, axis) += gyroDrift(axis, nowMs);
        driftFromMs = nowMs;
    }
}
