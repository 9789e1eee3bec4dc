// Writing to the terminal: plain lines, JSON lines, and where the libraries' debug lines go.
#pragma once

#include <QJsonObject>
#include <QString>

namespace CliOutput {

// One line on standard output, flushed at once (scripts read it as it comes).
void line(const QString &text);
// Text as it stands (no newline added), flushed.
void raw(const QString &text);
// One line on standard error.
void error(const QString &text);
// One compact JSON object on one line of standard output.
void json(const QJsonObject &object);
// Whether standard output is a terminal.
bool isTerminal();
// Columns of the terminal (80 when unknown); a redrawn line must not wrap, or moving back up
// misses it.
int terminalColumns();

// Routes Qt's messages: warnings to standard error; debug lines only when VELMORA_CLI_DEBUG is
// set, except the calibration's step lines, which `showCalibrationSteps` prints as they pass.
void installMessageHandler();
// Shows the debug lines of every velmora category (--verbose) or only those asked for.
void setVerbose(bool verbose);
void setShowCalibrationSteps(bool show);

} // namespace CliOutput
