// minisign's public-key and signature files, and the check of a signature with Ed25519.
#pragma once

#include <QByteArray>
#include <QString>

// A public key as minisign writes it: an untrusted comment line and one base64 line holding
// the algorithm ("Ed"), the 8-byte key id and the 32-byte Ed25519 key.
struct MinisignKey
{
    QByteArray keyId;     // 8 bytes
    QByteArray publicKey; // 32 bytes
    QString source;       // where it was found

    // Parses a .pub file's text; false with the reason for anything else.
    static bool parse(const QByteArray &text, MinisignKey *key, QString *why);
    // The id as minisign prints it: the 8 bytes read little-endian, in upper-case hex without
    // leading zeros.
    static QString idText(const QByteArray &keyId);
    QString idText() const { return idText(keyId); }
};

// A detached signature (.minisig): the signature of the file (legacy "Ed", over the file
// itself) or of its BLAKE2b-512 hash (prehashed "ED", minisign's default), and the global
// signature over that signature and the trusted comment.
struct MinisignSignature
{
    bool prehashed = true;
    QByteArray keyId;           // 8 bytes
    QByteArray signature;       // 64 bytes
    QByteArray trustedComment;  // the text after "trusted comment: "
    QByteArray globalSignature; // 64 bytes

    static bool parse(const QByteArray &text, MinisignSignature *signature, QString *why);
    // Whether `key` signed `message` with this signature and the trusted comment with the
    // global signature. The key ids are compared by the caller.
    bool verify(const QByteArray &message, const MinisignKey &key) const;
};
