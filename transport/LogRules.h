// Which log lines a program shows by default: warnings always, debug lines only when asked for.
#pragma once

#include <QString>
#include <QStringList>

namespace LogRules {

// The rules for the programs' own start: every debug line off, or with `verbose` the lines
// of the program's own categories (velmora.*) on. QT_LOGGING_RULES is applied by Qt after these
// and so always wins; tests set their own rules with QLoggingCategory::setFilterRules.
QString defaultRules(bool verbose, const QStringList &extraDebugCategories = {});
void apply(bool verbose, const QStringList &extraDebugCategories = {});

} // namespace LogRules
