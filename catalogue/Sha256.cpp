// SHA-256 through libsodium.
#include "Sha256.h"

#include <sodium.h>

QByteArray Sha256::of(const QByteArray &bytes)
{
    QByteArray digest(crypto_hash_sha256_BYTES, Qt::Uninitialized);
    crypto_hash_sha256(reinterpret_cast<unsigned char *>(digest.data()), reinterpret_cast<const unsigned char *>(bytes.constData()),
                       static_cast<unsigned long long>(bytes.size()));
    return digest;
}
