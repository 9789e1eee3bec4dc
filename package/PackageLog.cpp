// Logging category of the package door.
#include "PackageLog.h"

Q_LOGGING_CATEGORY(lcPackage, "velmora.package")
