// velmora-ptz info, verify and keys: show a package, check it (each image's own CRC and its
// signature included) and list the trusted keys.
#include "PackageFiles.h"
#include "PackageSignature.h"
#include "PtzCommands.h"
#include "PtzFile.h"
#include "crc16.h"

#include <cstdio>

namespace PtzCommands {

namespace {

// The single PACKAGE argument of info and verify. Returns -1 to go on, else the exit status.
int packageArgument(const QString &command, const QStringList &arguments, const QString &help, QString *path)
{
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::fputs(qPrintable(help), stdout);
        return Success;
    }
    for (const QString &argument : arguments) {
        if (argument.startsWith(QLatin1Char('-')))
            return fail(UsageError, QStringLiteral("unknown option '%1' for %2").arg(argument, command));
    }
    if (arguments.size() != 1)
        return fail(UsageError, QStringLiteral("%1 takes exactly one package file").arg(command));
    *path = arguments.first();
    return -1;
}

// Reads and unpacks; returns -1 when accepted, else the exit status after a message. `read`
// gets the bytes that were read and unpacked.
int load(const QString &path, PtzFile *package, QByteArray *read = nullptr)
{
    QByteArray local;
    QByteArray &bytes = read ? *read : local;
    QString error;
    if (!PackageFiles::readAll(path, &bytes, &error))
        return fail(FileError, QStringLiteral("cannot read %1: %2").arg(path, error));
    if (!PackageFiles::unpack(package, bytes, &error))
        return fail(FileError, QStringLiteral("%1 is not a valid package: %2").arg(path, error));
    return -1;
}

uint16_t dataCrc(const ptzImage &image)
{
    return crc16(reinterpret_cast<const uint8_t *>(image.data.constData()), uint32_t(image.data.size()));
}

QString hex4(uint16_t value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString version(uint16_t firmware)
{
    return QString::asprintf("%0.2f", firmware / 100.0);
}

} // namespace

int info(const QStringList &arguments)
{
    QString path;
    int status = packageArgument(QStringLiteral("info"), arguments, infoHelp(), &path);
    if (status >= 0)
        return status;
    PtzFile package;
    if ((status = load(path, &package)) >= 0)
        return status;

    const ptzHeader &header = package.header();
    QString text;
    text += QStringLiteral("Package:  %1\n").arg(path);
    text += QStringLiteral("Format:   %1\n").arg(header.format);
    text += QStringLiteral("Size:     %1 bytes\n").arg(header.size);
    text += QStringLiteral("BOOT:     %1\n").arg(hex4(header.boot));
    text += QStringLiteral("ARCH:     %1\n").arg(hex4(header.arch));
    text += QStringLiteral("PACK:     %1\n").arg(header.pack);
    text += QStringLiteral("CRC:      %1\n").arg(hex4(header.crc));
    text += QStringLiteral("Images:   %1\n").arg(header.count);
    for (qsizetype i = 0; i < header.images.size(); ++i) {
        const ptzImage &image = header.images.at(i);
        const uint16_t actual = dataCrc(image);
        text += QStringLiteral("Image %1: hardware %2, firmware %3, %4 data bytes, record CRC %5, %6\n")
                    .arg(i + 1)
                    .arg(hex4(image.hardware), version(image.firmware))
                    .arg(image.data.size())
                    .arg(hex4(image.crc),
                         actual == image.crc ? QStringLiteral("matches its data")
                                             : QStringLiteral("MISMATCH (data CRC %1)").arg(hex4(actual)));
    }
    std::fputs(text.toUtf8().constData(), stdout);
    return Success;
}

int verify(const QStringList &arguments)
{
    // --key K.pub: trust that key alone instead of the trusted-key folders.
    QStringList rest = arguments;
    QString keyFile;
    const qsizetype keyAt = rest.indexOf(QStringLiteral("--key"));
    if (keyAt >= 0) {
        if (keyAt + 1 >= rest.size())
            return fail(UsageError, QStringLiteral("--key needs a public key file"));
        keyFile = rest.at(keyAt + 1);
        rest.remove(keyAt, 2);
    }
    QString path;
    int status = packageArgument(QStringLiteral("verify"), rest, verifyHelp(), &path);
    if (status >= 0)
        return status;
    PtzFile package;
    QByteArray bytes;
    if ((status = load(path, &package, &bytes)) >= 0)
        return status;

    const QList<ptzImage> &images = package.header().images;
    int mismatches = 0;
    for (qsizetype i = 0; i < images.size(); ++i) {
        const uint16_t actual = dataCrc(images.at(i));
        if (actual != images.at(i).crc) {
            ++mismatches;
            fail(RecordCrcMismatch, QStringLiteral("%1: image %2 (hardware %3): record CRC %4 does not match its data (%5)")
                                        .arg(path)
                                        .arg(i + 1)
                                        .arg(hex4(images.at(i).hardware), hex4(images.at(i).crc), hex4(actual)));
        }
    }
    if (mismatches > 0)
        return RecordCrcMismatch;

    QList<MinisignKey> trusted;
    if (!trustedKeys(keyFile, &trusted))
        return FileError;
    // The signature is checked on the very bytes whose records were checked above.
    const SignatureCheck signature = PackageSignature::check(bytes, path, trusted);
    if (signature.state == SignatureCheck::State::Invalid || signature.state == SignatureCheck::State::UntrustedKey) {
        QString detail = signature.detail;
        if (signature.state == SignatureCheck::State::UntrustedKey && keyFile.isEmpty())
            detail += QStringLiteral("; ") + TrustedKeys::whereTheyGo();
        return fail(SignatureRefused, QStringLiteral("%1: %2 (%3)").arg(path, SignatureCheck::stateName(signature.state), detail));
    }
    std::printf("%s: valid package, %lld image(s), all record CRCs match\n", qPrintable(path),
                static_cast<long long>(images.size()));
    if (signature.state == SignatureCheck::State::Valid)
        std::printf("%s: signed by key %s: %s\n", qPrintable(path), qPrintable(signature.keyId),
                    signature.trustedComment.toUtf8().constData());
    else
        std::printf("%s: not signed\n", qPrintable(path));
    return Success;
}

int keys(const QStringList &arguments)
{
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::fputs(qPrintable(keysHelp()), stdout);
        return Success;
    }
    if (!arguments.isEmpty())
        return fail(UsageError, QStringLiteral("keys takes no arguments"));
    // Each folder, whether its keys count and why not, then its keys: a user whose own key is
    // refused sees that key listed under a folder that does not count.
    QStringList problems;
    bool anyCounts = false;
    for (const TrustedKeys::Folder &folder : TrustedKeys::everyFolder()) {
        const QList<MinisignKey> found = TrustedKeys::loadFolder(folder.path, &problems);
        std::printf("folder %s: %s\n", qPrintable(folder.path),
                    folder.counts ? "counts"
                                  : "not counted: this machine requires signatures, only the system's keys count");
        for (const MinisignKey &key : found)
            std::printf("%s  %s\n", qPrintable(key.idText()), qPrintable(key.source));
        anyCounts = anyCounts || (folder.counts && !found.isEmpty());
    }
    for (const QString &problem : problems)
        fail(FileError, problem);
    if (!anyCounts)
        std::printf("no trusted keys in %s\n", qPrintable(TrustedKeys::folders().join(QStringLiteral(" or "))));
    return problems.isEmpty() ? Success : FileError;
}

bool trustedKeys(const QString &keyFile, QList<MinisignKey> *trusted)
{
    if (!keyFile.isEmpty()) {
        MinisignKey key;
        QString why;
        if (!TrustedKeys::loadFile(keyFile, &key, &why)) {
            fail(FileError, QStringLiteral("%1: %2").arg(keyFile, why));
            return false;
        }
        trusted->append(key);
        return true;
    }
    // A key file that is not a key trusts nobody: said, so that its owner can mend it.
    QStringList problems;
    *trusted = TrustedKeys::load(&problems);
    for (const QString &problem : std::as_const(problems))
        fail(FileError, QStringLiteral("trusted key skipped: %1").arg(problem));
    return true;
}

} // namespace PtzCommands
