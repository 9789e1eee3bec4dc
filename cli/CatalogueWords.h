// The catalogue's reason values and its age in English, for the command line.
#pragma once

#include "CatalogueClient.h"

#include <QString>

namespace CatalogueWords {

// "the catalogue's signature does not hold", ...; a refusal on a terminal reads
// "refused (REASON-WORD): WORDS: DETAIL" (see refusal()).
QString reason(CatalogueReason reason);
// "refused (package-digest): the package is not the one the catalogue lists: DETAIL"
QString refusal(CatalogueReason reason, const QString &detail);
// "catalogue from 2026-12-01, 6 days old, offline" for a kept index, with ", expired DATE" for an
// expired one (kept or fetched); empty for a fresh index fetched now.
QString age(const CatalogueLoad &load, const QDateTime &now);

} // namespace CatalogueWords
