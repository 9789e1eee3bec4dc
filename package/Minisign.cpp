// minisign's formats, parsed strictly, and checked with libsodium's Ed25519 and BLAKE2b.
#include "Minisign.h"

#include <QList>
#include <algorithm>
#include <sodium.h>

namespace {

constexpr int KeyIdBytes = 8;
constexpr int PublicKeyBytes = 32;
constexpr int SignatureBytes = 64;
const QByteArray UntrustedPrefix("untrusted comment: ");
const QByteArray TrustedPrefix("trusted comment: ");

bool initialised()
{
    static const bool ok = sodium_init() >= 0;
    return ok;
}

// The file's lines without their line ends (a trailing CR is a Windows line end).
QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> result = text.split('\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    for (QByteArray &line : result)
        if (line.endsWith('\r'))
            line.chop(1);
    return result;
}

bool decode(const QByteArray &line, int size, QByteArray *bytes)
{
    const auto decoded = QByteArray::fromBase64Encoding(line, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size || decoded.decoded.toBase64() != line)
        return false;
    *bytes = decoded.decoded;
    return true;
}

} // namespace

QString MinisignKey::idText(const QByteArray &keyId)
{
    // Written as minisign writes it: the little-endian number in upper-case hex, without
    // leading zeros, so the id matches a key's comment and minisign's own messages.
    QByteArray bigEndian = keyId;
    std::reverse(bigEndian.begin(), bigEndian.end());
    QByteArray hex = bigEndian.toHex().toUpper();
    while (hex.size() > 1 && hex.startsWith('0'))
        hex.remove(0, 1);
    return QString::fromLatin1(hex);
}

bool MinisignKey::parse(const QByteArray &text, MinisignKey *key, QString *why)
{
    const QList<QByteArray> rows = lines(text);
    // The comment line is optional in a key given on its own; the key line is the last one.
    if (rows.isEmpty() || rows.size() > 2 || (rows.size() == 2 && !rows.first().startsWith(UntrustedPrefix))) {
        *why = QStringLiteral("not a minisign public key");
        return false;
    }
    QByteArray bytes;
    if (!decode(rows.last(), 2 + KeyIdBytes + PublicKeyBytes, &bytes) || !bytes.startsWith("Ed")) {
        *why = QStringLiteral("not a minisign Ed25519 public key");
        return false;
    }
    key->keyId = bytes.mid(2, KeyIdBytes);
    key->publicKey = bytes.mid(2 + KeyIdBytes);
    return true;
}

bool MinisignSignature::parse(const QByteArray &text, MinisignSignature *signature, QString *why)
{
    const QList<QByteArray> rows = lines(text);
    QByteArray head;
    if (rows.size() != 4 || !rows.at(0).startsWith(UntrustedPrefix) || !rows.at(2).startsWith(TrustedPrefix)) {
        *why = QStringLiteral("not a minisign signature");
        return false;
    }
    if (!decode(rows.at(1), 2 + KeyIdBytes + SignatureBytes, &head) || !decode(rows.at(3), SignatureBytes, &signature->globalSignature)) {
        *why = QStringLiteral("the signature's base64 is damaged");
        return false;
    }
    if (head.startsWith("ED"))
        signature->prehashed = true;
    else if (head.startsWith("Ed"))
        signature->prehashed = false;
    else {
        *why = QStringLiteral("an unknown signature algorithm");
        return false;
    }
    signature->keyId = head.mid(2, KeyIdBytes);
    signature->signature = head.mid(2 + KeyIdBytes);
    signature->trustedComment = rows.at(2).mid(TrustedPrefix.size());
    return true;
}

bool MinisignSignature::verify(const QByteArray &message, const MinisignKey &key) const
{
    if (!initialised() || key.publicKey.size() != PublicKeyBytes || signature.size() != SignatureBytes
        || globalSignature.size() != SignatureBytes)
        return false;
    const auto *pk = reinterpret_cast<const unsigned char *>(key.publicKey.constData());
    QByteArray digest;
    const QByteArray *signedBytes = &message;
    if (prehashed) {
        digest.resize(crypto_generichash_BYTES_MAX);
        crypto_generichash(reinterpret_cast<unsigned char *>(digest.data()), size_t(digest.size()),
                           reinterpret_cast<const unsigned char *>(message.constData()), size_t(message.size()), nullptr, 0);
        signedBytes = &digest;
    }
    if (crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.constData()),
                                    reinterpret_cast<const unsigned char *>(signedBytes->constData()),
                                    size_t(signedBytes->size()), pk)
        != 0)
        return false;
    // The trusted comment is signed together with the file's signature.
    const QByteArray global = signature + trustedComment;
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(globalSignature.constData()),
                                       reinterpret_cast<const unsigned char *>(global.constData()), size_t(global.size()), pk)
           == 0;
}
