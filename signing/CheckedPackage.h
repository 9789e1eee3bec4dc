// The one door a package passes on its way to a gimbal: read once, validated, its signature checked.
#pragma once

#include "PackageSignature.h"
#include "PtzFile.h"
#include "Sha256.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A package as it was read and checked, or the reason it was refused. Only an accepted value
// carries bytes, and those bytes are exactly what was checked: nothing below this door reads
// the path again.
struct CheckedPackage
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
    QByteArray bytes;         // the whole package when accepted, else empty
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

    bool accepted() const { return refusal == Refusal::None; }
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

    // Reads the package at `path` once, checks that it is a package and checks its signature
    // against the trusted keys. Unsigned packages are refused when `requireSigned` is set or
    // the machine requires signatures.
    static CheckedPackage open(const QString &path, bool requireSigned);
    // The same against the given keys (tests, benchmarks).
    static CheckedPackage open(const QString &path, bool requireSigned, const QList<MinisignKey> &trusted);
    // The same checks on a package the caller already holds whole (a download hashed as it
    // arrived, a kept file read once), without reading it again: `path` is where it is kept,
    // beside its signature file. Its SHA-256 is the one made with those very bytes.
    static CheckedPackage check(const QString &path, const HashedBytes &package, bool requireSigned,
                                const QList<MinisignKey> &trusted);
};
