// Writes a Drawing as plain SVG text: path elements only, no text and no embedded bitmaps.
#include "SvgWriter.h"

namespace {

// Shortest decimal form with at most `decimals` decimals, so files stay small and diffs stay stable.
QByteArray number(double value, int decimals = 2)
{
    QByteArray text = QByteArray::number(value, 'f', decimals);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    if (text == "-0")
        text = "0";
    return text;
}

QByteArray point(double x, double y)
{
    return number(x) + ' ' + number(y);
}

QByteArray colorName(const QColor &color)
{
    return color.name(QColor::HexRgb).toUpper().toLatin1();
}

} // namespace

namespace SvgWriter {

QByteArray pathData(const QPainterPath &path)
{
    QByteArray data;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (!data.isEmpty())
            data += ' ';
        switch (e.type) {
        case QPainterPath::MoveToElement:
            data += "M" + point(e.x, e.y);
            break;
        case QPainterPath::LineToElement:
            data += "L" + point(e.x, e.y);
            break;
        case QPainterPath::CurveToElement: {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element end = path.elementAt(i + 2);
            data += "C" + point(e.x, e.y) + ' ' + point(c2.x, c2.y) + ' ' + point(end.x, end.y);
            i += 2;
            break;
        }
        case QPainterPath::CurveToDataElement:
            break; // consumed with its curve
        }
    }
    return data;
}

QByteArray toSvg(const Drawing &drawing)
{
    const QRectF box = drawing.viewBox();
    // View boxes keep three decimals: some are not whole numbers (426.395 x 307).
    const QByteArray width = number(box.width(), 3), height = number(box.height(), 3);
    QByteArray svg;
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.2\" baseProfile=\"tiny\" width=\""
           + width + "\" height=\"" + height + "\" viewBox=\"" + number(box.x(), 3) + ' '
           + number(box.y(), 3) + ' ' + width + ' ' + height + "\">\n";
    svg += "<g fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";
    for (const Stroke &s : drawing.strokes()) {
        svg += "<path stroke=\"" + colorName(s.color) + "\" stroke-width=\"" + number(s.width) + '"';
        if (s.opacity < 1.0)
            svg += " stroke-opacity=\"" + number(s.opacity) + '"';
        if (s.fill.isValid())
            svg += " fill=\"" + colorName(s.fill) + "\" fill-opacity=\"" + number(s.fillOpacity) + '"';
        svg += " d=\"" + pathData(s.path) + "\"/>\n";
    }
    svg += "</g>\n</svg>\n";
    return svg;
}

} // namespace SvgWriter
