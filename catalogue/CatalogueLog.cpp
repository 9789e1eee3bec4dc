// The catalogue's debug lines.
#include "CatalogueLog.h"

Q_LOGGING_CATEGORY(lcCatalogue, "velmora.catalogue")
