// The check's table and words; source texts in Chinese, English in the translation.
#include "CheckFigures.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

#include <cmath>

namespace {

constexpr int kRows = 5;

// Digits after the point: enough to tell a value from its limit at the sensor's resolution.
int decimals(const QString &name)
{
    if (name == QLatin1String("accel_noise"))
        return 4;
    if (name == QLatin1String("accel_norm") || name == QLatin1String("gyro_noise"))
        return 3;
    if (name == QLatin1String("tilt"))
        return 1;
    return 2;
}

QString unitText(const QString &unit)
{
    if (unit == QLatin1String("deg/s"))
        return QStringLiteral("°/s");
    if (unit == QLatin1String("deg"))
        return QStringLiteral("°");
    return unit;
}

QString number(double x, const QString &name)
{
    return std::isfinite(x) ? QString::number(x, 'f', decimals(name)) : QStringLiteral("—");
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
        for (const QString &text : {name(m.name), value(m), limits(m), mark(m)}) {
            auto *item = new QStandardItem(text);
            item->setTextAlignment(Qt::AlignCenter);
            item->setEditable(false);
            row.append(item);
        }
        row.constLast()->setForeground(m.passed() ? QColor(0x3c, 0xb3, 0x71) : QColor(0xe0, 0x4b, 0x4b));
        model->appendRow(row);
    }
}

QString CheckFigures::name(const QString &measurement)
{
    if (measurement == QLatin1String("accel_norm"))
        return tr("加速度模长");
    if (measurement == QLatin1String("accel_noise"))
        return tr("加速度噪声");
    if (measurement == QLatin1String("gyro_bias"))
        return tr("陀螺仪零偏");
    if (measurement == QLatin1String("gyro_noise"))
        return tr("陀螺仪噪声");
    if (measurement == QLatin1String("tilt"))
        return tr("倾斜");
    return measurement;
}

QString CheckFigures::value(const CheckMeasurement &m)
{
    return number(m.value, m.name) + QLatin1Char(' ') + unitText(m.unit);
}

QString CheckFigures::limits(const CheckMeasurement &m)
{
    // Every measurement is a modulus, a spread or an angle: a zero low limit bounds nothing.
    if (m.low <= 0)
        return QStringLiteral("≤ %1 %2").arg(number(m.high, m.name), unitText(m.unit));
    return QStringLiteral("%1 – %2 %3").arg(number(m.low, m.name), number(m.high, m.name), unitText(m.unit));
}

QString CheckFigures::mark(const CheckMeasurement &m)
{
    return m.passed() ? QStringLiteral("✓") : QStringLiteral("✗");
}

QString CheckFigures::verdict(const CheckOutcome &check)
{
    switch (check.reason) {
    case CheckOutcome::Passed: return tr("校准良好");
    case CheckOutcome::Failed: return tr("需要校准");
    case CheckOutcome::NotStill: return tr("云台没有保持静止，无法检查：请把它放稳后再试。");
    case CheckOutcome::LinkLost: return tr("云台没有应答，检查没有完成。");
    case CheckOutcome::Cancelled: return tr("检查已取消。");
    }
    return QString();
}

QString CheckFigures::calibrationCheckFailed(const CheckOutcome &check, bool again)
{
    QString what;
    if (const CheckMeasurement *failing = check.firstFailing())
        what = tr("校准已保存，但检查没有通过：%1 为 %2，应在 %3 之内。").arg(name(failing->name), value(*failing), limits(*failing));
    else
        what = tr("校准已保存，但无法检查。%1").arg(verdict(check));
    const QString hint = again ? tr("这个云台的检查再次没有通过：传感器可能有问题。")
                               : tr("请把云台放在坚固、水平的表面上重新校准。");
    return what + QLatin1Char('\n') + hint;
}

QString CheckFigures::waiting()
{
    return tr("请把云台底座朝下放稳，保持静止");
}

QString CheckFigures::measuring()
{
    return tr("测量中…");
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
