// What the user is asked to do at each calibration step, in words; shared by the window and the
// command line so that both say the same thing.
#pragma once

#include "CheckOutcome.h"

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

// The check's words, translated in the context "CheckWords".

// A measurement's name for people: "Gyroscope bias" for "gyro_bias"; `name` itself if unknown.
QString measurementName(const QString &name);
// A unit for people: "°/s" for "deg/s", "°" for "deg", "g".
QString unitText(const QString &unit);
// One measurement with its value and limits: "Gyroscope bias: 0.82 °/s (limits 0.00 to 0.50 °/s)".
QString measurementLine(const CheckMeasurement &measurement);
// The check is waiting for stillness / taking its samples.
QString checkWaiting();
QString checkMeasuring();
// The verdict: "Calibration looks good" or "Calibration needed".
QString checkVerdict(bool passed);
// Why a check did not pass: the first failing measurement with its value and limits, or that
// the gimbal never kept still, stopped answering or the check was cancelled. Empty when it passed.
QString checkFailed(const CheckOutcome &outcome);
// What to do after a failed check: calibrate again on a firm, level surface; a second failure
// points at the sensor.
QString checkHint();

} // namespace CalibrationWords
