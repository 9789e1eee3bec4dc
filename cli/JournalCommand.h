// velmora-cli journal: lists the records, sends what waits, says where records go, makes the tables.
#pragma once

#include "CliOptions.h"

namespace JournalCommand {
int run(const CliOptions &options);
}
