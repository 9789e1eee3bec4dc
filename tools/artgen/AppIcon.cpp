// The application icon: a small gimbal with its camera on a dark rounded tile.
#include "AppIcon.h"

#include "Palette.h"

namespace AppIcon {

Drawing draw()
{
    Drawing d(QRectF(0, 0, 256, 256));
    QPainterPath tile;
    tile.addRoundedRect(QRectF(12, 12, 232, 232), 44, 44);
    d.add(Stroke{tile, Palette::accent, 8, 1.0, Palette::background, 1.0});

    QPainterPath handle;
    handle.addRoundedRect(QRectF(108, 166, 40, 66), 16, 16);
    d.add(Stroke{handle, Palette::line, 10, 1.0, Palette::line, 0.25});

    QPainterPath arm; // from the pan motor round to the tilt motor beside the camera
    arm.moveTo(128, 150);
    arm.lineTo(56, 150);
    arm.lineTo(56, 92);
    d.addLine(arm, Palette::line, 12);

    QPainterPath motors;
    motors.addEllipse(QPointF(128, 150), 15, 15);
    motors.addEllipse(QPointF(56, 92), 17, 17);
    d.add(Stroke{motors, Palette::line, 8, 1.0, Palette::accent, 1.0});

    QPainterPath camera;
    camera.addRoundedRect(QRectF(84, 58, 128, 68), 12, 12);
    d.add(Stroke{camera, Palette::line, 10, 1.0, Palette::line, 0.25});
    QPainterPath lens;
    lens.addEllipse(QPointF(156, 92), 22, 22);
    lens.addEllipse(QPointF(156, 92), 8, 8);
    d.add(Stroke{lens, Palette::line, 8, 1.0, Palette::accent, 0.9});
    return d;
}

} // namespace AppIcon
