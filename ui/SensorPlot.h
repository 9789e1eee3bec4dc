// Draws the gyroscope and accelerometer samples of a SampleRing as two stacked panels of
// scrolling curves (X, Y, Z and the modulus each), the newest sample at the right edge. It
// paints only when asked to (update()), with QPainter and without antialiasing: at 50 frames a
// second that keeps a shown plot cheap.
#pragma once

#include <QWidget>

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

    QSize sizeHint() const override { return QSize(560, 380); }
    QSize minimumSizeHint() const override { return QSize(260, 200); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Which half of the sample a panel draws.
    enum class Panel { Gyro, Acc };
    void drawPanel(class QPainter &p, const QRect &area, Panel panel);

    const SampleRing *samples = nullptr;
    bool autoScaled = true;
    double gyroFixed = 250.0;
    double accFixed = 2.0;
};
