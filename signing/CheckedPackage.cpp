// Reads, validates and checks the signature of a package, in that order, on one read of it
// (or on the bytes a caller already read whole, with the digest made as it read them).
#include "CheckedPackage.h"

#include "PackageFileReader.h"

#include <cstring>

QString CheckedPackage::detail() const
{
    switch (refusal) {
    case Refusal::None: return QString();
    case Refusal::Missing: return QStringLiteral("no such file");
    case Refusal::NotRegularFile: return QStringLiteral("not a regular file");
    case Refusal::TooLarge:
        return QStringLiteral("larger than %1, the most a package may be").arg(PackageFileReader::sizeLimitText());
    case Refusal::ReadError: return QString::fromLocal8Bit(std::strerror(error));
    case Refusal::Invalid:
        return flaw == PtzFile::Flaw::None ? QStringLiteral("not a valid package") : PtzFile::flawName(flaw);
    case Refusal::Unsigned: return QStringLiteral("not signed, and only signed packages are accepted");
    case Refusal::SignatureInvalid: return signature.detail;
    case Refusal::UntrustedKey: return QStringLiteral("%1; %2").arg(signature.detail, TrustedKeys::whereTheyGo());
    }
    return QString();
}

CheckedPackage CheckedPackage::open(const QString &path, bool requireSigned)
{
    QStringList problems;
    const QList<MinisignKey> trusted = TrustedKeys::load(&problems);
    CheckedPackage package = open(path, requireSigned, trusted);
    package.keyProblems = problems;
    return package;
}

CheckedPackage CheckedPackage::open(const QString &path, bool requireSigned, const QList<MinisignKey> &trusted)
{
    CheckedPackage package;
    package.path = path;
    PackageFileReader::Result file = PackageFileReader::read(path);
    switch (file.outcome) {
    case PackageFileReader::Outcome::Ok: break;
    case PackageFileReader::Outcome::Missing: package.refusal = Refusal::Missing; return package;
    case PackageFileReader::Outcome::NotRegularFile: package.refusal = Refusal::NotRegularFile; return package;
    case PackageFileReader::Outcome::TooLarge: package.refusal = Refusal::TooLarge; return package;
    case PackageFileReader::Outcome::ReadError:
        package.refusal = Refusal::ReadError;
        package.error = file.error;
        return package;
    }
    return check(path, HashedBytes::of(std::move(file.bytes)), requireSigned, trusted);
}

CheckedPackage CheckedPackage::check(const QString &path, const HashedBytes &read, bool requireSigned, const QList<MinisignKey> &trusted)
{
    CheckedPackage package;
    package.path = path;
    // Bytes held by a caller meet the same size limit as a file read here.
    if (read.size() > PackageFileReader::SizeLimit) {
        package.refusal = Refusal::TooLarge;
        return package;
    }
    package.size = read.size();
    // Made with the bytes as they were read (empty only if libcrypto failed).
    package.sha256 = QString::fromLatin1(read.sha256().toHex());
    const QByteArray &bytes = read.bytes();
    // The signature first: a package changed after it was signed is refused as such, even
    // when the change also broke its format.
    package.signature = PackageSignature::check(bytes, path, trusted);
    PtzFile ptz;
    package.valid = ptz.unpack(bytes);
    if (package.valid)
        package.header = ptz.header();
    else
        package.flaw = ptz.flaw();
    if (package.signature.refuses(requireSigned || TrustedKeys::requiredBySystem())) {
        switch (package.signature.state) {
        case SignatureCheck::State::Invalid: package.refusal = Refusal::SignatureInvalid; break;
        case SignatureCheck::State::UntrustedKey: package.refusal = Refusal::UntrustedKey; break;
        default: package.refusal = Refusal::Unsigned; break;
        }
        return package;
    }
    if (!package.valid) {
        package.refusal = Refusal::Invalid;
        return package;
    }
    package.refusal = Refusal::None;
    package.bytes = bytes;
    return package;
}
