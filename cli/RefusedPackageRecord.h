// The journal record of a package refused for its signature at flash or station.
#pragma once

#include "CheckedPackage.h"
#include "CliOptions.h"

class Journal;

namespace RefusedPackageRecord {
// Records that `package` was refused for its signature (no chips: no port was opened), so that
// a line's audit sees the attempt. Does nothing without a journal or for another refusal.
void write(Journal *journal, const CliOptions &options, const PackageCheck &package);
}
