// Logging category of the firmware update subsystem.
#include "UpdateLog.h"

Q_LOGGING_CATEGORY(lcUpdate, "velmora.update")
