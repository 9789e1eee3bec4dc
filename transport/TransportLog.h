// The logging category of the serial transport; select it with QT_LOGGING_RULES="velmora.transport*".
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcTransport)
