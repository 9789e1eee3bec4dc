// Where records go, from the command line, the environment and the settings.
#include "JournalConfig.h"

#include <QDir>
#include <QRegularExpression>
#include <QSysInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

JournalConfig JournalConfig::resolve(const QString &uriOption)
{
    JournalConfig config;
    // The window's settings, also when velmora-cli reads them.
    const QSettings settings(QStringLiteral("Velmora"), QStringLiteral("Velmora"));
    config.sharedUri = uriOption;
    if (config.sharedUri.isEmpty())
        config.sharedUri = qEnvironmentVariable("VELMORA_JOURNAL");
    if (config.sharedUri.isEmpty())
        config.sharedUri = settings.value(QStringLiteral("journal/url")).toString();
    config.station = qEnvironmentVariable("VELMORA_STATION");
    if (config.station.isEmpty())
        config.station = settings.value(QStringLiteral("journal/station")).toString();
    if (config.station.isEmpty())
        config.station = QSysInfo::machineHostName();
    config.localPath = qEnvironmentVariable("VELMORA_JOURNAL_FILE");
    if (config.localPath.isEmpty()) {
        // The window's own data location; velmora-cli writes the same file.
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        config.localPath = QDir(data).filePath(QStringLiteral("Velmora/Velmora/journal.sqlite"));
    }
    return config;
}

QString JournalConfig::checkSharedUri(const QString &uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    if (!isConnectionUri(url))
        return QStringLiteral("not a postgresql:// connection URI: %1").arg(describe(uri));
    const QUrlQuery query(url);
    if (!url.password().isEmpty() || query.hasQueryItem(QStringLiteral("password")))
        return QStringLiteral("the journal URI carries a password; put it in ~/.pgpass (or PGPASSFILE, or a "
                              "service file) instead");
    return QString();
}

bool JournalConfig::isConnectionUri(const QUrl &url)
{
    return url.isValid() && (url.scheme() == QLatin1String("postgresql") || url.scheme() == QLatin1String("postgres"));
}

QString JournalConfig::describe(const QString &uri)
{
    // Worked on the text as given, so that a URI Qt cannot parse, or a libpq "key=value" string,
    // loses its password too: the user part's ":password@" (to the last '@': hiding more than
    // the password is better than showing part of it) and any password parameter.
    static const QRegularExpression userPassword(QStringLiteral(R"(^([A-Za-z][A-Za-z0-9+.-]*://[^/?#@:]*):.*@)"));
    static const QRegularExpression parameter(QStringLiteral(R"((\bpassword\s*=\s*)('[^']*'|[^&\s]*))"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString shown = uri;
    shown.replace(userPassword, QStringLiteral("\\1:***@"));
    shown.replace(parameter, QStringLiteral("\\1***"));
    return shown;
}
