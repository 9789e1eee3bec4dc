// The product rows of the product list and what each row selects; shared by the window and the
// command line.
#pragma once

#include <QString>

struct ProductRow
{
    const char *name;       // source text, translated in the MainWindow context
    const char *pictureSet; // directory of the step pictures under :/image/
    float gyroCountsPerDps; // gyroscope counts per degree/s
    int registerProfile;    // register profile of the runtime protocol
    bool multiChip;         // the bootloader addresses each chip (update's multi-chip mode)
};

namespace ProductTable {

constexpr int RowCount = 9;
constexpr int DefaultRow = 4;

// Row `row` (0 to RowCount - 1); callers check the range first.
const ProductRow &row(int row);

bool isValidRow(int row);

} // namespace ProductTable
