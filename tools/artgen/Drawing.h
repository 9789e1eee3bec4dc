// A resolution-free picture: stroked (and optionally translucently filled) paths in a view box.
#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <vector>

struct Stroke {
    QPainterPath path;
    QColor color;
    double width = 1.0;
    double opacity = 1.0;
    QColor fill;              // invalid: not filled
    double fillOpacity = 0.0; // only used when fill is valid
};

class Drawing
{
public:
    explicit Drawing(const QRectF &viewBox) : box(viewBox) {}

    const QRectF &viewBox() const { return box; }
    const std::vector<Stroke> &strokes() const { return items; }

    void add(const Stroke &stroke) { items.push_back(stroke); }
    void addLine(const QPainterPath &path, const QColor &color, double width, double opacity = 1.0);

private:
    QRectF box;
    std::vector<Stroke> items;
};
