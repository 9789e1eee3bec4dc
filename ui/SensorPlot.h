// Draws the gyroscope and accelerometer samples of a SampleRing as two stacked panels of
// scrolling curves (X, Y, Z and the modulus each), the newest sample at the right edge. It
// paints only when asked to (update()), with QPainter. At 50 frames a second a frame must be
// cheap: a new sample repaints the two curve areas alone (background, grid lines and
// one-pixel integer polylines without antialiasing); the labels, titles and legend around
// them are repainted only when an axis or the size changes (auto-scaled axes move in whole
// grid steps, so that is now and then).
#pragma once

#include <QWidget>

class QPainter;
class SampleRing;

class SensorPlot : public QWidget
{
    Q_OBJECT

public:
    explicit SensorPlot(QWidget *parent = nullptr);

    // The samples to draw (not owned); null draws empty panels.
    void setSamples(const SampleRing *ring);
    // Auto-scaled axes follow the samples shown; fixed ones span ±gyroRange degree/s and
    // ±accRange g.
    void setAutoScale(bool on);
    void setFixedRanges(double gyroRange, double accRange);
    bool autoScale() const { return autoScaled; }
    // Asks for a repaint after a new sample: of the curve areas alone while the axes stay,
    // of everything when they move.
    void updateCurves();

    QSize sizeHint() const override { return QSize(560, 380); }
    QSize minimumSizeHint() const override { return QSize(260, 200); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // One panel's value range and where it is drawn.
    struct Axis
    {
        double low = 0, high = 0, step = 1;
        QRect plot;
        bool operator==(const Axis &o) const { return low == o.low && high == o.high && plot == o.plot; }
    };
    Axis axisFor(bool gyro, const QRect &area) const;
    // The axes for the samples and size of now, computed once per sample.
    void currentAxes(Axis axes[2], QRect areas[2]);
    void drawLabels(QPainter &p, const Axis &axis, const QRect &area, bool gyro) const;
    void drawCurves(QPainter &p, const Axis &axis, bool gyro) const;

    const SampleRing *samples = nullptr;
    bool autoScaled = true;
    double gyroFixed = 250.0;
    double accFixed = 2.0;
    Axis drawnAxes[2];       // what the labels on screen show
    bool labelsDrawn = false;
    mutable int labelWidth = -1; // room for the value labels, measured once per font
    // The axes last computed and what they were computed for.
    Axis cachedAxes[2];
    qint64 cachedNewestMs = -1;
    qsizetype cachedCount = -1;
    const SampleRing *cachedSamples = nullptr;
    QSize cachedSize;
};
