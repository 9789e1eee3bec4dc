// A unit's serial as a barcode scanner or a script gives it.
#include "UnitSerial.h"

#include <QSettings>

QString UnitSerial::normalized(const QString &typed)
{
    const QString serial = typed.normalized(QString::NormalizationForm_KC).trimmed();
    if (serial.isEmpty() || serial.size() > MaxLength)
        return QString();
    for (const QChar c : serial) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7E)
            return QString();
    }
    return serial;
}

bool UnitSerial::required()
{
    return QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).value(QStringLiteral("station/require-serial"), false).toBool();
}
