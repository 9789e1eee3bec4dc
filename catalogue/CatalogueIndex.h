// A maker's index of firmware releases (catalogue.json), parsed strictly from outside bytes.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>

struct CatalogueImage
{
    uint16_t hardware = 0; // the chip's hardware code
    QString firmware;      // the version the image carries, "1.07"
};

struct CatalogueRelease
{
    QString version; // "1.07"
    QString channel; // "stable", "beta", ...
    QDate released;
    uint16_t arch = 0; // the first chip's architecture code
    QList<CatalogueImage> images;
    QString package;   // URL relative to the index, or absolute
    qint64 size = 0;   // exact size of the package in bytes
    QByteArray sha256; // 32 bytes
    QMap<QString, QString> notes; // language ("en", "zh_CN") -> text

    // The notes in `language` ("zh_CN", then "zh"), else English, else any.
    QString notesFor(const QString &language) const;
};

struct CatalogueIndex
{
    int format = 1;
    qint64 sequence = 0;
    QDateTime published;
    QDateTime expires; // invalid when the index does not expire
    QList<CatalogueRelease> releases;

    // An index is metadata, never firmware: anything larger is not one.
    static constexpr qint64 SizeLimit = 1024 * 1024;

    // Parses an index; false with the reason for anything malformed, a format other than 1,
    // a field of the wrong type, a code that is not four upper-case hex digits. Unknown fields
    // are ignored.
    static bool parse(const QByteArray &bytes, CatalogueIndex *index, QString *why);

    bool expiredAt(const QDateTime &now) const { return expires.isValid() && now >= expires; }
};

namespace CatalogueVersions {
// Whether `text` is a version ("1.07", "2", "1.2.3": decimal numbers joined by dots).
bool valid(const QString &text);
// <0, 0, >0 as `a` is older than, the same as or newer than `b`, number by number ("1.10" > "1.9").
int compare(const QString &a, const QString &b);
// A chip's firmware code (version times 100) as the index writes it: 107 -> "1.07".
QString fromCode(uint16_t firmware);
} // namespace CatalogueVersions
