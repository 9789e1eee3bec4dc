// Paints the style sheet's small PNG icons (arrows, tree branches, grips, check mark, ...).
#include "StyleIcons.h"

#include "Palette.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <functional>

namespace {

enum class Direction { Up, Down, Left, Right };

QImage paint(int w, int h, const std::function<void(QPainter &)> &draw, bool smooth = true)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, smooth);
    draw(p);
    p.end();
    return image;
}

// A solid triangle pointing in `direction`: drawn pointing down with its base on a pixel row,
// then turned, so every direction is equally crisp.
QImage triangle(int size, Direction direction, const QColor &color)
{
    return paint(size, size, [&](QPainter &p) {
        const double c = size / 2.0;
        const double half = size * 0.4, depth = size * 0.45;
        const double base = std::floor(c - depth / 2);
        p.translate(c, c);
        p.rotate(direction == Direction::Down ? 0 : direction == Direction::Left ? 90 : direction == Direction::Up ? 180 : 270);
        p.translate(-c, -c);
        QPolygonF poly;
        poly << QPointF(c - half, base) << QPointF(c + half, base) << QPointF(c, base + depth);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPolygon(poly);
    });
}

// A line of 1-pixel dots, the grip of a movable tool bar.
QImage grip(int w, int h, bool vertical)
{
    return paint(w, h, [&](QPainter &p) {
        const int length = vertical ? h : w;
        for (int i = 3; i < length - 2; i += 3) {
            for (int row = -1; row <= 1; row += 2) {
                const int x = vertical ? w / 2 + row : i;
                const int y = vertical ? i : h / 2 + row;
                p.fillRect(x, y, 1, 1, Palette::silver);
            }
        }
    }, false);
}

QImage separator(int w, int h, bool vertical)
{
    return paint(w, h, [&](QPainter &p) {
        if (vertical)
            p.fillRect(w / 2, 2, 1, h - 4, Palette::disabled);
        else
            p.fillRect(2, h / 2, w - 4, 1, Palette::disabled);
    }, false);
}

// Tree guide lines: a dotted vertical through the item, and optionally a branch to its right.
QImage branchLine(bool down, bool branch)
{
    return paint(16, 16, [&](QPainter &p) {
        const int bottom = down ? 16 : 8;
        for (int y = 0; y < bottom; y += 2)
            p.fillRect(7, y, 1, 1, Palette::disabled);
        if (branch)
            for (int x = 9; x < 16; x += 2)
                p.fillRect(x, 8, 1, 1, Palette::disabled);
    }, false);
}

} // namespace

namespace StyleIcons {

std::vector<Icon> all()
{
    const QColor on = Palette::silver.lighter(125);
    std::vector<Icon> icons = {
        {QStringLiteral("Hmovetoolbar.png"), grip(10, 32, true)},
        {QStringLiteral("Vmovetoolbar.png"), grip(32, 10, false)},
        {QStringLiteral("Hsepartoolbar.png"), separator(6, 32, true)},
        {QStringLiteral("Vsepartoolbar.png"), separator(32, 6, false)},
        {QStringLiteral("stylesheet-branch-more.png"), branchLine(true, true)},
        {QStringLiteral("stylesheet-branch-end.png"), branchLine(false, true)},
        {QStringLiteral("stylesheet-vline.png"), branchLine(true, false)},
        {QStringLiteral("branch_open.png"), triangle(9, Direction::Down, Palette::silver)},
        {QStringLiteral("branch_open-on.png"), triangle(9, Direction::Down, on)},
        {QStringLiteral("branch_closed.png"), triangle(9, Direction::Right, Palette::silver)},
        {QStringLiteral("branch_closed-on.png"), triangle(9, Direction::Right, on)},
        {QStringLiteral("right_arrow.png"), triangle(10, Direction::Right, Palette::silver)},
        {QStringLiteral("right_arrow_disabled.png"), triangle(10, Direction::Right, Palette::disabled)},
        {QStringLiteral("left_arrow.png"), triangle(10, Direction::Left, Palette::silver)},
        {QStringLiteral("left_arrow_disabled.png"), triangle(10, Direction::Left, Palette::disabled)},
        {QStringLiteral("up_arrow.png"), triangle(10, Direction::Up, Palette::silver)},
        {QStringLiteral("up_arrow_disabled.png"), triangle(10, Direction::Up, Palette::disabled)},
        {QStringLiteral("down_arrow.png"), triangle(10, Direction::Down, Palette::silver)},
        {QStringLiteral("down_arrow_disabled.png"), triangle(10, Direction::Down, Palette::disabled)},
    };
    icons.push_back({QStringLiteral("checkbox.png"), paint(15, 15, [](QPainter &p) {
                         QPainterPath tick;
                         tick.moveTo(3, 7.5);
                         tick.lineTo(6.2, 10.8);
                         tick.lineTo(12, 3.8);
                         p.strokePath(tick, QPen(Palette::silver, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                     })});
    icons.push_back({QStringLiteral("undock.png"), paint(10, 10, [](QPainter &p) {
                         p.setPen(QPen(Palette::silver, 1));
                         p.drawRect(3, 0, 6, 6);
                         p.setCompositionMode(QPainter::CompositionMode_Clear); // the front window hides the back one
                         p.fillRect(0, 3, 7, 7, Qt::transparent);
                         p.setCompositionMode(QPainter::CompositionMode_SourceOver);
                         p.drawRect(0, 3, 6, 6);
                     }, false)});
    icons.push_back({QStringLiteral("close.png"), paint(10, 10, [](QPainter &p) {
                         p.setPen(QPen(Palette::silver, 1.6, Qt::SolidLine, Qt::RoundCap));
                         p.drawLine(QPointF(1.5, 1.5), QPointF(8.5, 8.5));
                         p.drawLine(QPointF(8.5, 1.5), QPointF(1.5, 8.5));
                     })});
    icons.push_back({QStringLiteral("sizegrip.png"), paint(13, 13, [](QPainter &p) {
                         for (int row = 0; row < 4; ++row)
                             for (int col = 3 - row; col < 4; ++col)
                                 p.fillRect(1 + col * 3, 1 + row * 3, 2, 2, Palette::silver);
                     }, false)});
    icons.push_back({QStringLiteral("transparent.png"), paint(10, 10, [](QPainter &) {})});
    return icons;
}

} // namespace StyleIcons
