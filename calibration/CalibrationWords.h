// What the user is asked to do at each calibration step, in words; shared by the window and the
// command line so that both say the same thing.
#pragma once

#include <QString>

namespace CalibrationWords {

constexpr int FaceCount = 6;

// How to place the gimbal for accelerometer face `face` (1 to 6), translated in the context
// "CalibrationWords"; empty outside 1 to 6. It matches the step's picture: the device axis
// that the face reads (+X, -X, +Y, -Y, +Z, -Z; X is the lens, Y the left, Z the handle's top)
// points up.
QString placement(int face);

// The placement with where the user is: "Face 3 of 6: ...". Empty outside 1 to 6.
QString faceStep(int face);

// The gyroscope step: the gimbal must rest without moving.
QString gyroscopeStep();

} // namespace CalibrationWords
