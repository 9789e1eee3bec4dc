// Checks a package's signature once, on the bytes that will be written.
#include "PackageSignature.h"

#include "PackageFileReader.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString systemFolder()
{
    const QString dir = qEnvironmentVariable("VELMORA_SYSTEM_CONFIG_DIR");
    return dir.isEmpty() ? QStringLiteral("/etc/velmora") : dir;
}

SignatureCheck refused(SignatureCheck::State state, const QString &detail, const QString &keyId = QString())
{
    SignatureCheck check;
    check.state = state;
    check.detail = detail;
    check.keyId = keyId;
    return check;
}

} // namespace

QString SignatureCheck::stateName(State state)
{
    switch (state) {
    case State::Unsigned: return QStringLiteral("unsigned");
    case State::Valid: return QStringLiteral("signed");
    case State::Invalid: return QStringLiteral("signature-invalid");
    case State::UntrustedKey: return QStringLiteral("signature-untrusted-key");
    }
    return QString();
}

SignatureCheck PackageSignature::check(const QByteArray &packageBytes, const QString &packagePath, const QList<MinisignKey> &trusted)
{
    const QString signaturePath = packagePath + QStringLiteral(".minisig");
    const PackageFileReader::Result file = PackageFileReader::read(signaturePath, SignatureSizeLimit);
    SignatureCheck result;
    switch (file.outcome) {
    case PackageFileReader::Outcome::Ok:
        result = verify(packageBytes, file.bytes, trusted);
        break;
    case PackageFileReader::Outcome::Missing:
        return refused(SignatureCheck::State::Unsigned, QString());
    case PackageFileReader::Outcome::NotRegularFile:
        result = refused(SignatureCheck::State::Invalid, QStringLiteral("not a regular file"));
        break;
    case PackageFileReader::Outcome::TooLarge:
        result = refused(SignatureCheck::State::Invalid, QStringLiteral("far too large to be a signature"));
        break;
    case PackageFileReader::Outcome::ReadError:
        result = refused(SignatureCheck::State::Invalid, QStringLiteral("cannot be read"));
        break;
    }
    // A signature that does not hold is named by its file: that is the file to look at or replace.
    if (result.state == SignatureCheck::State::Invalid)
        result.detail = QStringLiteral("%1: %2").arg(signaturePath, result.detail);
    return result;
}

SignatureCheck PackageSignature::verify(const QByteArray &packageBytes, const QByteArray &signatureText,
                                        const QList<MinisignKey> &trusted)
{
    MinisignSignature signature;
    QString why;
    if (!MinisignSignature::parse(signatureText, &signature, &why))
        return refused(SignatureCheck::State::Invalid, why);
    const QString keyId = MinisignKey::idText(signature.keyId);
    bool known = false;
    for (const MinisignKey &key : trusted) {
        if (key.keyId != signature.keyId)
            continue;
        known = true;
        if (signature.verify(packageBytes, key)) {
            SignatureCheck check;
            check.state = SignatureCheck::State::Valid;
            check.keyId = keyId;
            check.trustedComment = QString::fromUtf8(signature.trustedComment);
            return check;
        }
    }
    if (!known)
        return refused(SignatureCheck::State::UntrustedKey, QStringLiteral("signed by key %1, which is not trusted here").arg(keyId), keyId);
    return refused(SignatureCheck::State::Invalid,
                   QStringLiteral("the signature by key %1 does not match the package or its trusted comment").arg(keyId), keyId);
}

QList<TrustedKeys::Folder> TrustedKeys::everyFolder()
{
    QString user = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (user.isEmpty())
        user = QDir::homePath() + QStringLiteral("/.config");
    return {{systemFolder() + QStringLiteral("/trusted-keys"), true},
            {user + QStringLiteral("/Velmora/trusted-keys"), !requiredBySystem()}};
}

QStringList TrustedKeys::folders()
{
    QStringList paths;
    for (const Folder &folder : everyFolder()) {
        if (folder.counts)
            paths.append(folder.path);
    }
    return paths;
}

bool TrustedKeys::loadFile(const QString &path, MinisignKey *key, QString *why)
{
    const PackageFileReader::Result file = PackageFileReader::read(path, PackageSignature::SignatureSizeLimit);
    if (file.outcome != PackageFileReader::Outcome::Ok) {
        *why = QStringLiteral("cannot be read as a key file");
        return false;
    }
    if (!MinisignKey::parse(file.bytes, key, why))
        return false;
    key->source = path;
    return true;
}

QList<MinisignKey> TrustedKeys::loadFolder(const QString &folder, QStringList *problems)
{
    QList<MinisignKey> keys;
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.pub")}, QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        MinisignKey key;
        QString why;
        if (loadFile(file.filePath(), &key, &why))
            keys.append(key);
        else if (problems)
            problems->append(QStringLiteral("%1: %2").arg(file.filePath(), why));
    }
    return keys;
}

QString TrustedKeys::whereTheyGo()
{
    return QStringLiteral("trusted keys go in %1").arg(folders().join(QStringLiteral(" or ")));
}

QList<MinisignKey> TrustedKeys::load(QStringList *problems)
{
    QList<MinisignKey> keys;
    for (const QString &folder : folders())
        keys.append(loadFolder(folder, problems));
    return keys;
}

bool TrustedKeys::requiredBySystem()
{
    return QFileInfo::exists(systemFolder() + QStringLiteral("/require-signed"));
}
