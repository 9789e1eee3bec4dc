// Logging category of the command-line program ("velmora.cli").
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCli)
