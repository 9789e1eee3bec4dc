// Signature first, then form, sequence and expiry: the order in which an index earns belief.
#include "CatalogueTrust.h"
#include "CatalogueLog.h"
#include "PackageSignature.h"
#include "SequenceStore.h"

#include <QUrl>

CheckedCatalogue CatalogueTrust::check(const QString &url, const QByteArray &bytes, const QByteArray &signature,
                                       const QList<MinisignKey> &trusted, SequenceStore *store, const QDateTime &now)
{
    CheckedCatalogue result;
    result.url = url;
    const QString signatureName = QUrl(url).fileName() + QStringLiteral(".minisig");
    if (signature.isEmpty()) {
        result.refusal = CatalogueReason::Signature;
        result.detail = QStringLiteral("the index has no signature file (%1)").arg(signatureName);
        return result;
    }
    const SignatureCheck check = PackageSignature::verify(bytes, signature, trusted);
    result.keyId = check.keyId;
    result.signature = check.state;
    if (check.state != SignatureCheck::State::Valid) {
        result.refusal = CatalogueReason::Signature;
        if (check.state == SignatureCheck::State::UntrustedKey)
            result.detail = QStringLiteral("signed by key %1, which is not trusted here").arg(check.keyId);
        else if (!check.keyId.isEmpty())
            result.detail = QStringLiteral("the index was changed after key %1 signed it").arg(check.keyId);
        else
            result.detail = QStringLiteral("%1 is not a signature: %2").arg(signatureName, check.detail);
        return result;
    }
    CatalogueIndex index;
    QString why;
    if (!CatalogueIndex::parse(bytes, &index, &why)) {
        result.refusal = CatalogueReason::Invalid;
        result.detail = why;
        return result;
    }
    const qint64 highest = store ? store->highest(url) : -1;
    if (index.sequence < highest) {
        result.refusal = CatalogueReason::Rollback;
        result.detail = QStringLiteral("sequence %1 is older than %2, already seen").arg(index.sequence).arg(highest);
        return result;
    }
    // A sequence that could not be kept leaves this index believed, but said, not skipped.
    if (store) {
        const QString unkept = store->record(url, index.sequence);
        if (!unkept.isEmpty())
            qCWarning(lcCatalogue) << "the catalogue's sequence is not kept:" << unkept;
    }
    result.index = index;
    if (index.expiredAt(now)) {
        result.refusal = CatalogueReason::Expired;
        result.detail = QStringLiteral("expired on %1").arg(index.expires.toString(Qt::ISODate));
        return result;
    }
    qCDebug(lcCatalogue) << "index" << url << "sequence" << index.sequence << "signed by" << check.keyId;
    result.refusal = CatalogueReason::None;
    return result;
}
