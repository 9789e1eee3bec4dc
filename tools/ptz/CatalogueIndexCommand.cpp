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

} // namespace

int catalogue(const QStringList &arguments)
{
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
            expires = QDateTime::fromString(text, Qt::ISODate);
            if (!expires.isValid() && QDate::fromString(text, Qt::ISODate).isValid())
                expires = QDateTime(QDate::fromString(text, Qt::ISODate), QTime(0, 0), Qt::UTC);
            if (!expires.isValid())
                return fail(UsageError, QStringLiteral("catalogue: --expires takes a date or an ISO time, not '%1'").arg(text));
        } else if (argument.startsWith(QLatin1String("--")) || !folder.isEmpty())
            return fail(UsageError, QStringLiteral("catalogue: unexpected argument '%1'").arg(argument));
        else
            folder = argument;
    }
    if (folder.isEmpty())
        return fail(UsageError, QStringLiteral("catalogue: no folder given"));
    const QDir dir(folder);
    const QString indexPath = dir.filePath(QStringLiteral("catalogue.json"));

    // The index already there gives the next sequence and the channel of each package it lists.
    qint64 sequence = 1;
    QHash<QString, QString> channels; // sha256 -> channel
    const PackageFileReader::Result previous = PackageFileReader::read(indexPath, CatalogueIndex::SizeLimit);
    if (previous.outcome == PackageFileReader::Outcome::Ok) {
        CatalogueIndex old;
        QString why;
        if (!CatalogueIndex::parse(previous.bytes, &old, &why))
            return fail(FileError, QStringLiteral("catalogue: %1: %2; move it away to start over").arg(indexPath, why));
        sequence = old.sequence + 1;
        for (const CatalogueRelease &release : old.releases)
            channels.insert(QString::fromLatin1(release.sha256.toHex()), release.channel);
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
        const QString digest = QString::fromLatin1(Sha256::of(read.bytes).toHex());
        QJsonObject release{{QStringLiteral("version"), version},
                            {QStringLiteral("channel"), channels.value(digest, channel)},
                            {QStringLiteral("released"), file.lastModified().toUTC().date().toString(Qt::ISODate)},
                            {QStringLiteral("arch"), code(header.arch)},
                            {QStringLiteral("images"), images},
                            {QStringLiteral("package"), file.fileName()},
                            {QStringLiteral("size"), double(read.bytes.size())},
                            {QStringLiteral("sha256"), digest}};
        if (!notesDir.isEmpty()) {
            const QJsonObject notes = notesFrom(notesDir, version);
            if (!notes.isEmpty())
                release.insert(QStringLiteral("notes"), notes);
        }
        releases.append(release);
    }
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
    std::printf("%s: sequence %lld, %lld releases; now sign it: minisign -S -s KEY -m %s\n", qPrintable(indexPath),
                static_cast<long long>(sequence), static_cast<long long>(releases.size()), qPrintable(indexPath));
    return Success;
}

QString catalogueHelp()
{
    return QStringLiteral("Usage: velmora-ptz catalogue FOLDER [--channel C] [--notes-from DIR] [--expires DATE]\n"
                          "Writes FOLDER/catalogue.json, the index of the packages (*.ptz) in FOLDER: each\n"
                          "package's version, chips, size and SHA-256. The sequence is one above the index\n"
                          "already there, whose channels are kept for the packages it lists.\n"
                          "\n"
                          "  --channel C      channel of the packages not listed before (default stable)\n"
                          "  --notes-from DIR release notes from DIR/VERSION.LANGUAGE.txt (1.07.en.txt)\n"
                          "  --expires DATE   the index is not used for new downloads after DATE\n"
                          "\n"
                          "Then sign the index with minisign (FOLDER/catalogue.json.minisig) and publish\n"
                          "the whole folder.\n");
}

} // namespace PtzCommands
