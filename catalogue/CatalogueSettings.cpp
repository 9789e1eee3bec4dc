// The catalogue's settings, shared by the window and the command line.
#include "CatalogueSettings.h"

#include <QSettings>

namespace {

// The window's settings file, whichever program reads it.
const QString Organisation = QStringLiteral("Velmora");
const QString UrlKey = QStringLiteral("catalogue/url");
const QString ChannelKey = QStringLiteral("catalogue/channel");

} // namespace

QString CatalogueSettings::location(const QString &override)
{
    if (!override.isEmpty())
        return override;
    const QString environment = qEnvironmentVariable("VELMORA_CATALOGUE");
    if (!environment.isEmpty())
        return environment;
    return QSettings(Organisation, Organisation).value(UrlKey).toString();
}

QString CatalogueSettings::channel()
{
    const QString value = QSettings(Organisation, Organisation).value(ChannelKey).toString();
    return value.isEmpty() ? QStringLiteral("stable") : value;
}

void CatalogueSettings::setLocation(const QString &location)
{
    QSettings(Organisation, Organisation).setValue(UrlKey, location);
}

void CatalogueSettings::setChannel(const QString &channel)
{
    QSettings(Organisation, Organisation).setValue(ChannelKey, channel);
}
