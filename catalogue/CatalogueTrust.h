// The check an index passes before it is believed: signature, sequence, expiry, form.
#pragma once

#include "CatalogueIndex.h"
#include "CatalogueReason.h"
#include "Minisign.h"
#include "PackageSignature.h"

#include <QList>

class SequenceStore;

// An index as it was checked, or the reason it was refused. An expired index is still filled
// in (it may be listed, and packages already kept from it flashed), but refuses new downloads.
struct CheckedCatalogue
{
    CatalogueReason refusal = CatalogueReason::Signature;
    QString detail;       // why, in plain English, when refused
    CatalogueIndex index; // filled when accepted or expired
    QString keyId;        // who signed it
    QString url;          // the catalogue it was checked for
    // How its signature failed, for words of the case: Unsigned when there is no signature
    // file, Invalid with a keyId when the index was changed after that key signed it.
    SignatureCheck::State signature = SignatureCheck::State::Unsigned;

    bool accepted() const { return refusal == CatalogueReason::None; }
    bool usable() const { return refusal == CatalogueReason::None || refusal == CatalogueReason::Expired; }
};

namespace CatalogueTrust {

// Checks the index `bytes` against its minisign signature text under the `trusted` keys, then
// its form, then its sequence against the highest recorded for `url` in `store` (which records
// a higher one), then its expiry at `now`. The signature comes first: nothing of an unsigned
// index is read.
CheckedCatalogue check(const QString &url, const QByteArray &bytes, const QByteArray &signature,
                       const QList<MinisignKey> &trusted, SequenceStore *store, const QDateTime &now);

} // namespace CatalogueTrust
