// Writes a Drawing as plain SVG text: path elements only, no text and no embedded bitmaps.
#pragma once

#include "Drawing.h"

#include <QByteArray>

namespace SvgWriter {

QByteArray toSvg(const Drawing &drawing);

// The path data ("M 1 2 L 3 4 ...") of a painter path, coordinates rounded to two decimals.
QByteArray pathData(const QPainterPath &path);

} // namespace SvgWriter
