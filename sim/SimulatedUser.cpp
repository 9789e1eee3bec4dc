// A person holding the simulated gimbal.
#include "SimulatedUser.h"

#include "GimbalModel.h"

SimulatedUser::SimulatedUser(ImuModel &imu, qint64 moveMs)
    : imu(imu)
    , moveMs(moveMs)
{
}

void SimulatedUser::onCleared(qint64 nowMs)
{
    imu.moveTo(GimbalModel::faceOrientation(1), nowMs, moveMs);
}

void SimulatedUser::onFaceCaptured(int face, qint64 nowMs)
{
    const Vector3 level{0, 0, 1};
    imu.moveTo(face < 6 ? GimbalModel::faceOrientation(face + 1) : level, nowMs, moveMs);
}
