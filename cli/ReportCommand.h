// velmora-cli journal report: a line's yield from the journal, as text, JSON, CSV or an HTML page.
#pragma once

#include "CliOptions.h"
#include "JournalConfig.h"
#include "YieldReport.h"

#include <QStringList>

namespace ReportCommand {
int run(const CliOptions &options, const JournalConfig &config);
// The terminal's summary, one line each.
QStringList textLines(const YieldReport &report);
// "57.1 %", or "–" when there is no share to show.
QString percent(const std::optional<double> &share);
// A measurement's figure to four significant digits ("1.002", "0.0031").
QString figure(double value);
} // namespace ReportCommand
