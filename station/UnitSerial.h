// A unit's serial as a barcode scanner or a script gives it.
#pragma once

#include <QString>

namespace UnitSerial {

// The longest serial kept.
constexpr int MaxLength = 64;

// The serial in `typed` as the journal keeps it: full-width characters made plain, the
// scanner's surrounding blanks and line ends dropped. Empty when `typed` is no serial (empty,
// too long, or holding a character a label does not carry).
QString normalized(const QString &typed);

// Whether this station writes a gimbal only once its unit serial is known: the setting
// station/require-serial of the window's settings (a line sets it for every user in
// /etc/xdg/Velmora/Velmora.conf).
bool required();

} // namespace UnitSerial
