// How the command line names products.
#pragma once

#include "ProductTable.h"

#include <QString>

namespace ProductRows {

constexpr int RowCount = ProductTable::RowCount;

// A row number (0 to 8) or a product name, English or source text, case-insensitive;
// -1 when it names no product.
int parse(const QString &text);
const ProductRow &row(int row);
// The English name of a row.
QString displayName(int row);
// One line per row for --help.
QString helpList();

} // namespace ProductRows
