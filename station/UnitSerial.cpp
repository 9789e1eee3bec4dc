// A unit's serial as a barcode scanner or a script gives it.
#include "UnitSerial.h"

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
