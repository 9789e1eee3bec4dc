// What the command line says of a check, shared by check and calibrate: the limits it takes,
// each measurement against them and the verdict, as lines or as JSON.
#pragma once

#include "CheckLimits.h"
#include "CheckOutcome.h"
#include "CliOptions.h"
#include "JournalRecord.h"

#include <QJsonObject>
#include <optional>

namespace CheckReport {

// The limits for the options' product: --limits FILE, else the machine's file, else the
// defaults. A file with a mistake is refused whole: nullopt, after "FILE:LINE: reason" on
// standard error.
std::optional<CheckLimits> limits(const CliOptions &options);

// A new record of `kind` for the command's one port: its product and the adapter's serial
// number, when the adapter is plugged in.
JournalRecord beginRecord(JournalRecord::Kind kind, const CliOptions &options);

// One line per measurement ("pass"/"FAIL", its words, value and limits), then the verdict and,
// when it did not pass, why and what to do.
void print(const CheckOutcome &outcome);

// The check as JSON: outcome word, face, samples and the measurements with their limits.
QJsonObject toJson(const CheckOutcome &outcome);

} // namespace CheckReport
