// Paints a Drawing onto a transparent image with QPainter (used for the PNG renders of the icon).
#include "RasterRenderer.h"

#include <QPainter>

namespace RasterRenderer {

QImage render(const Drawing &drawing, const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = drawing.viewBox();
    painter.scale(size.width() / box.width(), size.height() / box.height());
    painter.translate(-box.topLeft());
    for (const Stroke &s : drawing.strokes()) {
        if (s.fill.isValid()) {
            QColor fill = s.fill;
            fill.setAlphaF(float(s.fillOpacity));
            painter.fillPath(s.path, fill);
        }
        QColor line = s.color;
        line.setAlphaF(float(s.opacity));
        painter.strokePath(s.path, QPen(line, s.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }
    painter.end();
    return image;
}

} // namespace RasterRenderer
