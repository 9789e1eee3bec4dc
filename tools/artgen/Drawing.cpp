// A resolution-free picture: stroked (and optionally translucently filled) paths in a view box.
#include "Drawing.h"

void Drawing::addLine(const QPainterPath &path, const QColor &color, double width, double opacity)
{
    Stroke stroke;
    stroke.path = path;
    stroke.color = color;
    stroke.width = width;
    stroke.opacity = opacity;
    items.push_back(stroke);
}
