// Hands a package to an update service as the faces do: through the package door.
#pragma once

#include "CheckedPackage.h"
#include "UpdateService.h"

// Opens `path` at the door (no signature required, no keys trusted) and hands over what it
// accepted; false, and nothing handed over, when the door refused the file.
inline bool givePackage(UpdateService &service, const QString &path)
{
    const PackageCheck check = CheckedPackage::open(path, false, {});
    if (check.accepted())
        service.packageRequest(*check.package);
    return check.accepted();
}
