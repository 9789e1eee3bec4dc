// The journal's debug category, quiet unless asked for.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcJournal)
