// Paints the scrolling sensor curves.
#include "SensorPlot.h"

#include "SampleRing.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
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
    cachedSamples = nullptr;
    update();
}

void SensorPlot::setAutoScale(bool on)
{
    autoScaled = on;
    cachedSamples = nullptr;
    update();
}

void SensorPlot::setFixedRanges(double gyroRange, double accRange)
{
    gyroFixed = qMax(0.001, gyroRange);
    accFixed = qMax(0.001, accRange);
    cachedSamples = nullptr;
    update();
}

void SensorPlot::changeEvent(QEvent *event)
{
    // New colours or font: everything is drawn afresh.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::StyleChange) {
        labelsDrawn = false;
        cachedSamples = nullptr;
        labelWidth = -1;
    }
    QWidget::changeEvent(event);
}

SensorPlot::Axis SensorPlot::axisFor(bool gyro, const QRect &area) const
{
    const QFontMetrics fm = fontMetrics();
    Axis axis;
    if (labelWidth < 0)
        labelWidth = fm.horizontalAdvance(QStringLiteral("-0000.0")) + 6;
    axis.plot = area.adjusted(labelWidth, fm.height() + 4, -6, -fm.height() - 4);
    const qsizetype n = samples ? samples->size() : 0;
    if (!autoScaled || n == 0) {
        const double range = gyro ? gyroFixed : accFixed;
        axis.low = -range;
        axis.high = range;
        axis.step = gridStep(2 * range);
        return axis;
    }
    double low = value(samples->at(0).r, gyro, 0), high = low;
    for (qsizetype i = 0; i < n; ++i) {
        const SensorReadout &r = samples->at(i).r;
        for (int c = 0; c < 4; ++c) {
            const double v = value(r, gyro, c);
            low = qMin(low, v);
            high = qMax(high, v);
        }
    }
    // A still sensor still gets a readable span; the ends are rounded out to whole grid
    // steps, so that the axis (and the labels) change only now and then.
    const double least = gyro ? 2.0 : 0.05;
    if (high - low < least) {
        const double mid = (high + low) / 2.0;
        low = mid - least / 2.0;
        high = mid + least / 2.0;
    }
    axis.step = gridStep(high - low);
    axis.low = std::floor(low / axis.step) * axis.step;
    axis.high = std::ceil(high / axis.step) * axis.step;
    if (axis.high - axis.low < axis.step)
        axis.high = axis.low + axis.step;
    return axis;
}

void SensorPlot::currentAxes(Axis axes[2], QRect areas[2])
{
    const int half = height() / 2;
    areas[0] = QRect(0, 0, width(), half);
    areas[1] = QRect(0, half, width(), height() - half);
    const qsizetype count = samples ? samples->size() : 0;
    const qint64 newestMs = count > 0 ? samples->newest().ms : -1;
    if (cachedSamples != samples || cachedCount != count || cachedNewestMs != newestMs || cachedSize != size()
        || !samples) {
        cachedAxes[0] = axisFor(true, areas[0]);
        cachedAxes[1] = axisFor(false, areas[1]);
        cachedSamples = samples;
        cachedCount = count;
        cachedNewestMs = newestMs;
        cachedSize = size();
    }
    axes[0] = cachedAxes[0];
    axes[1] = cachedAxes[1];
}

void SensorPlot::updateCurves()
{
    Axis axes[2];
    QRect areas[2];
    currentAxes(axes, areas);
    if (!labelsDrawn || !(axes[0] == drawnAxes[0]) || !(axes[1] == drawnAxes[1]))
        update();
    else
        update(QRegion(axes[0].plot.adjusted(0, 0, 1, 1)) + axes[1].plot.adjusted(0, 0, 1, 1));
}

void SensorPlot::paintEvent(QPaintEvent *event)
{
    Axis axes[2];
    QRect areas[2];
    currentAxes(axes, areas);
    QPainter p(this);
    const QRegion curveAreas = QRegion(axes[0].plot.adjusted(0, 0, 1, 1)) + axes[1].plot.adjusted(0, 0, 1, 1);
    if (!(event->region() - curveAreas).isEmpty() || !labelsDrawn) {
        p.fillRect(rect(), palette().color(QPalette::Base));
        for (int panel = 0; panel < 2; ++panel)
            drawLabels(p, axes[panel], areas[panel], panel == 0);
        drawnAxes[0] = axes[0];
        drawnAxes[1] = axes[1];
        labelsDrawn = true;
    }
    for (int panel = 0; panel < 2; ++panel)
        drawCurves(p, axes[panel], panel == 0);
}

