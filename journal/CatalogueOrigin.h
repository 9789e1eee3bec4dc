// Where an update's package came from when a maker's catalogue chose it: the index, its
// sequence, the release's version and channel. Empty for a package given as a file.
#pragma once

#include <QString>
#include <QUrl>

struct CatalogueOrigin
{
    QString url;         // the index's URL (without user or password)
    qint64 sequence = -1; // the checked index's sequence; -1 when the index was not believed
    QString version;     // the chosen release; empty when none was chosen
    QString channel;     // the chosen release's channel

    bool isSet() const { return !url.isEmpty(); }

    // The URL as a record or a screen shows it: a catalogue behind a login may carry the login
    // in its URL, and the journal is read on a whole line.
    static QString withoutUserInfo(const QString &url)
    {
        const QUrl parsed(url);
        return parsed.isValid() ? parsed.toString(QUrl::RemoveUserInfo | QUrl::FullyEncoded) : QString();
    }
};
