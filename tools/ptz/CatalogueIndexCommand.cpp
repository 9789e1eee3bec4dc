// velmora-ptz catalogue: writes the index of the packages in a folder, for the maker to sign.
#include "CatalogueIndex.h"
#include "PackageFileReader.h"
#include "PtzCommands.h"
#include "PtzFile.h"
#include "Sha256.h"

#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSaveFile>
#include <cstdio>

namespace PtzCommands {

namespace {

QString code(uint16_t value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

// The notes of `version` from DIR/VERSION.LANGUAGE.txt ("1.07.en.txt", "1.07.zh_CN.txt").
QJsonObject notesFrom(const QString &dir, const QString &version)
{
    QJsonObject notes;
    const QString prefix = version + QLatin1Char('.');
    for (const QFileInfo &file : QDir(dir).entryInfoList({prefix + QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
        const PackageFileReader::Result text = PackageFileReader::read(file.filePath(), 64 * 1024);
        const QString language = file.fileName().mid(prefix.size()).chopped(4);
        if (text.outcome == PackageFileReader::Outcome::Ok && !language.isEmpty() && !language.contains(QLatin1Char('.')))
            notes.insert(language, QString::fromUtf8(text.bytes).trimmed());
    }
    return notes;
}

// The day or time --expires gives; invalid for anything else.
QDateTime expiryFrom(const QString &text)
{
    QDateTime expires = QDateTime::fromString(text, Qt::ISODate);
    if (!expires.isValid() && QDate::fromString(text, Qt::ISODate).isValid())
        expires = QDateTime(QDate::fromString(text, Qt::ISODate), QTime(0, 0), Qt::UTC);
    return expires;
}

QJsonObject notesObject(const QMap<QString, QString> &notes)
{
    QJsonObject object;
    for (auto it = notes.cbegin(); it != notes.cend(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

} // namespace

int catalogue(const QStringList &arguments)
{
    if (arguments.value(0) == QLatin1String("check"))
        return catalogueCheck(arguments.mid(1));
    // The package reader's listing of each package would bury the one line this prints.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    QString folder, channel = QStringLiteral("stable"), notesDir;
    QDateTime expires;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            std::fputs(catalogueHelp().toLocal8Bit().constData(), stdout);
            return Success;
        }
        const bool takesValue = argument == QLatin1String("--channel") || argument == QLatin1String("--notes-from") || argument == QLatin1String("--expires");
        if (takesValue && i + 1 >= arguments.size())
            return fail(UsageError, QStringLiteral("catalogue: %1 needs a value").arg(argument));
        if (argument == QLatin1String("--channel"))
            channel = arguments.at(++i);
        else if (argument == QLatin1String("--notes-from"))
            notesDir = arguments.at(++i);
        else if (argument == QLatin1String("--expires")) {
            const QString text = arguments.at(++i);
            expires = expiryFrom(text);
            if (!expires.isValid())
                return fail(UsageError, QStringLiteral("catalogue: --expires takes a date or an ISO time, not '%1'").arg(text));
            // An index that is expired when published refuses every download.
            if (expires <= QDateTime::currentDateTimeUtc())
                return fail(UsageError, QStringLiteral("catalogue: --expires %1 is already past").arg(text));
        } else if (argument.startsWith(QLatin1String("--")) || !folder.isEmpty())
            return fail(UsageError, QStringLiteral("catalogue: unexpected argument '%1'").arg(argument));
        else
            folder = argument;
    }
    if (folder.isEmpty())
        return fail(UsageError, QStringLiteral("catalogue: no folder given"));
    const QDir dir(folder);
    const QString indexPath = dir.filePath(QStringLiteral("catalogue.json"));

    // The index already there is where this one starts: its releases keep their channel, date
    // and notes, its expiry stays unless another is given, and the sequence goes above it.
    CatalogueIndex old;
    const PackageFileReader::Result previous = PackageFileReader::read(indexPath, CatalogueIndex::SizeLimit);
    if (previous.outcome == PackageFileReader::Outcome::Ok) {
        QString why;
        if (!CatalogueIndex::parse(previous.bytes, &old, &why))
            return fail(FileError, QStringLiteral("catalogue: %1: %2; move it away to start over").arg(indexPath, why));
    } else if (previous.outcome != PackageFileReader::Outcome::Missing)
        return fail(FileError, QStringLiteral("catalogue: %1 cannot be read; move it away to start over").arg(indexPath));
    if (!expires.isValid() && old.expires.isValid()) {
        if (old.expiredAt(QDateTime::currentDateTimeUtc()))
            return fail(UsageError, QStringLiteral("catalogue: the index expired on %1; give a new --expires").arg(old.expires.toString(Qt::ISODate)));
        expires = old.expires;
    }
    QHash<QString, CatalogueRelease> listed; // package file name -> its release in the old index
    for (const CatalogueRelease &release : std::as_const(old.releases)) {
        listed.insert(release.package, release);
        // A release whose package is gone would be offered and then fail every download.
        if (!QFileInfo(dir.filePath(release.package)).isFile())
            return fail(FileError, QStringLiteral("catalogue: release %1 lists %2, which is not in %3; put it back, or remove the release from %4")
                                       .arg(release.version, release.package, dir.path(), indexPath));
    }

    QJsonArray releases;
    for (const QFileInfo &file : dir.entryInfoList({QStringLiteral("*.ptz")}, QDir::Files, QDir::Name)) {
        const PackageFileReader::Result read = PackageFileReader::read(file.filePath());
        PtzFile package;
        if (read.outcome != PackageFileReader::Outcome::Ok || !package.unpack(read.bytes))
            return fail(FileError, QStringLiteral("catalogue: %1 is not a readable package").arg(file.filePath()));
        const ptzHeader &header = package.header();
        const QString version = CatalogueVersions::fromCode(header.images.first().firmware);
        QJsonArray images;
        for (const ptzImage &image : header.images)
            images.append(QJsonObject{{QStringLiteral("hardware"), code(image.hardware)}, {QStringLiteral("firmware"), CatalogueVersions::fromCode(image.firmware)}});
        const QByteArray digest = Sha256::of(read.bytes);
        const auto before = listed.constFind(file.fileName());
        // A published package whose bytes changed under the same name would be refused by every
        // client that kept the first one, and by every client against a signature made for it.
        if (before != listed.cend() && (before->size != read.bytes.size() || before->sha256 != digest))
            return fail(FileError, QStringLiteral("catalogue: %1 is not the package the index lists for release %2 (size or digest changed); "
                                                  "publish a changed package under a new name")
                                       .arg(file.filePath(), before->version));
        const bool kept = before != listed.cend();
        QJsonObject release{{QStringLiteral("version"), version},
                            {QStringLiteral("channel"), kept ? before->channel : channel},
                            {QStringLiteral("released"), (kept && before->released.isValid() ? before->released : file.lastModified().toUTC().date()).toString(Qt::ISODate)},
                            {QStringLiteral("arch"), code(header.arch)},
                            {QStringLiteral("images"), images},
                            {QStringLiteral("package"), file.fileName()},
                            {QStringLiteral("size"), double(read.bytes.size())},
                            {QStringLiteral("sha256"), QString::fromLatin1(digest.toHex())}};
        QJsonObject notes = kept ? notesObject(before->notes) : QJsonObject();
        if (!notesDir.isEmpty()) {
            const QJsonObject given = notesFrom(notesDir, version);
            if (!given.isEmpty())
                notes = given;
        }
        if (!notes.isEmpty())
            release.insert(QStringLiteral("notes"), notes);
        releases.append(release);
    }
    const qint64 sequence = old.sequence + 1;
    QJsonObject index{{QStringLiteral("format"), 1},
                      {QStringLiteral("sequence"), double(sequence)},
                      {QStringLiteral("published"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
                      {QStringLiteral("releases"), releases}};
    if (expires.isValid())
        index.insert(QStringLiteral("expires"), expires.toUTC().toString(Qt::ISODate));
    const QByteArray text = QJsonDocument(index).toJson();
    CatalogueIndex check;
    QString why;
    if (!CatalogueIndex::parse(text, &check, &why))
        return fail(FileError, QStringLiteral("catalogue: the index would not read back: %1").arg(why));
    QSaveFile out(indexPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit())
        return fail(FileError, QStringLiteral("catalogue: cannot write %1: %2").arg(indexPath, out.errorString()));
    std::printf("%s: sequence %lld, %lld release%s%s; now sign it: minisign -S -s KEY -m %s\n", qPrintable(indexPath),
                static_cast<long long>(sequence), static_cast<long long>(releases.size()), releases.size() == 1 ? "" : "s",
                expires.isValid() ? qPrintable(QStringLiteral(", expires ") + expires.toUTC().toString(Qt::ISODate)) : "",
                qPrintable(indexPath));
    return Success;
}

QString catalogueHelp()
{
    return QStringLiteral("Usage: velmora-ptz catalogue FOLDER [--channel C] [--notes-from DIR] [--expires DATE]\n"
                          "       velmora-ptz catalogue check FOLDER [--days N] [--key K.pub]\n"
                          "Writes FOLDER/catalogue.json, the index of the packages (*.ptz) in FOLDER: each\n"
                          "package's version, chips, size and SHA-256. It starts from the index already\n"
                          "there: the sequence goes one above it, the releases it lists keep their channel,\n"
                          "date and notes, and its expiry stays unless --expires gives another. Refused,\n"
                          "with nothing written: an expiry already past, a listed package whose size or\n"
                          "digest changed (publish it under a new name), a listed package that is gone.\n"
                          "\n"
                          "  --channel C      channel of the packages not listed before (default stable)\n"
                          "  --notes-from DIR release notes from DIR/VERSION.LANGUAGE.txt (1.07.en.txt),\n"
                          "                   in place of the notes kept for that version\n"
                          "  --expires DATE   the index is not used for new downloads after DATE\n"
                          "\n"
                          "Then sign each package and the index with minisign (P.ptz.minisig,\n"
                          "FOLDER/catalogue.json.minisig), run the check and publish the whole folder.\n"
                          "\n"
                          "check says, one line each, what a client would refuse: an index signature that\n"
                          "does not hold for a trusted key, a package missing, of another size or digest\n"
                          "than listed, unsigned or not signed by a trusted key, an index that expires\n"
                          "within N days (--days, default 14). Keys are found as for verify; --key K.pub\n"
                          "trusts that key alone. Exit status 0 when nothing would be refused, 3 otherwise.\n"
                          "\n")
           + exitStatusText();
}

} // namespace PtzCommands
