// The index parser: every field checked for type and form before any of it is believed.
#include "CatalogueIndex.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>

#include <cmath>

namespace {

// A JSON number is a double: only whole numbers exactly representable are counts.
bool wholeNumber(const QJsonValue &value, qint64 low, qint64 high, qint64 *out)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || number < double(low) || number > double(high))
        return false;
    *out = qint64(number);
    return true;
}

bool hexCode(const QJsonValue &value, uint16_t *code)
{
    static const QRegularExpression form(QStringLiteral("^[0-9A-F]{4}$"));
    if (!value.isString() || !form.match(value.toString()).hasMatch())
        return false;
    *code = uint16_t(value.toString().toUInt(nullptr, 16));
    return true;
}

bool timestamp(const QJsonValue &value, QDateTime *out)
{
    if (!value.isString())
        return false;
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODate);
    if (!time.isValid())
        return false;
    *out = time.toUTC();
    return true;
}

bool fail(QString *why, const QString &text)
{
    if (why)
        *why = text;
    return false;
}

bool parseRelease(const QJsonObject &object, CatalogueRelease *release, QString *why)
{
    static const QRegularExpression channelForm(QStringLiteral("^[a-z0-9][a-z0-9-]{0,31}$"));
    static const QRegularExpression digestForm(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    const QJsonValue version = object.value(QLatin1String("version"));
    if (!version.isString() || !CatalogueVersions::valid(version.toString()))
        return fail(why, QStringLiteral("no version of the form 1.07"));
    release->version = version.toString();
    const QString name = QStringLiteral("release %1: ").arg(release->version);
    const QJsonValue channel = object.value(QLatin1String("channel"));
    if (!channel.isString() || !channelForm.match(channel.toString()).hasMatch())
        return fail(why, name + QStringLiteral("no channel"));
    release->channel = channel.toString();
    const QJsonValue released = object.value(QLatin1String("released"));
    if (!released.isUndefined()) {
        release->released = QDate::fromString(released.toString(), Qt::ISODate);
        if (!released.isString() || !release->released.isValid())
            return fail(why, name + QStringLiteral("released is not a date"));
    }
    if (!hexCode(object.value(QLatin1String("arch")), &release->arch))
        return fail(why, name + QStringLiteral("arch is not four upper-case hex digits"));
    const QJsonValue images = object.value(QLatin1String("images"));
    if (!images.isArray() || images.toArray().isEmpty() || images.toArray().size() > 15)
        return fail(why, name + QStringLiteral("images is not a list of 1 to 15 chips"));
    for (const QJsonValue &entry : images.toArray()) {
        CatalogueImage image;
        const QJsonValue firmware = entry.toObject().value(QLatin1String("firmware"));
        if (!entry.isObject() || !hexCode(entry.toObject().value(QLatin1String("hardware")), &image.hardware))
            return fail(why, name + QStringLiteral("an image's hardware is not four upper-case hex digits"));
        if (!firmware.isString() || !CatalogueVersions::valid(firmware.toString()))
            return fail(why, name + QStringLiteral("an image's firmware is not a version"));
        image.firmware = firmware.toString();
        release->images.append(image);
    }
    const QJsonValue package = object.value(QLatin1String("package"));
    if (!package.isString() || package.toString().isEmpty() || package.toString().size() > 2048)
        return fail(why, name + QStringLiteral("no package"));
    for (const QChar c : package.toString()) {
        if (c.category() == QChar::Other_Control)
            return fail(why, name + QStringLiteral("the package name holds a control character"));
    }
    release->package = package.toString();
    if (!wholeNumber(object.value(QLatin1String("size")), 1, 64LL * 1024 * 1024, &release->size))
        return fail(why, name + QStringLiteral("size is not a whole number of bytes up to 64 MiB"));
    const QJsonValue sha256 = object.value(QLatin1String("sha256"));
    if (!sha256.isString() || !digestForm.match(sha256.toString()).hasMatch())
        return fail(why, name + QStringLiteral("sha256 is not 64 hex digits"));
    release->sha256 = QByteArray::fromHex(sha256.toString().toLatin1());
    const QJsonValue notes = object.value(QLatin1String("notes"));
    if (!notes.isUndefined()) {
        if (!notes.isObject())
            return fail(why, name + QStringLiteral("notes is not an object"));
        const QJsonObject texts = notes.toObject();
        for (auto it = texts.begin(); it != texts.end(); ++it) {
            if (!it.value().isString())
                return fail(why, name + QStringLiteral("a note is not text"));
            release->notes.insert(it.key(), it.value().toString());
        }
    }
    return true;
}

} // namespace

bool CatalogueIndex::parse(const QByteArray &bytes, CatalogueIndex *index, QString *why)
{
    if (bytes.size() > SizeLimit)
        return fail(why, QStringLiteral("larger than 1 MiB"));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return fail(why, QStringLiteral("not a JSON object"));
    const QJsonObject root = document.object();
    CatalogueIndex result;
    qint64 format = 0;
    if (!wholeNumber(root.value(QLatin1String("format")), 0, 1LL << 31, &format))
        return fail(why, QStringLiteral("no format number"));
    if (format != 1)
        return fail(why, QStringLiteral("format %1 is not understood by this program (it reads format 1)").arg(format));
    result.format = int(format);
    if (!wholeNumber(root.value(QLatin1String("sequence")), 0, 1LL << 53, &result.sequence))
        return fail(why, QStringLiteral("no sequence number"));
    if (!timestamp(root.value(QLatin1String("published")), &result.published))
        return fail(why, QStringLiteral("published is not a time"));
    const QJsonValue expires = root.value(QLatin1String("expires"));
    if (!expires.isUndefined() && !timestamp(expires, &result.expires))
        return fail(why, QStringLiteral("expires is not a time"));
    const QJsonValue releases = root.value(QLatin1String("releases"));
    if (!releases.isArray())
        return fail(why, QStringLiteral("no list of releases"));
    for (const QJsonValue &entry : releases.toArray()) {
        if (!entry.isObject())
            return fail(why, QStringLiteral("a release is not an object"));
        CatalogueRelease release;
        if (!parseRelease(entry.toObject(), &release, why))
            return false;
        result.releases.append(release);
    }
    *index = result;
    return true;
}

QString CatalogueRelease::notesFor(const QString &language) const
{
    for (const QString &key : {language, language.section(QLatin1Char('_'), 0, 0), QStringLiteral("en")}) {
        if (notes.contains(key))
            return notes.value(key);
    }
    return notes.isEmpty() ? QString() : notes.first();
}

bool CatalogueVersions::valid(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,6}(\\.[0-9]{1,6}){0,3}$"));
    return form.match(text).hasMatch();
}

int CatalogueVersions::compare(const QString &a, const QString &b)
{
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < qMax(left.size(), right.size()); ++i) {
        const qint64 x = i < left.size() ? left[i].toLongLong() : 0;
        const qint64 y = i < right.size() ? right[i].toLongLong() : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

QString CatalogueVersions::fromCode(uint16_t firmware)
{
    return QStringLiteral("%1.%2").arg(firmware / 100).arg(firmware % 100, 2, 10, QLatin1Char('0'));
}
