// The colours shared by every generated picture and icon, chosen for the dark style sheet.
#pragma once

#include <QColor>

namespace Palette {

inline const QColor line(0xDC, 0xDC, 0xDC);      // light grey line art
inline const QColor silver(0xC0, 0xC0, 0xC0);    // style sheet text and icons
inline const QColor disabled(0x6E, 0x6D, 0x6D);  // disabled icons
inline const QColor background(0x30, 0x2F, 0x2F);
inline const QColor accent(0x78, 0x87, 0x9B);    // selection colour
inline const QColor border(0x3A, 0x39, 0x39);

} // namespace Palette
