// velmora-cli journal: lists the records, sends what waits, says where records go, makes the tables.
#pragma once

#include "CliOptions.h"
#include "JournalStore.h"

namespace JournalCommand {
int run(const CliOptions &options);
// The records the options' filters keep (--since, --until, --cpuid, --serial, --outcome,
// --station, --kind), without a limit: for the listing and the report alike.
JournalFilter filterOf(const CliOptions &options);
}
