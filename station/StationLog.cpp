// Logging category of the station's engine.
#include "StationLog.h"

Q_LOGGING_CATEGORY(lcStation, "velmora.station")
