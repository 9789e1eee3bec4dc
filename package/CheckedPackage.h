// The one door a package passes on its way to a gimbal: read once, validated, its signature checked.
#pragma once

#include "PackageSignature.h"
#include "PtzFile.h"
#include "Sha256.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

struct PackageCheck;

// A package that passed the door: the bytes exactly as they were read and checked, with their
// size, SHA-256, header and signature. Only open() and check() make one, so whatever takes a
// CheckedPackage (the update engine, a record) holds checked bytes without checking again, and
// nothing below the door takes a path.
class CheckedPackage
{
public:
    // Reads the package at `path` once, checks that it is a package and checks its signature
    // against the trusted keys. Unsigned packages are refused when `requireSigned` is set or
    // the machine requires signatures.
    static PackageCheck open(const QString &path, bool requireSigned);
    // The same against the given keys (tests, benchmarks).
    static PackageCheck open(const QString &path, bool requireSigned, const QList<MinisignKey> &trusted);
    // The same checks on a package the caller already holds whole (a download hashed as it
    // arrived, a kept file read once, bytes made in memory), without reading it again: `path`
    // is where it is kept, beside its signature file. Its SHA-256 is the one made with those
    // very bytes.
    static PackageCheck check(const QString &path, const HashedBytes &package, bool requireSigned,
                              const QList<MinisignKey> &trusted);

    // Where it was read or is kept; name() is its file name, as a record names it.
    const QString &path() const { return where; }
    QString name() const;
    const QByteArray &bytes() const { return held.bytes(); }
    qint64 size() const { return held.size(); }
    // Lower-case hex, made once with the bytes as they were read.
    const QString &sha256() const { return digest; }
    const ptzHeader &header() const { return head; }
    const SignatureCheck &signature() const { return signedBy; }

private:
    CheckedPackage(const QString &path, const HashedBytes &bytes, const QString &sha256, const ptzHeader &header,
                   const SignatureCheck &signature);

    QString where;
    HashedBytes held;
    QString digest;
    ptzHeader head;
    SignatureCheck signedBy;
};

// What the door made of a package: the accepted CheckedPackage, or the reason it was refused
// with what a face needs to word the refusal and record it.
struct PackageCheck
{
    enum class Refusal {
        None,             // accepted
        Missing,          // nothing at the path
        NotRegularFile,   // a folder, pipe, socket or device
        TooLarge,         // larger than a package may be
        ReadError,        // cannot be opened or read (`error` holds errno)
        Invalid,          // not a valid package
        Unsigned,         // no signature, and signatures are required
        SignatureInvalid, // a signature that does not hold
        UntrustedKey,     // a sound signature by a key that is not trusted here
    };

    QString path;
    Refusal refusal = Refusal::Missing;
    // The package, exactly when it was accepted.
    std::optional<CheckedPackage> package;
    bool valid = false;       // the bytes read were a valid package (`header`)
    ptzHeader header;         // when valid, even if the signature refused the package
    SignatureCheck signature; // whenever the file could be read
    int error = 0;            // errno for ReadError
    PtzFile::Flaw flaw = PtzFile::Flaw::None; // which check found the bytes not a package
    // Trusted-key files that could not be read as keys, each "path: why"; the keys they would
    // hold were not trusted.
    QStringList keyProblems;
    // Whenever the file could be read: its size and SHA-256 (hex), so that a refusal can be
    // recorded with the package it concerned.
    qint64 size = -1;
    QString sha256;

    bool accepted() const { return package.has_value(); }
    bool wasRead() const
    {
        return refusal == Refusal::None || refusal == Refusal::Invalid || refusedBySignature();
    }
    bool refusedBySignature() const
    {
        return refusal == Refusal::Unsigned || refusal == Refusal::SignatureInvalid || refusal == Refusal::UntrustedKey;
    }
    // Why it was refused, in plain English ("not a regular file", "file check crc error", the
    // signature's file, the folders a trusted key goes in); empty when accepted.
    QString detail() const;
};
