// Paints the scrolling sensor curves.
#include "SensorPlot.h"

#include "SampleRing.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPolygonF>
#include <cmath>

namespace {

// X, Y, Z and modulus, readable on the dark style and on a light one.
const QColor kCurveColors[4] = {QColor(0xe0, 0x50, 0x50), QColor(0x50, 0xc0, 0x50), QColor(0x50, 0x90, 0xf0),
                                QColor(0xe0, 0xc0, 0x40)};

float value(const SensorReadout &r, bool gyro, int curve)
{
    switch (curve) {
    case 0: return gyro ? r.gx : r.ax;
    case 1: return gyro ? r.gy : r.ay;
    case 2: return gyro ? r.gz : r.az;
    default: return gyro ? r.gmod : r.amod;
    }
}

// A round step for about four grid lines over `span`.
double gridStep(double span)
{
    const double raw = span / 4.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * magnitude >= raw)
            return m * magnitude;
    return 10.0 * magnitude;
}

} // namespace

SensorPlot::SensorPlot(QWidget *parent)
    : QWidget(parent)
{
    // The plot fills every pixel itself: nothing behind it is painted first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SensorPlot::setSamples(const SampleRing *ring)
{
    samples = ring;
    update();
}

void SensorPlot::setAutoScale(bool on)
{
    autoScaled = on;
    update();
}

void SensorPlot::setFixedRanges(double gyroRange, double accRange)
{
    gyroFixed = qMax(0.001, gyroRange);
    accFixed = qMax(0.001, accRange);
    update();
}

void SensorPlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    const int half = height() / 2;
    drawPanel(p, QRect(0, 0, width(), half), Panel::Gyro);
    drawPanel(p, QRect(0, half, width(), height() - half), Panel::Acc);
}

void SensorPlot::drawPanel(QPainter &p, const QRect &area, Panel panel)
{
    const bool gyro = panel == Panel::Gyro;
    const QFontMetrics fm = p.fontMetrics();
    const int labelWidth = fm.horizontalAdvance(QStringLiteral("-0000.0")) + 6;
    const QRect plot = area.adjusted(labelWidth, fm.height() + 4, -6, -fm.height() - 4);
    if (plot.width() < 10 || plot.height() < 10)
        return;

    const qsizetype n = samples ? samples->size() : 0;
    double low, high;
    if (autoScaled && n > 0) {
        low = high = value(samples->at(0).r, gyro, 0);
        for (qsizetype i = 0; i < n; ++i) {
            const SensorReadout &r = samples->at(i).r;
            for (int c = 0; c < 4; ++c) {
                const double v = value(r, gyro, c);
                low = qMin(low, v);
                high = qMax(high, v);
            }
        }
        // A still sensor still gets a readable span; a margin keeps the curves off the border.
        const double least = gyro ? 2.0 : 0.05;
        if (high - low < least) {
            const double mid = (high + low) / 2.0;
            low = mid - least / 2.0;
            high = mid + least / 2.0;
        }
        const double margin = (high - low) * 0.08;
        low -= margin;
        high += margin;
    } else {
        const double range = gyro ? gyroFixed : accFixed;
        low = -range;
        high = range;
    }
    const double yScale = plot.height() / (high - low);
    const auto yOf = [&](double v) { return plot.bottom() - (qBound(low, v, high) - low) * yScale; };

    // Grid and value labels.
    const QColor text = palette().color(QPalette::Text);
    QColor grid = text;
    grid.setAlpha(50);
    p.setPen(grid);
    p.drawRect(plot);
    const double step = gridStep(high - low);
    const int decimals = step >= 1.0 ? 0 : int(std::ceil(-std::log10(step)));
    for (double v = std::ceil(low / step) * step; v <= high; v += step) {
        const int y = int(yOf(v));
        p.setPen(grid);
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(text);
        p.drawText(QRect(area.left(), y - fm.height() / 2, labelWidth - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(std::abs(v) < step / 2 ? 0.0 : v, 'f', decimals));
    }
    const qint64 span = samples ? samples->spanMs() : 10000;
    for (int s = 0; s <= span / 1000; s += 2) {
        const int x = plot.right() - int(plot.width() * (s * 1000.0) / double(span));
        p.setPen(grid);
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.setPen(text);
        p.drawText(QRect(x - 30, plot.bottom() + 2, 60, fm.height()), Qt::AlignCenter,
                   s == 0 ? QStringLiteral("0 s") : QStringLiteral("-%1").arg(s));
    }

    // Title and legend above the panel.
    p.setPen(text);
    // The read-out's own group titles, translated as there.
    const QString title = gyro ? QCoreApplication::translate("MainWindow", "陀螺仪(度/秒)")
                               : QCoreApplication::translate("MainWindow", "加速度(g)");
    p.drawText(QPoint(plot.left(), area.top() + fm.ascent() + 2), title);
    int x = plot.left() + fm.horizontalAdvance(title) + 16;
    const QString names[4] = {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z"), QCoreApplication::translate("MainWindow", "模")};
    for (int c = 0; c < 4; ++c) {
        p.fillRect(QRect(x, area.top() + 2 + fm.height() / 2 - 1, 12, 3), kCurveColors[c]);
        p.drawText(QPoint(x + 16, area.top() + fm.ascent() + 2), names[c]);
        x += 16 + fm.horizontalAdvance(names[c]) + 12;
    }
    if (n == 0)
        return;

    // The curves: the newest sample at the right edge, older ones to the left.
    const qint64 newest = samples->newest().ms;
    const double xScale = plot.width() / double(span);
    QPolygonF line(n);
    p.setClipRect(plot.adjusted(0, 0, 1, 1));
    for (int c = 0; c < 4; ++c) {
        for (qsizetype i = 0; i < n; ++i) {
            const PlotSample &s = samples->at(i);
            line[i] = QPointF(plot.right() - (newest - s.ms) * xScale, yOf(value(s.r, gyro, c)));
        }
        p.setPen(QPen(kCurveColors[c], c == 3 ? 2 : 1));
        p.drawPolyline(line);
    }
    p.setClipping(false);
}
