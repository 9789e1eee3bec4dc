// Logging category of the command-line program.
#include "CliLog.h"

Q_LOGGING_CATEGORY(lcCli, "velmora.cli")
