#include "LogRules.h"

#include <QLoggingCategory>

namespace LogRules {

QString defaultRules(bool verbose, const QStringList &extraDebugCategories)
{
    QStringList rules{QStringLiteral("*.debug=false")};
    if (verbose)
        rules.append(QStringLiteral("velmora.*.debug=true"));
    for (const QString &category : extraDebugCategories)
        rules.append(category + QStringLiteral(".debug=true"));
    return rules.join(QLatin1Char('\n'));
}

void apply(bool verbose, const QStringList &extraDebugCategories)
{
    QLoggingCategory::setFilterRules(defaultRules(verbose, extraDebugCategories));
}

} // namespace LogRules