void SensorPlot::drawLabels(QPainter &p, const Axis &axis, const QRect &area, bool gyro) const
{
    const QRect &plot = axis.plot;
    if (plot.width() < 10 || plot.height() < 10)
        return;
    const QFontMetrics fm = p.fontMetrics();
    const double yScale = plot.height() / (axis.high - axis.low);
    const QColor text = palette().color(QPalette::Text);
    const int decimals = axis.step >= 1.0 ? 0 : int(std::ceil(-std::log10(axis.step) - 1e-9));
    for (double v = axis.low; v <= axis.high + axis.step / 2; v += axis.step) {
        const int y = int(std::lround(plot.bottom() - (v - axis.low) * yScale));
        p.setPen(text);
        p.drawText(QRect(area.left(), y - fm.height() / 2, plot.left() - area.left() - 4, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(std::abs(v) < axis.step / 2 ? 0.0 : v, 'f', decimals));
    }
    const qint64 span = samples ? samples->spanMs() : 10000;
    for (int s = 0; s <= span / 1000; s += 2) {
        const int x = plot.right() - int(plot.width() * (s * 1000.0) / double(span));
        p.setPen(text);
        // The newest label ends at the panel's edge instead of being cut by it.
        if (s == 0)
            p.drawText(QRect(area.right() - 60, plot.bottom() + 2, 60, fm.height()), Qt::AlignRight, QStringLiteral("0 s"));
        else
            p.drawText(QRect(x - 30, plot.bottom() + 2, 60, fm.height()), Qt::AlignCenter, QStringLiteral("-%1").arg(s));
    }

    // Title and legend above the panel: the read-out's own group titles, translated as there.
    p.setPen(text);
    const QString title = gyro ? QCoreApplication::translate("MainWindow", "陀螺仪(度/秒)")
                               : QCoreApplication::translate("MainWindow", "加速度(g)");
    p.drawText(QPoint(plot.left(), area.top() + fm.ascent() + 2), title);
    int x = plot.left() + fm.horizontalAdvance(title) + 16;
    const QString names[4] = {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z"),
                              QCoreApplication::translate("MainWindow", "模")};
    for (int c = 0; c < 4; ++c) {
        p.fillRect(QRect(x, area.top() + 2 + fm.height() / 2 - 1, 12, 3), kCurveColors[c]);
        p.drawText(QPoint(x + 16, area.top() + fm.ascent() + 2), names[c]);
        x += 16 + fm.horizontalAdvance(names[c]) + 12;
    }
}

void SensorPlot::drawCurves(QPainter &p, const Axis &axis, bool gyro) const
{
    const QRect &plot = axis.plot;
    if (plot.width() < 10 || plot.height() < 10)
        return;
    // The area, its frame and grid lines. Everything here is opaque and clipped to one
    // rectangle: Qt's raster engine then fills and draws one-pixel lines straight into the
    // backing store. A translucent colour or a clip of several rectangles (the two areas'
    // update region) sends every tall fill or line through its span blender, which hands
    // them to a thread pool: waking those threads 50 times a second costs several times
    // the drawing itself.
    const QRect area = plot.adjusted(0, 0, 1, 1);
    p.setClipRect(area);
    const QColor base = palette().color(QPalette::Base);
    p.fillRect(area, base);
    const QColor text = palette().color(QPalette::Text);
    const auto mix = [](int a, int b) { return (a * 205 + b * 50) / 255; };
    const QColor grid(mix(base.red(), text.red()), mix(base.green(), text.green()), mix(base.blue(), text.blue()));
    p.setPen(grid);
    p.drawRect(plot);
    const double gridScale = plot.height() / (axis.high - axis.low);
    for (double v = axis.low + axis.step; v < axis.high - axis.step / 2; v += axis.step) {
        const int y = int(std::lround(plot.bottom() - (v - axis.low) * gridScale));
        p.drawLine(plot.left(), y, plot.right(), y);
    }
    const qint64 span = samples ? samples->spanMs() : 10000;
    for (int s = 2; s < span / 1000; s += 2) {
        const int x = plot.right() - int(plot.width() * (s * 1000.0) / double(span));
        p.drawLine(x, plot.top(), x, plot.bottom());
    }
    const qsizetype n = samples ? samples->size() : 0;
    if (n == 0)
        return;
    // The newest sample at the right edge, older ones to the left; values beyond a fixed
    // axis are drawn at its edge.
    const qint64 newest = samples->newest().ms;
    const double xScale = plot.width() / double(samples->spanMs());
    const double yScale = plot.height() / (axis.high - axis.low);
    QPolygon line;
    line.reserve(n);
    for (int c = 0; c < 4; ++c) {
        line.resize(0);
        for (qsizetype i = 0; i < n; ++i) {
            const PlotSample &s = samples->at(i);
            const QPoint point(plot.right() - int((newest - s.ms) * xScale),
                               int(std::lround(plot.bottom() - (qBound(axis.low, double(value(s.r, gyro, c)), axis.high) - axis.low) * yScale)));
            // Samples that fall on the pixel of the one before add nothing to the line.
            if (line.isEmpty() || line.last() != point)
                line.append(point);
        }
        p.setPen(kCurveColors[c]);
        p.drawPolyline(line);
    }
    p.setClipping(false);
}
