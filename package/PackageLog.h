// Logging category of the package door ("velmora.package").
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPackage)
