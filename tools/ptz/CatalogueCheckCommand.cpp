// velmora-ptz catalogue check: what a client would refuse in a folder about to be published.
#include "CatalogueIndex.h"
#include "CatalogueTrust.h"
#include "PackageFileReader.h"
#include "PackageSignature.h"
#include "PtzCommands.h"
#include "Sha256.h"

#include <QDir>
#include <QLoggingCategory>
#include <cstdio>

namespace PtzCommands {

namespace {

void problem(int *count, const QString &text)
{
    ++*count;
    std::printf("%s\n", text.toUtf8().constData());
}

} // namespace

int catalogueCheck(const QStringList &arguments)
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    QString folder, keyFile;
    int days = 14;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            std::fputs(catalogueHelp().toLocal8Bit().constData(), stdout);
            return Success;
        }
        const bool takesValue = argument == QLatin1String("--days") || argument == QLatin1String("--key");
        if (takesValue && i + 1 >= arguments.size())
            return fail(UsageError, QStringLiteral("catalogue check: %1 needs a value").arg(argument));
        bool number = true;
        if (argument == QLatin1String("--days"))
            days = arguments.at(++i).toInt(&number);
        else if (argument == QLatin1String("--key"))
            keyFile = arguments.at(++i);
        else if (argument.startsWith(QLatin1String("--")) || !folder.isEmpty())
            return fail(UsageError, QStringLiteral("catalogue check: unexpected argument '%1'").arg(argument));
        else
            folder = argument;
        if (!number || days < 0)
            return fail(UsageError, QStringLiteral("catalogue check: --days takes a number of days, not '%1'").arg(arguments.at(i)));
    }
    if (folder.isEmpty())
        return fail(UsageError, QStringLiteral("catalogue check: no folder given"));

    QList<MinisignKey> trusted;
    if (!trustedKeys(keyFile, &trusted))
        return FileError;

    const QDir dir(folder);
    const QString indexPath = dir.filePath(QStringLiteral("catalogue.json"));
    const PackageFileReader::Result bytes = PackageFileReader::read(indexPath, CatalogueIndex::SizeLimit);
    if (bytes.outcome != PackageFileReader::Outcome::Ok)
        return fail(FileError, QStringLiteral("catalogue check: %1 cannot be read").arg(indexPath));
    int problems = 0;
    CatalogueIndex index;
    QString why;
    if (!CatalogueIndex::parse(bytes.bytes, &index, &why)) {
        problem(&problems, QStringLiteral("%1: not an index: %2").arg(indexPath, why));
        return CatalogueRefused;
    }
    // The index's signature as a client checks it, without a record of sequences seen.
    const PackageFileReader::Result signature = PackageFileReader::read(indexPath + QStringLiteral(".minisig"), PackageSignature::SignatureSizeLimit);
    if (signature.outcome != PackageFileReader::Outcome::Ok)
        problem(&problems, QStringLiteral("%1: not signed (no %1.minisig)").arg(indexPath));
    else {
        const CheckedCatalogue checked = CatalogueTrust::check(indexPath, bytes.bytes, signature.bytes, trusted, nullptr, QDateTime::currentDateTimeUtc());
        if (checked.refusal == CatalogueReason::Signature)
            problem(&problems, QStringLiteral("%1: signature refused: %2").arg(indexPath, checked.detail));
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (index.expiredAt(now))
        problem(&problems, QStringLiteral("%1: expired on %2").arg(indexPath, index.expires.toString(Qt::ISODate)));
    else if (index.expires.isValid() && index.expiredAt(now.addDays(days)))
        problem(&problems, QStringLiteral("%1: expires on %2, within %3 days").arg(indexPath, index.expires.toString(Qt::ISODate)).arg(days));

    for (const CatalogueRelease &release : std::as_const(index.releases)) {
        const QString path = dir.filePath(release.package);
        const QString name = QStringLiteral("%1 (release %2)").arg(path, release.version);
        const PackageFileReader::Result package = PackageFileReader::read(path);
        if (package.outcome != PackageFileReader::Outcome::Ok) {
            problem(&problems, QStringLiteral("%1: missing or unreadable").arg(name));
            continue;
        }
        if (package.bytes.size() != release.size)
            problem(&problems, QStringLiteral("%1: %2 bytes, the index lists %3").arg(name).arg(package.bytes.size()).arg(release.size));
        else if (Sha256::of(package.bytes) != release.sha256)
            problem(&problems, QStringLiteral("%1: SHA-256 is not the one the index lists").arg(name));
        const SignatureCheck own = PackageSignature::check(package.bytes, path, trusted);
        if (own.state != SignatureCheck::State::Valid)
            problem(&problems, QStringLiteral("%1: %2%3").arg(name, SignatureCheck::stateName(own.state),
                                                             own.detail.isEmpty() ? QString() : QStringLiteral(" (") + own.detail + QLatin1Char(')')));
    }
    if (problems == 0)
        std::printf("%s: sequence %lld, %lld release%s; nothing a client would refuse\n", qPrintable(indexPath),
                    static_cast<long long>(index.sequence), static_cast<long long>(index.releases.size()),
                    index.releases.size() == 1 ? "" : "s");
    return problems == 0 ? Success : CatalogueRefused;
}

} // namespace PtzCommands
