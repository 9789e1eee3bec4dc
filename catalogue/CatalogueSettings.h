// Where the catalogue is and which channel is followed: an override, VELMORA_CATALOGUE, the settings.
#pragma once

#include <QString>

namespace CatalogueSettings {

// `override` (--catalogue) when given, else $VELMORA_CATALOGUE, else the window's setting
// catalogue/url; empty when no catalogue is set.
QString location(const QString &override = QString());
// The window's setting catalogue/channel, "stable" when unset.
QString channel();
void setLocation(const QString &location);
void setChannel(const QString &channel);

} // namespace CatalogueSettings
