// Indexes for the catalogue tests: a release for given chips, written as JSON, signed by minisign.
#pragma once

#include "MinisignTool.h"
#include "PackageSignature.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace CatalogueFixture {

inline QJsonObject release(const QString &version, const QString &channel, const QByteArray &package,
                           const QString &file, const QStringList &hardware = {QStringLiteral("0101"), QStringLiteral("0102")},
                           const QString &arch = QStringLiteral("4B35"))
{
    QJsonArray images;
    for (const QString &code : hardware)
        images.append(QJsonObject{{QStringLiteral("hardware"), code}, {QStringLiteral("firmware"), version}});
    return QJsonObject{{QStringLiteral("version"), version},
                       {QStringLiteral("channel"), channel},
                       {QStringLiteral("released"), QStringLiteral("2026-12-01")},
                       {QStringLiteral("arch"), arch},
                       {QStringLiteral("images"), images},
                       {QStringLiteral("package"), file},
                       {QStringLiteral("size"), double(package.size())},
                       {QStringLiteral("sha256"), QString::fromLatin1(QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex())},
                       {QStringLiteral("notes"), QJsonObject{{QStringLiteral("en"), QStringLiteral("Smoother pan.")},
                                                             {QStringLiteral("zh_CN"), QStringLiteral("平移更顺滑。")}}}};
}

inline QByteArray index(qint64 sequence, const QList<QJsonObject> &releases, const QDateTime &expires = QDateTime())
{
    QJsonObject root{{QStringLiteral("format"), 1},
                     {QStringLiteral("sequence"), double(sequence)},
                     {QStringLiteral("published"), QStringLiteral("2026-12-01T10:00:00Z")}};
    if (expires.isValid())
        root.insert(QStringLiteral("expires"), expires.toUTC().toString(Qt::ISODate));
    QJsonArray list;
    for (const QJsonObject &entry : releases)
        list.append(entry);
    root.insert(QStringLiteral("releases"), list);
    return QJsonDocument(root).toJson();
}

// Writes `bytes` to DIR/`name` and signs it with key `key` of `keys`; returns the signature text.
inline QByteArray writeSigned(const QDir &dir, const QString &name, const QByteArray &bytes, const QDir &keys, const QString &key)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    file.close();
    if (!MinisignTool::sign(keys, key, file.fileName(), QStringLiteral("catalogue")))
        return {};
    QFile signature(file.fileName() + QStringLiteral(".minisig"));
    return signature.open(QIODevice::ReadOnly) ? signature.readAll() : QByteArray();
}

inline MinisignKey loadKey(const QDir &keys, const QString &name)
{
    MinisignKey key;
    QString why;
    TrustedKeys::loadFile(keys.filePath(name + QStringLiteral(".pub")), &key, &why);
    return key;
}

} // namespace CatalogueFixture
