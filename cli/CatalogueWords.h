// The catalogue's reason values and its age in English, for the command line.
#pragma once

#include "CatalogueClient.h"

#include <QString>

namespace CatalogueWords {

// "the catalogue's signature does not hold under a trusted key", ...
QString reason(CatalogueReason reason);
// "catalogue from 2026-12-01, 6 days old, offline" for a kept index, with ", expired DATE" for an
// expired one (kept or fetched); empty for a fresh index fetched now.
QString age(const CatalogueLoad &load, const QDateTime &now);

} // namespace CatalogueWords
