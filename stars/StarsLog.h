// The logging category of the runtime protocol; select it with QT_LOGGING_RULES="velmora.stars*".
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcStars)
