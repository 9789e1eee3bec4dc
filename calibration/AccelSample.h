// One accelerometer sample in g and the stillness and placement tests the calibration applies to it.
#pragma once

#include <array>
#include <cstdint>

// A direction in g, as single-precision components.
struct FaceTarget
{
    float x;
    float y;
    float z;
};

// Where gravity points for accelerometer faces 1 to 6 (index 0 is face 1).
constexpr std::array<FaceTarget, 6> faceTargets{{
    {+1.0f, 0.0f, 0.0f},
    {-1.0f, 0.0f, 0.0f},
    {0.0f, +1.0f, 0.0f},
    {0.0f, -1.0f, 0.0f},
    {0.0f, 0.0f, +1.0f},
    {0.0f, 0.0f, -1.0f},
}};

struct AccelSample
{
    float ax = 0.0f;   // acceleration in g
    float ay = 0.0f;
    float az = 0.0f;
    float amod = 0.0f; // length of (ax, ay, az) in g
    float motion = 0.0f;

    // Converts raw register words: 4096 counts per g, motion in hundredths.
    static AccelSample fromRaw(int16_t accX, int16_t accY, int16_t accZ, int16_t motion);
    // Takes the current accelerometer and motion words of the shared register table.
    static AccelSample fromRegisters();

    // Held still with only gravity acting: |motion| <= 0.3 and |amod - 1| <= 0.25.
    bool isStill() const;
    // Still and every axis within 0.3 g of the target direction.
    bool isPlacedAt(const FaceTarget &target) const;
};
