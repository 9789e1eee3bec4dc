// Product names for the command line.
#include "ProductRows.h"

#include <QCoreApplication>

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

} // namespace ProductRows
