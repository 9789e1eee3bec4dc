// Paints the yield report's charts.
#include "YieldCharts.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// The bar colours of the report's page, readable on the dark style and on a light one.
const QColor kYieldColor(0x3a, 0x7b, 0xd5);
const QColor kFailureColor(0xd5, 0x55, 0x3a);
// Beyond this many bars the names would overlap: the newest days, the largest failures.
constexpr int MostBars = 14;

QColor between(const QColor &a, const QColor &b)
{
    return QColor((a.red() * 3 + b.red()) / 4, (a.green() * 3 + b.green()) / 4, (a.blue() * 3 + b.blue()) / 4);
}

} // namespace

YieldCharts::YieldCharts(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void YieldCharts::setReport(const YieldReport &value)
{
    report = value;
    update();
}

void YieldCharts::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    if (report.total.attempts == 0) {
        p.setPen(palette().color(QPalette::Text));
        p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, tr("此范围内没有更新记录，没有通过率可显示"));
        return;
    }
    const QRect top(0, 0, width(), height() / 2);
    drawYieldByDay(p, top);
    drawPareto(p, QRect(0, top.bottom() + 1, width(), height() - top.height()));
}

QRect YieldCharts::frame(QPainter &p, const QRect &area, const QString &title) const
{
    const QFontMetrics fm = fontMetrics();
    const QColor text = palette().color(QPalette::Text);
    p.setPen(text);
    p.drawText(QPoint(area.left() + 8, area.top() + fm.ascent() + 4), title);
    const int labels = fm.horizontalAdvance(QStringLiteral("100 %")) + 10;
    const QRect plot = area.adjusted(labels, fm.height() + 10, -labels, -fm.height() * 4 - 4);
    // Grid lines at every quarter, with the share on the left.
    p.setPen(between(palette().color(QPalette::Base), text));
    for (int q = 0; q <= 4; ++q) {
        const int y = plot.bottom() - plot.height() * q / 4;
        p.drawLine(plot.left(), y, plot.right(), y);
    }
    return plot;
}

void YieldCharts::drawBarName(QPainter &p, const QRect &plot, double centre, const QString &name) const
{
    const QFontMetrics fm = fontMetrics();
    p.save();
    p.setPen(palette().color(QPalette::Text));
    p.translate(centre, plot.bottom() + 4);
    p.rotate(-30);
    const QString shown = fm.elidedText(name, Qt::ElideRight, fm.height() * 6);
    p.drawText(QPoint(-fm.horizontalAdvance(shown), fm.ascent()), shown);
    p.restore();
}

void YieldCharts::drawYieldByDay(QPainter &p, const QRect &area) const
{
    const QRect plot = frame(p, area, tr("首次通过率（按日）"));
    const QFontMetrics fm = fontMetrics();
    p.setPen(palette().color(QPalette::Text));
    for (int q = 0; q <= 4; ++q) {
        const int y = plot.bottom() - plot.height() * q / 4;
        p.drawText(QRect(area.left(), y - fm.height() / 2, plot.left() - area.left() - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("%1 %").arg(q * 25));
    }
    const qsizetype n = qMin<qsizetype>(report.byDay.size(), MostBars);
    const double slot = n > 0 ? double(plot.width()) / n : plot.width();
    for (qsizetype i = 0; i < n; ++i) {
        const YieldGroup &day = report.byDay.at(report.byDay.size() - n + i);
        const double x = plot.left() + slot * i;
        if (const auto share = day.firstPassYield()) {
            const double h = plot.height() * *share;
            p.fillRect(QRectF(x + slot * 0.15, plot.bottom() - h, slot * 0.7, h), kYieldColor);
        }
        drawBarName(p, plot, x + slot * 0.5, day.key.mid(5)); // "12-01": the year is in the filter
    }
}

void YieldCharts::drawPareto(QPainter &p, const QRect &area) const
{
    const QRect plot = frame(p, area, tr("失败原因（帕累托，线为累计占比）"));
    const QFontMetrics fm = fontMetrics();
    const qsizetype n = qMin<qsizetype>(report.failures.size(), MostBars);
    p.setPen(palette().color(QPalette::Text));
    if (n == 0) {
        p.drawText(plot, Qt::AlignCenter, tr("没有失败的尝试"));
        return;
    }
    const int most = report.failures.first().count;
    p.drawText(QRect(area.left(), plot.top() - fm.height() / 2, plot.left() - area.left() - 4, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, QString::number(most));
    p.drawText(QRect(area.left(), plot.bottom() - fm.height() / 2, plot.left() - area.left() - 4, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));
    for (int q = 0; q <= 4; ++q)
        p.drawText(QPoint(plot.right() + 4, plot.bottom() - plot.height() * q / 4 + fm.ascent() / 2), QStringLiteral("%1 %").arg(q * 25));
    const double slot = double(plot.width()) / n;
    QPolygonF cumulative;
    for (qsizetype i = 0; i < n; ++i) {
        const YieldFailure &f = report.failures.at(i);
        const double x = plot.left() + slot * i;
        const double h = plot.height() * double(f.count) / most;
        p.fillRect(QRectF(x + slot * 0.15, plot.bottom() - h, slot * 0.7, h), kFailureColor);
        cumulative.append(QPointF(x + slot * 0.5, plot.bottom() - plot.height() * f.cumulative));
        drawBarName(p, plot, x + slot * 0.5, f.outcome);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::Text), 2));
    p.drawPolyline(cumulative);
}
