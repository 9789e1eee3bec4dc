// The reason values' names, as JSON and scripts read them.
#include "CatalogueReason.h"

QString CatalogueReasons::name(CatalogueReason reason)
{
    switch (reason) {
    case CatalogueReason::None:
        return {};
    case CatalogueReason::Signature:
        return QStringLiteral("catalogue-signature");
    case CatalogueReason::Rollback:
        return QStringLiteral("catalogue-rollback");
    case CatalogueReason::Expired:
        return QStringLiteral("catalogue-expired");
    case CatalogueReason::Invalid:
        return QStringLiteral("catalogue-invalid");
    case CatalogueReason::Digest:
        return QStringLiteral("package-digest");
    case CatalogueReason::Download:
        return QStringLiteral("download-failed");
    case CatalogueReason::NoMatch:
        return QStringLiteral("catalogue-no-match");
    case CatalogueReason::Older:
        return QStringLiteral("catalogue-older");
    }
    return {};
}
