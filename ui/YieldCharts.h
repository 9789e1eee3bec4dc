// Draws the yield report's two charts with QPainter, as the sensor plot draws its curves: the
// first-pass yield of each day as bars (0 to 100 %), and the failures by outcome, largest first,
// as bars with their cumulative share as a line (a Pareto). Paints only when the report changes.
#pragma once

#include "YieldReport.h"

#include <QWidget>

class QPainter;

class YieldCharts : public QWidget
{
    Q_OBJECT

public:
    explicit YieldCharts(QWidget *parent = nullptr);

    void setReport(const YieldReport &report);

    QSize sizeHint() const override { return QSize(420, 420); }
    QSize minimumSizeHint() const override { return QSize(260, 260); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void drawYieldByDay(QPainter &p, const QRect &area) const;
    void drawPareto(QPainter &p, const QRect &area) const;
    // The panel's title and its plot rectangle, with room for the value labels and the names.
    QRect frame(QPainter &p, const QRect &area, const QString &title) const;
    void drawBarName(QPainter &p, const QRect &plot, double centre, const QString &name) const;

    YieldReport report;
};
