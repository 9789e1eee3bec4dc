// Draws the link and result pictures: plug joined or apart, check mark or cross in a circle.
#include "StatusPictures.h"

#include "Palette.h"

namespace {

const QSizeF stepBox(567, 408);

// A plug body facing right at `nose` (its contact end), with two prongs and a cable trailing left.
void addPlug(Drawing &d, const QPointF &nose, double size, const QPointF &cableEnd, bool prongsShown)
{
    const double h = size, w = size * 1.2;
    QPainterPath body;
    body.addRoundedRect(QRectF(nose.x() - w, nose.y() - h / 2, w, h), h * 0.12, h * 0.12);
    // grip ridges
    for (int i = 1; i <= 3; ++i) {
        const double x = nose.x() - w + w * 0.13 * i;
        body.moveTo(x, nose.y() - h * 0.32);
        body.lineTo(x, nose.y() + h * 0.32);
    }
    d.add(Stroke{body, Palette::line, 4, 1.0, Palette::line, 0.12});
    if (prongsShown) {
        QPainterPath prongs;
        for (double dy : {-0.22, 0.22})
            prongs.addRoundedRect(QRectF(nose.x(), nose.y() + h * dy - h * 0.06, w * 0.45, h * 0.12), 3, 3);
        d.addLine(prongs, Palette::line, 3.5);
    }
    QPainterPath boot; // strain relief
    boot.moveTo(nose.x() - w, nose.y() - h * 0.22);
    boot.lineTo(nose.x() - w - h * 0.35, nose.y() - h * 0.12);
    boot.lineTo(nose.x() - w - h * 0.35, nose.y() + h * 0.12);
    boot.lineTo(nose.x() - w, nose.y() + h * 0.22);
    d.addLine(boot, Palette::line, 4);
    QPainterPath cable;
    const QPointF start(nose.x() - w - h * 0.35, nose.y());
    cable.moveTo(start);
    cable.cubicTo(QPointF((start.x() + cableEnd.x()) / 2, start.y()), QPointF((start.x() + cableEnd.x()) / 2, cableEnd.y()),
                  cableEnd);
    d.addLine(cable, Palette::line, 6);
}

// A socket facing left at `mouth`, with two slots and a cable trailing right.
void addSocket(Drawing &d, const QPointF &mouth, double size, const QPointF &cableEnd)
{
    const double h = size * 1.15, w = size * 1.1;
    QPainterPath body;
    body.addRoundedRect(QRectF(mouth.x(), mouth.y() - h / 2, w, h), h * 0.12, h * 0.12);
    d.add(Stroke{body, Palette::line, 4, 1.0, Palette::line, 0.12});
    QPainterPath openings;
    for (double dy : {-0.19, 0.19})
        openings.addRoundedRect(QRectF(mouth.x() + w * 0.08, mouth.y() + h * dy - h * 0.06, w * 0.3, h * 0.12), 3, 3);
    d.addLine(openings, Palette::line, 3);
    QPainterPath cable;
    const QPointF start(mouth.x() + w, mouth.y());
    cable.moveTo(start);
    cable.cubicTo(QPointF((start.x() + cableEnd.x()) / 2, start.y()), QPointF((start.x() + cableEnd.x()) / 2, cableEnd.y()),
                  cableEnd);
    d.addLine(cable, Palette::line, 6);
}

QPainterPath circle(const QPointF &c, double r)
{
    QPainterPath p;
    p.addEllipse(c, r, r);
    return p;
}

} // namespace

namespace StatusPictures {

Drawing connect()
{
    Drawing d(QRectF(0, 0, 426.395, 307));
    const QPointF centre(213.2, 153.5);
    const double size = 72;
    // the plug is seated: its prongs are inside the socket and the two bodies touch
    addPlug(d, centre, size, QPointF(20, 220), false);
    addSocket(d, centre, size, QPointF(406, 90));
    // short rays around the joint say "live"
    QPainterPath rays;
    const QPointF joint = centre;
    for (int i = 0; i < 2; ++i) {
        const double y = i ? 1 : -1;
        rays.moveTo(joint + QPointF(-size * 0.35, y * size * 0.85));
        rays.lineTo(joint + QPointF(-size * 0.5, y * size * 1.15));
        rays.moveTo(joint + QPointF(0, y * size * 0.9));
        rays.lineTo(joint + QPointF(0, y * size * 1.25));
        rays.moveTo(joint + QPointF(size * 0.35, y * size * 0.85));
        rays.lineTo(joint + QPointF(size * 0.5, y * size * 1.15));
    }
    d.addLine(rays, Palette::line, 4);
    return d;
}

Drawing disconnect()
{
    Drawing d(QRectF(QPointF(0, 0), stepBox));
    const QPointF centre(283.5, 204);
    const double size = 80;
    const double gap = 70;
    addPlug(d, centre + QPointF(-gap / 2 - size * 0.54, 0), size, QPointF(25, 300), true);
    addSocket(d, centre + QPointF(gap / 2, 0), size, QPointF(542, 110));
    QPainterPath slash; // a broken link
    slash.moveTo(centre + QPointF(-gap * 0.45, size * 1.05));
    slash.lineTo(centre + QPointF(gap * 0.45, -size * 1.05));
    d.addLine(slash, Palette::line, 6);
    return d;
}

Drawing success()
{
    Drawing d(QRectF(QPointF(0, 0), stepBox));
    const QPointF c(283.5, 204);
    d.add(Stroke{circle(c, 150), Palette::line, 10, 1.0, Palette::line, 0.08});
    QPainterPath check;
    check.moveTo(c + QPointF(-78, 4));
    check.lineTo(c + QPointF(-22, 62));
    check.lineTo(c + QPointF(86, -62));
    d.addLine(check, Palette::line, 20);
    return d;
}

Drawing fail()
{
    Drawing d(QRectF(QPointF(0, 0), stepBox));
    const QPointF c(283.5, 204);
    d.add(Stroke{circle(c, 150), Palette::line, 10, 1.0, Palette::line, 0.08});
    QPainterPath cross;
    cross.moveTo(c + QPointF(-66, -66));
    cross.lineTo(c + QPointF(66, 66));
    cross.moveTo(c + QPointF(66, -66));
    cross.lineTo(c + QPointF(-66, 66));
    d.addLine(cross, Palette::line, 20);
    return d;
}

} // namespace StatusPictures
