// Why a catalogue or one of its packages was refused, as a value the faces turn into words.
#pragma once

#include <QString>

enum class CatalogueReason {
    None,
    Signature, // the index's signature does not hold under a trusted key, or is missing
    Rollback,  // the index is older than one already seen for this catalogue
    Expired,   // the index is past its expiry date: no new downloads (kept packages still served, online and offline)
    Invalid,   // the index is signed but not an index this program understands
    Digest,    // a package of another size or SHA-256 than the index lists
    Download,  // the index or a package could not be fetched (network, redirect, time-out, size)
    NoMatch,   // no release of the index fits the gimbal (or the version asked for)
    Older,     // the chosen release is older than the running firmware and that was not allowed
};

namespace CatalogueReasons {
// "catalogue-signature", "catalogue-rollback", ... for JSON and exit lines; empty for None.
QString name(CatalogueReason reason);
} // namespace CatalogueReasons
