// The check's table and words; source texts in Chinese, English in the translation.
#include "CheckFigures.h"

#include "CalibrationWords.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

#include <cmath>

namespace {

constexpr int kRows = 5;

// A value with the places CalibrationWords::measurementLine shows, so that the table and the
// words agree: a thousandth of g, a hundredth of a degree per second, a tenth of a degree.
QString number(double x, const QString &unit)
{
    const int places = unit == QLatin1String("g") ? 3 : unit == QLatin1String("deg/s") ? 2 : 1;
    return std::isfinite(x) ? QString::number(x, 'f', places) : QStringLiteral("—");
}

// A limit as it was set, as the words show it: a tight one does not read as its rounding.
QString limit(double x)
{
    return QString::number(x);
}

QString unitText(const QString &unit)
{
    return CalibrationWords::unitText(unit);
}

} // namespace

void CheckFigures::setUp(QTableView *view, QStandardItemModel *model)
{
    model->setHorizontalHeaderLabels({tr("测量"), tr("数值"), tr("范围"), tr("结果")});
    view->setModel(model);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    view->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    view->horizontalHeader()->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    view->verticalHeader()->hide();
    view->verticalHeader()->setMinimumSectionSize(RowHeight);
    view->verticalHeader()->setDefaultSectionSize(RowHeight);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setFocusPolicy(Qt::NoFocus);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int height = view->horizontalHeader()->sizeHint().height() + kRows * RowHeight + 2 * view->frameWidth();
    view->setFixedHeight(height);
}

void CheckFigures::show(QStandardItemModel *model, const CheckOutcome &check)
{
    model->removeRows(0, model->rowCount());
    for (const CheckMeasurement &m : check.measurements) {
        QList<QStandardItem *> row;
        for (const QString &text : {CalibrationWords::measurementName(m.name), value(m), limits(m), mark(m)}) {
            auto *item = new QStandardItem(text);
            item->setTextAlignment(Qt::AlignCenter);
            item->setEditable(false);
            row.append(item);
        }
        row.constLast()->setForeground(m.passed() ? QColor(0x3c, 0xb3, 0x71) : QColor(0xe0, 0x4b, 0x4b));
        model->appendRow(row);
    }
}

QString CheckFigures::value(const CheckMeasurement &m)
{
    return number(m.value, m.unit) + QLatin1Char(' ') + unitText(m.unit);
}

QString CheckFigures::limits(const CheckMeasurement &m)
{
    // Every measurement is a modulus, a spread or an angle: a zero low limit bounds nothing.
    if (m.low <= 0)
        return QStringLiteral("≤ %1 %2").arg(limit(m.high), unitText(m.unit));
    return QStringLiteral("%1 – %2 %3").arg(limit(m.low), limit(m.high), unitText(m.unit));
}

QString CheckFigures::mark(const CheckMeasurement &m)
{
    return m.passed() ? QStringLiteral("✓") : QStringLiteral("✗");
}

QString CheckFigures::verdict(const CheckOutcome &check)
{
    if (check.reason == CheckOutcome::Passed || check.reason == CheckOutcome::Failed)
        return CalibrationWords::checkVerdict(check.passed());
    return CalibrationWords::checkFailed(check);
}

QString CheckFigures::calibrationCheckFailed(const CheckOutcome &check, bool again)
{
    const QString hint = again ? tr("这个云台的检查再次没有通过：传感器可能有问题。") : CalibrationWords::checkHint();
    return CalibrationWords::checkFailed(check) + QLatin1Char('\n') + hint;
}

QString CheckFigures::calibrationChecking()
{
    return tr("检查校准结果：请保持静止");
}

QString CheckFigures::limitsRefused(const QString &error)
{
    return tr("限值文件有误，没有检查：%1").arg(error);
}

QString CheckFigures::title()
{
    return tr("检查");
}
