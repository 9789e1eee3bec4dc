// Parsers for the values velmora-ptz takes on its command line.
#include "PtzArguments.h"

#include <QRegularExpression>

namespace PtzArguments {

bool parseHex16(const QString &text, uint16_t *value)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:0[xX])?([0-9A-Fa-f]{1,4})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    *value = uint16_t(match.captured(1).toUInt(nullptr, 16));
    return true;
}

bool parseDecimal16(const QString &text, uint16_t *value)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{1,5}$"));
    if (!pattern.match(text).hasMatch())
        return false;
    const uint number = text.toUInt();
    if (number > 0xFFFF)
        return false;
    *value = uint16_t(number);
    return true;
}

bool parseDecimal8(const QString &text, uint8_t *value)
{
    uint16_t wide = 0;
    if (!parseDecimal16(text, &wide) || wide > 0xFF)
        return false;
    *value = uint8_t(wide);
    return true;
}

bool parseVersion(const QString &text, uint16_t *value)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,3})(?:\\.([0-9]{1,2}))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    uint hundredths = match.captured(1).toUInt() * 100;
    const QString fraction = match.captured(2);
    if (!fraction.isEmpty())
        hundredths += fraction.size() == 1 ? fraction.toUInt() * 10 : fraction.toUInt();
    if (hundredths > 0xFFFF)
        return false;
    *value = uint16_t(hundredths);
    return true;
}

bool parseImageArgument(const QString &text, ImageArgument *image, QString *error)
{
    const qsizetype first = text.indexOf(QLatin1Char(':'));
    const qsizetype second = first < 0 ? -1 : text.indexOf(QLatin1Char(':'), first + 1);
    if (second < 0) {
        *error = QStringLiteral("--image wants HW:VERSION:FILE, got '%1'").arg(text);
        return false;
    }
    const QString hardware = text.left(first);
    const QString version = text.mid(first + 1, second - first - 1);
    const QString file = text.mid(second + 1);
    if (!parseHex16(hardware, &image->hardware)) {
        *error = QStringLiteral("hardware code '%1' in --image is not a 16-bit hexadecimal number").arg(hardware);
        return false;
    }
    if (!parseVersion(version, &image->firmware)) {
        *error = QStringLiteral("version '%1' in --image is not a version like 1.05 from 0 to 655.35").arg(version);
        return false;
    }
    if (file.isEmpty()) {
        *error = QStringLiteral("--image '%1' names no file").arg(text);
        return false;
    }
    image->file = file;
    return true;
}

} // namespace PtzArguments
