// The simulated inertial unit: orientation as a gravity vector, movement, and noisy sensor counts.
#pragma once

#include <QtGlobal>
#include <cstdint>
#include <random>

// A vector in g (acceleration) or in the gimbal's axes.
struct Vector3
{
    double x = 0;
    double y = 0;
    double z = 0;
};

// Time is device time in milliseconds, passed in by the caller, so the model can be driven by
// a real clock or stepped by a test.
class ImuModel
{
public:
    static constexpr double CountsPerG = 4096.0;
    // |motion| above this (hundredths) means the gimbal is moving.
    static constexpr int StillMotionLimit = 30;

    ImuModel(double gyroCountsPerDegree, quint32 seed);

    // Puts the gimbal down in `gravity` at once, still.
    void setOrientation(const Vector3 &gravity);
    // Carries the gimbal to `gravity` over `durationMs` starting at `nowMs`; it moves meanwhile.
    void moveTo(const Vector3 &gravity, qint64 nowMs, qint64 durationMs);
    // Keeps the gimbal moving (shaken by hand) until cleared.
    void setShaking(bool shaking);

    bool isStill(qint64 nowMs) const;
    // The settled gravity vector at `nowMs` (the target once a move has passed its middle).
    Vector3 orientation(qint64 nowMs) const;

    int16_t accel(int axis, qint64 nowMs);
    int16_t gyro(int axis, qint64 nowMs);
    int16_t motion(qint64 nowMs);

private:
    double noise(double amplitude);

    double gyroScale;
    std::mt19937 random;
    Vector3 from;
    Vector3 to;
    qint64 moveStartMs = 0;
    qint64 moveEndMs = 0;
    bool shaken = false;
};
