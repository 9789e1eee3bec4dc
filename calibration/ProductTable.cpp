#include "ProductTable.h"

#include <QtGlobal>

namespace ProductTable {

namespace {

// Rows 0 to 2 report the gyroscope at 32.8 counts per degree/s, the others at 16.4; rows 3 to 8
// have their chips addressed one by one by the bootloader.
constexpr float kFineGyro = 32.8f;
constexpr float kCoarseGyro = 16.4f;

const ProductRow kRows[RowCount] = {
    {QT_TRANSLATE_NOOP("MainWindow", "K5 (两轴)"), "2-axis", kFineGyro, 0, false},
    {QT_TRANSLATE_NOOP("MainWindow", "K5 (三轴)"), "3-axis", kFineGyro, 1, false},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Ember"), "ember", kFineGyro, 1, false},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Ember2"), "ember2", kCoarseGyro, 2, true},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Delta"), "3-axis", kCoarseGyro, 2, true},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Cedar"), "cedar", kCoarseGyro, 2, true},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Birch"), "birch", kCoarseGyro, 2, true},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Birch2"), "birch2", kCoarseGyro, 2, true},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Aster"), "phone", kCoarseGyro, 2, true},
};

} // namespace

bool isValidRow(int row)
{
    return row >= 0 && row < RowCount;
}

const ProductRow &row(int row)
{
    Q_ASSERT(isValidRow(row));
    return kRows[row];
}

} // namespace ProductTable
