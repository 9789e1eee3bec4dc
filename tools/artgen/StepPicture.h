// Draws one calibration step: the product resting in one of its six orientations, with a down arrow.
#pragma once

#include "Drawing.h"

#include <QMatrix4x4>
#include <QString>

namespace StepPicture {

// Face 1..6: the accelerometer reads +1 g along the device's +X, -X, +Y, -Y, +Z, -Z axis,
// which then points up.
Drawing draw(const QString &set, int face, const QSizeF &viewBox);

// The rotation from device axes to world axes (+Y up) that rests the device for `face`.
QMatrix4x4 restingPose(int face);

} // namespace StepPicture
