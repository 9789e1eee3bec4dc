// The columns of a recorded read-out, shared by the window's recorder and `velmora-cli monitor
// --csv`: time in seconds, the three rates (degree/s), the three accelerations (g), then the
// rate and acceleration moduli. Values are rounded to the read-out boxes' decimals but not
// clamped to their ranges: a recording keeps what the sensor said.
#pragma once

#include "SensorReadout.h"

#include <QByteArray>

namespace SensorCsv {

// The header line, without line end.
QByteArray header();

// One row for a sample taken `seconds` after the recording started, without line end. The
// decimal separator is always '.', whatever the locale.
QByteArray row(double seconds, const SensorReadout &r);

} // namespace SensorCsv
