// The logging category of the runtime protocol.
#include "StarsLog.h"

Q_LOGGING_CATEGORY(lcStars, "velmora.stars")
