// How velmora-cli reports a port that cannot be opened: text, exit status and JSON value.
#pragma once

#include "SerialPort.h"

#include <QString>

namespace PortOpenFailure {

// The window's status text for the reason, in English.
QString text(SerialPort::OpenError reason);
// ExitCode::CannotOpen for a port that exists but refused; NoAnswer for one that is missing.
int exitCode(SerialPort::OpenError reason);
// The value of the "openError" field of the JSON output: "permission-denied", "in-use",
// "not-found", "other"; empty for None.
QString jsonName(SerialPort::OpenError reason);

} // namespace PortOpenFailure
