// Draws one calibration step: the product resting in one of its six orientations, with a down arrow.
#include "StepPicture.h"

#include "LineArtProjector.h"
#include "Palette.h"
#include "ProductModels.h"

#include <QMatrix4x4>

namespace {

// World axes: +Y up, the viewer looking from a raised three-quarter position.
const QVector3D towardViewer(0.55f, 0.3f, 0.78f);

} // namespace

// The device-to-world rotation for a face. The accelerometer reads +1 g along the device axis that
// points up, so face n (reading +X, -X, +Y, -Y, +Z, -Z) rests with that axis up. The handle and head,
// the largest parts, point a different way in each of the six poses, so the poses tell apart at a glance.
QMatrix4x4 StepPicture::restingPose(int face)
{
    static const QVector3D X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1);
    QVector3D up, right;
    switch (face) {
    case 1: up = X; right = -Z; break;  // lens up, head to the left
    case 2: up = -X; right = Z; break;  // lens down, head to the right
    case 3: up = Y; right = -X; break;  // on its right side, head away from the viewer
    case 4: up = -Y; right = -X; break; // on its left side, head toward the viewer
    case 5: up = Z; right = Y; break;   // upright
    default: up = -Z; right = -Y; break; // upside down
    }
    const QVector3D toward = QVector3D::crossProduct(right, up);
    // Rows map device coordinates onto world right (x), up (y) and toward the front (z).
    QMatrix4x4 m;
    m.setRow(0, QVector4D(right, 0));
    m.setRow(1, QVector4D(up, 0));
    m.setRow(2, QVector4D(toward, 0));
    return m;
}

namespace {

QPainterPath chain(const std::vector<QLineF> &lines)
{
    QPainterPath path;
    QPointF last(1e9, 1e9);
    for (const QLineF &l : lines) {
        if (QLineF(last, l.p1()).length() > 0.05)
            path.moveTo(l.p1());
        path.lineTo(l.p2());
        last = l.p2();
    }
    return path;
}

void addDownArrow(Drawing &drawing, const QRectF &area)
{
    const double x = area.center().x();
    const double top = area.top(), bottom = area.bottom();
    const double head = area.width() * 0.45;
    QPainterPath shaft;
    shaft.moveTo(x, top);
    shaft.lineTo(x, bottom - head * 0.9);
    drawing.addLine(shaft, Palette::line, 5);
    QPainterPath tip;
    tip.moveTo(x - head * 0.6, bottom - head);
    tip.lineTo(x, bottom);
    tip.lineTo(x + head * 0.6, bottom - head);
    tip.closeSubpath();
    Stroke s{tip, Palette::line, 3, 1.0, Palette::line, 0.35};
    drawing.add(s);
    // a small earth symbol under the arrow: three shortening bars
    QPainterPath ground;
    for (int i = 0; i < 3; ++i) {
        const double half = head * (0.9 - 0.3 * i);
        const double y = bottom + 12 + 8 * i;
        ground.moveTo(x - half, y);
        ground.lineTo(x + half, y);
    }
    drawing.addLine(ground, Palette::line, 3);
}

} // namespace

namespace StepPicture {

Drawing draw(const QString &set, int face, const QSizeF &viewBox)
{
    Mesh device = ProductModels::model(set);
    device.transform(restingPose(face));

    // A table top under the lowest point, so that the resting pose reads at once.
    const QVector3D lo = device.minimum(), hi = device.maximum();
    const float pad = 0.08f * std::max(hi.x() - lo.x(), hi.z() - lo.z()) + 6;
    Mesh scene = device;
    QMatrix4x4 table;
    table.translate((lo.x() + hi.x()) / 2, lo.y() - 4, (lo.z() + hi.z()) / 2);
    scene.addBox(table, QVector3D(hi.x() - lo.x() + 2 * pad, 8, hi.z() - lo.z() + 2 * pad));

    const LineArtProjector projector(towardViewer);
    const auto lines = projector.project(scene);
    QRectF bounds;
    for (const auto &l : lines)
        bounds = bounds.united(QRectF(l.line.p1(), l.line.p2()).normalized());

    const QRectF box(QPointF(0, 0), viewBox);
    const double margin = box.height() * 0.06;
    const QRectF arrowArea(box.right() - box.width() * 0.1, box.top() + box.height() * 0.22, box.width() * 0.06,
                           box.height() * 0.5);
    const QRectF art(box.left() + margin, box.top() + margin, arrowArea.left() - 2 * margin,
                     box.height() - 2 * margin);
    const double scale = std::min(art.width() / bounds.width(), art.height() / bounds.height());
    QTransform fit;
    fit.translate(art.center().x(), art.center().y());
    fit.scale(scale, scale);
    fit.translate(-bounds.center().x(), -bounds.center().y());

    std::vector<QLineF> outlines, creases;
    for (const auto &l : lines)
        (l.outline ? outlines : creases).push_back(fit.map(l.line));
    Drawing drawing(box);
    // The picture is shown at about half size in the window: these weights stay visible there.
    drawing.addLine(chain(creases), Palette::line, 1.7);
    drawing.addLine(chain(outlines), Palette::line, 3.0);
    addDownArrow(drawing, arrowArea);
    return drawing;
}

} // namespace StepPicture
