// The simulated inertial unit: orientation as a gravity vector, movement, and noisy sensor counts
// from a raw sensor with errors of its own, corrected by the gimbal's current calibration.
#pragma once

#include <QtGlobal>
#include <array>
#include <cstdint>
#include <random>

// A vector in g (acceleration) or in the gimbal's axes.
struct Vector3
{
    double x = 0;
    double y = 0;
    double z = 0;
};

// A sensor that misbehaves after (or despite) a calibration, to prove the host's check catches it.
enum class ImuFault {
    None,
    SaveNotKept, // a save is acknowledged, but the gimbal goes back to the calibration it had
    GyroDrift,   // after the gyroscope step the rate's bias creeps away again
    NoisyAccel,  // still accelerometer noise of +-0.05 g
    NeverStill,  // motion always above the stillness limit
};

// A raw sensor's errors, or the calibration that removes them: per axis the accelerometer reads
// true * scale + offset (g) and the gyroscope true + bias (deg/s).
struct ImuCalibration
{
    Vector3 accelOffset;
    Vector3 accelScale{1, 1, 1};
    Vector3 gyroBias;
};

// Time is device time in milliseconds, passed in by the caller, so the model can be driven by
// a real clock or stepped by a test.
class ImuModel
{
public:
    static constexpr double CountsPerG = 4096.0;
    // |motion| above this (hundredths) means the gimbal is moving.
    static constexpr int StillMotionLimit = 30;

    // The sensor's errors follow from `seed` alone: the same seed gives the same gimbal.
    // It starts corrected for them when `calibrated`, raw otherwise.
    ImuModel(double gyroCountsPerDegree, quint32 seed, bool calibrated = false, ImuFault fault = ImuFault::None);

    // Puts the gimbal down in `gravity` at once, still.
    void setOrientation(const Vector3 &gravity);
    // Carries the gimbal to `gravity` over `durationMs` starting at `nowMs`; it moves meanwhile.
    void moveTo(const Vector3 &gravity, qint64 nowMs, qint64 durationMs);
    // Keeps the gimbal moving (shaken by hand) until cleared.
    void setShaking(bool shaking);

    // Still as the firmware sees it (never, with the never-still fault).
    bool isStill(qint64 nowMs) const;
    // The settled gravity vector at `nowMs` (the target once a move has passed its middle).
    Vector3 orientation(qint64 nowMs) const;

    // Register values: the raw reading corrected by the current calibration.
    int16_t accel(int axis, qint64 nowMs);
    int16_t gyro(int axis, qint64 nowMs);
    int16_t motion(qint64 nowMs);

    // Calibration: a face capture keeps the raw accelerometer mean for face 1 to 6 (+X, -X, +Y,
    // -Y, +Z, -Z); the solve turns the six into offsets and scales and applies them; the
    // gyroscope step takes the raw rate at rest as the bias.
    void captureFace(int face, qint64 nowMs);
    void solve();
    void calibrateGyro(qint64 nowMs);

    const ImuCalibration &sensorErrors() const { return errors; }
    const ImuCalibration &calibration() const { return applied; }
    void setCalibration(const ImuCalibration &calibration) { applied = calibration; }
    ImuFault fault() const { return imuFault; }

private:
    double noise(double amplitude);
    bool resting(qint64 nowMs) const;
    double rawAccel(int axis, qint64 nowMs);
    double rawGyro(int axis, qint64 nowMs);
    double gyroDrift(int axis, qint64 nowMs) const;

    double gyroScale;
    std::mt19937 random;
    ImuFault imuFault;
    ImuCalibration errors;
    ImuCalibration applied;
    std::array<Vector3, 6> faceMeans{};
    qint64 driftFromMs = -1; // when the gyroscope step last ran, with the gyro-drift fault
    Vector3 from;
    Vector3 to;
    qint64 moveStartMs = 0;
    qint64 moveEndMs = 0;
    bool shaken = false;
};
