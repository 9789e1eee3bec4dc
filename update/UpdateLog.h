// Logging category of the firmware update subsystem ("velmora.update").
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcUpdate)
