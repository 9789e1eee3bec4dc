// English words for the catalogue's reason values.
#include "CatalogueWords.h"

QString CatalogueWords::reason(CatalogueReason reason)
{
    switch (reason) {
    case CatalogueReason::None:
        return {};
    case CatalogueReason::Signature:
        return QStringLiteral("the catalogue's signature does not hold");
    case CatalogueReason::Rollback:
        return QStringLiteral("the catalogue is older than one already seen (an old list served again)");
    case CatalogueReason::Expired:
        return QStringLiteral("the catalogue has expired: nothing new is downloaded from it");
    case CatalogueReason::Invalid:
        return QStringLiteral("the catalogue is not one this program can read");
    case CatalogueReason::Digest:
        return QStringLiteral("the package is not the one the catalogue lists");
    case CatalogueReason::Download:
        return QStringLiteral("nothing could be fetched");
    case CatalogueReason::NoMatch:
        return QStringLiteral("no release in the catalogue fits");
    case CatalogueReason::Older:
        return QStringLiteral("the release is older than the running firmware (--allow-older to take it)");
    }
    return {};
}

QString CatalogueWords::refusal(CatalogueReason reason, const QString &detail)
{
    const QString words = QStringLiteral("refused (%1): %2").arg(CatalogueReasons::name(reason), CatalogueWords::reason(reason));
    return detail.isEmpty() ? words : words + QStringLiteral(": ") + detail;
}

QString CatalogueWords::age(const CatalogueLoad &load, const QDateTime &now)
{
    const bool expired = load.checked.refusal == CatalogueReason::Expired;
    if (!load.fromCache && !expired)
        return {};
    const QDateTime published = load.checked.index.published;
    const qint64 days = published.daysTo(now);
    QString words = QStringLiteral("catalogue from %1, %2 old")
                        .arg(published.date().toString(Qt::ISODate), days == 1 ? QStringLiteral("1 day") : QStringLiteral("%1 days").arg(days));
    if (expired)
        words += QStringLiteral(", expired %1").arg(load.checked.index.expires.date().toString(Qt::ISODate));
    // Why the kept index was used: said once, and not at all when --offline asked for it.
    if (load.fromCache)
        words += load.networkDetail == QLatin1String("offline") ? QStringLiteral(", offline")
                                                               : QStringLiteral(", offline (%1)").arg(load.networkDetail);
    return words;
}
