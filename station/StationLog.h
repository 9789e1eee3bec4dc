// Logging category of the station's engine ("velmora.station").
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcStation)
