// Who signed a package: its detached minisign signature checked against the trusted keys.
#pragma once

#include "Minisign.h"

#include <QList>
#include <QString>
#include <QStringList>

struct SignatureCheck
{
    enum class State {
        Unsigned,     // no P.minisig beside the package
        Valid,        // signed by a trusted key; keyId and trustedComment say who and what
        Invalid,      // a signature is there but does not hold (changed, damaged, unreadable)
        UntrustedKey, // a sound signature file by a key that is not trusted here
    };

    State state = State::Unsigned;
    QString keyId;          // as minisign prints it, when the signature names one
    QString trustedComment; // the signer's words, when the signature holds
    QString detail;         // why it does not hold, in plain English

    bool refuses(bool requireSigned) const
    {
        return state == State::Invalid || state == State::UntrustedKey || (requireSigned && state == State::Unsigned);
    }
    // "signed", "unsigned", "signature-invalid", "signature-untrusted-key": for JSON and records.
    static QString stateName(State state);
};

namespace PackageSignature {

// A signature file is a few hundred bytes; anything far larger is not one.
constexpr qint64 SignatureSizeLimit = 16 * 1024;

// Checks `packageBytes` (the package as it was read, once) against the signature at
// `packagePath` + ".minisig", read once here, never blocking on a pipe or device.
SignatureCheck check(const QByteArray &packageBytes, const QString &packagePath, const QList<MinisignKey> &trusted);
// The same with the signature file's text already read.
SignatureCheck verify(const QByteArray &packageBytes, const QByteArray &signatureText, const QList<MinisignKey> &trusted);

} // namespace PackageSignature

namespace TrustedKeys {

// A folder of *.pub files and whether its keys are trusted on this machine.
struct Folder
{
    QString path;
    bool counts = true;
};

// Both folders, the system's first: /etc/velmora/trusted-keys (or
// $VELMORA_SYSTEM_CONFIG_DIR/trusted-keys) and the user's ($XDG_CONFIG_HOME/Velmora/trusted-keys,
// ~/.config/Velmora/trusted-keys without it). While the system requires signed packages the
// user's folder does not count: a user could otherwise sign anything with a key of their own.
QList<Folder> everyFolder();
// The folders whose keys count: both, or the system's alone while it requires signed packages.
QStringList folders();
// Where a signer's key must be put to be trusted, in words naming folders(); for a refusal by
// a key that is not trusted.
QString whereTheyGo();
// Every key of the folders that count; files that are not keys are named in `problems`.
QList<MinisignKey> load(QStringList *problems = nullptr);
// The keys of one folder, whether it counts or not.
QList<MinisignKey> loadFolder(const QString &folder, QStringList *problems = nullptr);
// A key file given by the user (--key).
bool loadFile(const QString &path, MinisignKey *key, QString *why);
// Whether the system requires signed packages: the file require-signed in the system's folder
// (/etc/velmora), which a user cannot remove.
bool requiredBySystem();

} // namespace TrustedKeys
