#include "AccelSample.h"

#include "RegisterTable.h"

#include <cmath>

namespace {

// The gimbal is judged in single precision; the bounds themselves are inclusive.
constexpr float kMaxMotion = 0.3f;
constexpr float kMaxGravityError = 0.25f;
constexpr float kMaxAxisError = 0.3f;
constexpr double kCountsPerG = 4096.0;

} // namespace

AccelSample AccelSample::fromRaw(int16_t accX, int16_t accY, int16_t accZ, int16_t motion)
{
    const double x = accX / kCountsPerG;
    const double y = accY / kCountsPerG;
    const double z = accZ / kCountsPerG;

    AccelSample sample;
    sample.ax = float(x);
    sample.ay = float(y);
    sample.az = float(z);
    // The magnitude comes from the unrounded components, then is rounded like the rest.
    sample.amod = float(std::sqrt(x * x + y * y + z * z));
    sample.motion = float(motion / 100.0);
    return sample;
}

AccelSample AccelSample::fromRegisters()
{
    // Qualified: `motion` alone would name this struct's member.
    return fromRaw(registerTable[RegisterIndex::accX].signedValue(),
                   registerTable[RegisterIndex::accY].signedValue(),
                   registerTable[RegisterIndex::accZ].signedValue(),
                   registerTable[RegisterIndex::motion].signedValue());
}

bool AccelSample::isStill() const
{
    return std::fabs(motion) <= kMaxMotion && std::fabs(amod - 1.0f) <= kMaxGravityError;
}

bool AccelSample::isPlacedAt(const FaceTarget &target) const
{
    return isStill() && std::fabs(ax - target.x) <= kMaxAxisError
        && std::fabs(ay - target.y) <= kMaxAxisError && std::fabs(az - target.z) <= kMaxAxisError;
}
