// The logging category of the window; select it with QT_LOGGING_RULES="velmora.ui*".
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcUi)
