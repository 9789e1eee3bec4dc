// Paints a Drawing onto a transparent image with QPainter (used for the PNG renders of the icon).
#pragma once

#include "Drawing.h"

#include <QImage>

namespace RasterRenderer {

// The whole view box stretched over a size x size (or width x height) transparent image.
QImage render(const Drawing &drawing, const QSize &size);

} // namespace RasterRenderer
