// Where an update's package came from when a maker's catalogue chose it: the index, its
// sequence, the release's version and channel. Empty for a package given as a file.
#pragma once

#include <QString>

struct CatalogueOrigin
{
    QString url;         // the index's URL as shown (CatalogueClient::shownUrl: no user or password)
    qint64 sequence = -1; // the checked index's sequence; -1 when the index was not believed
    QString version;     // the chosen release; empty when none was chosen
    QString channel;     // the chosen release's channel
    QString package;     // the chosen release's package file name as the index lists it ("k5-1.09.ptz")

    bool isSet() const { return !url.isEmpty(); }
};
