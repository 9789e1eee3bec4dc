// Reads, validates and checks the signature of a package, in that order, on one read of it
// (or on the bytes a caller already read whole, with the digest made as it read them).
#include "CheckedPackage.h"

#include "PackageFileReader.h"

#include <QFileInfo>

#include <cstring>

using Refusal = PackageCheck::Refusal;

CheckedPackage::CheckedPackage(const QString &path, const HashedBytes &bytes, const QString &sha256, const ptzHeader &header,
                               const SignatureCheck &signature)
    : where(path)
    , held(bytes)
    , digest(sha256)
    , head(header)
    , signedBy(signature)
{
}

QString CheckedPackage::name() const
{
    return QFileInfo(where).fileName();
}

QString PackageCheck::detail() const
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

PackageCheck CheckedPackage::open(const QString &path, bool requireSigned)
{
    QStringList problems;
    const QList<MinisignKey> trusted = TrustedKeys::load(&problems);
    PackageCheck result = open(path, requireSigned, trusted);
    result.keyProblems = problems;
    return result;
}

PackageCheck CheckedPackage::open(const QString &path, bool requireSigned, const QList<MinisignKey> &trusted)
{
    PackageCheck result;
    result.path = path;
    PackageFileReader::Result file = PackageFileReader::read(path);
    switch (file.outcome) {
    case PackageFileReader::Outcome::Ok: break;
    case PackageFileReader::Outcome::Missing: result.refusal = Refusal::Missing; return result;
    case PackageFileReader::Outcome::NotRegularFile: result.refusal = Refusal::NotRegularFile; return result;
    case PackageFileReader::Outcome::TooLarge: result.refusal = Refusal::TooLarge; return result;
    case PackageFileReader::Outcome::ReadError:
        result.refusal = Refusal::ReadError;
        result.error = file.error;
        return result;
    }
    return check(path, HashedBytes::of(std::move(file.bytes)), requireSigned, trusted);
}

PackageCheck CheckedPackage::check(const QString &path, const HashedBytes &read, bool requireSigned, const QList<MinisignKey> &trusted)
{
    PackageCheck result;
    result.path = path;
    // Bytes held by a caller meet the same size limit as a file read here.
    if (read.size() > PackageFileReader::SizeLimit) {
        result.refusal = Refusal::TooLarge;
        return result;
    }
    result.size = read.size();
    // Made with the bytes as they were read (empty only if libcrypto failed).
    result.sha256 = QString::fromLatin1(read.sha256().toHex());
    const QByteArray &bytes = read.bytes();
    // The signature first: a package changed after it was signed is refused as such, even
    // when the change also broke its format.
    result.signature = PackageSignature::check(bytes, path, trusted);
    PtzFile ptz;
    result.valid = ptz.unpack(bytes);
    if (result.valid)
        result.header = ptz.header();
    else
        result.flaw = ptz.flaw();
    if (result.signature.refuses(requireSigned || TrustedKeys::requiredBySystem())) {
        switch (result.signature.state) {
        case SignatureCheck::State::Invalid: result.refusal = Refusal::SignatureInvalid; break;
        case SignatureCheck::State::UntrustedKey: result.refusal = Refusal::UntrustedKey; break;
        default: result.refusal = Refusal::Unsigned; break;
        }
        return result;
    }
    if (!result.valid) {
        result.refusal = Refusal::Invalid;
        return result;
    }
    result.refusal = Refusal::None;
    result.package = CheckedPackage(path, read, result.sha256, result.header, result.signature);
    return result;
}
