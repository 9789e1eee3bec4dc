// A person holding the simulated gimbal: turns it to each face in turn during a calibration.
#pragma once

#include "ImuModel.h"

// Reacts to what the gimbal reports: after a cleared calibration state it places face 1, after
// each captured face it turns the gimbal (moving for a moment) to the next face, and after face 6
// it puts the gimbal down level and still for the gyroscope.
class SimulatedUser
{
public:
    SimulatedUser(ImuModel &imu, qint64 moveMs);

    void onCleared(qint64 nowMs);
    void onFaceCaptured(int face, qint64 nowMs);

private:
    ImuModel &imu;
    qint64 moveMs;
};
