// SHA-256 of a package held in memory, with libsodium (about twice as fast as QCryptographicHash here).
#pragma once

#include <QByteArray>

namespace Sha256 {

// The 32-byte digest of `bytes`.
QByteArray of(const QByteArray &bytes);

} // namespace Sha256
