// The yield report as one self-contained HTML page: inline SVG charts, no scripts, no links out.
#pragma once

#include "YieldReport.h"

namespace ReportHtml {
// The page for `report`, read from the journal `source` (a file path or a described URI).
QString page(const YieldReport &report, const QString &source);
}
