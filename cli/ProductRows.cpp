// Product names and face placements for the command line.
#include "ProductRows.h"

#include <QCoreApplication>

namespace {

// The accelerometer reads +1 g on the axis that points up.
const char *const kPlacements[6] = {
    "turn the gimbal so that its X axis points straight up, and hold it still",
    "turn the gimbal so that its X axis points straight down, and hold it still",
    "turn the gimbal so that its Y axis points straight up, and hold it still",
    "turn the gimbal so that its Y axis points straight down, and hold it still",
    "stand the gimbal level, Z axis up (its normal position), and hold it still",
    "turn the gimbal upside down, Z axis down, and hold it still",
};

} // namespace

namespace ProductRows {

int parse(const QString &text)
{
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (isNumber)
        return number >= 0 && number < RowCount ? number : -1;
    for (int i = 0; i < RowCount; ++i) {
        if (text.compare(displayName(i), Qt::CaseInsensitive) == 0
            || text.compare(QString::fromUtf8(row(i).name), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

const ProductRow &row(int row)
{
    return ProductTable::row(row);
}

QString displayName(int row)
{
    return QCoreApplication::translate("MainWindow", ProductTable::row(row).name);
}

QString helpList()
{
    QString text;
    for (int i = 0; i < RowCount; ++i)
        text += QStringLiteral("  %1  %2\n").arg(i).arg(displayName(i));
    return text;
}

QString placement(int face)
{
    return face >= 1 && face <= 6 ? QString::fromLatin1(kPlacements[face - 1]) : QString();
}

} // namespace ProductRows
