#include "PortChoice.h"

#include <QStringList>

namespace PortChoice {

QList<PortInfo> adapters(const QList<PortInfo> &listing)
{
    QList<PortInfo> found;
    for (const PortInfo &info : listing)
        if (isGimbalAdapter(info))
            found.append(info);
    return found;
}

QString onlyAdapter(const QList<PortInfo> &listing, QString *reason)
{
    const QList<PortInfo> found = adapters(listing);
    if (found.size() == 1)
        return found.first().portName;
    if (found.isEmpty()) {
        *reason = QStringLiteral("--port is required: no gimbal adapter found");
    } else {
        QStringList names;
        for (const PortInfo &info : found)
            names.append(info.portName);
        *reason = QStringLiteral("--port is required: %1 gimbal adapters are listed (%2)")
                      .arg(found.size())
                      .arg(names.join(QStringLiteral(", ")));
    }
    return QString();
}

} // namespace PortChoice
