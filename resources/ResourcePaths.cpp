#include "ResourcePaths.h"

#include <QStringList>

namespace ResourcePaths {

QString stepPicture(const QString &set, int face)
{
    return QStringLiteral(":/image/%1/%2.svg").arg(set).arg(face);
}

const QStringList &pictureSets()
{
    static const QStringList sets = {
        QStringLiteral("2-axis"), QStringLiteral("3-axis"), QStringLiteral("birch"), QStringLiteral("birch2"),
        QStringLiteral("cedar"),  QStringLiteral("ember"),  QStringLiteral("ember2"), QStringLiteral("phone"),
    };
    return sets;
}

} // namespace ResourcePaths
