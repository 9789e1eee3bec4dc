// Writes the yield report's page: headline figures, first-pass yield by day and the failure
// Pareto as inline SVG, the station table, the checks and each measurement's spread. Every text from the journal is escaped.
#include "ReportHtml.h"

#include "ReportCommand.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace {

constexpr int ChartWidth = 720, ChartHeight = 290;
// Room on the left and below for the slanted labels under the bars: an outcome word of up to 24
// letters (about 150 px at 35 degrees) reaches 122 px left and 86 px down of its bar's middle.
constexpr int Left = 112, Right = 48, Top = 16, Bottom = 100;
// Beyond this many bars the names would overlap: the rest is summed up in words.
constexpr int MostBars = 40;

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString number(double value)
{
    return QString::number(value, 'f', 1);
}

// Horizontal grid lines and their labels, for a share from 0 to 100 %, on the given side.
QString percentAxis(bool right)
{
    QString svg;
    const int plotHeight = ChartHeight - Top - Bottom;
    for (int p = 0; p <= 100; p += 25) {
        const double y = Top + plotHeight * (1.0 - p / 100.0);
        if (!right)
            svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" class=\"grid\"/>")
                       .arg(Left)
                       .arg(number(y))
                       .arg(ChartWidth - Right);
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"%3\" class=\"axis\">%4 %</text>")
                   .arg(right ? ChartWidth - Right + 6 : Left - 6)
                   .arg(number(y + 4))
                   .arg(right ? QStringLiteral("start") : QStringLiteral("end"))
                   .arg(p);
    }
    return svg;
}

QString barLabel(double x, const QString &text)
{
    const double y = ChartHeight - Bottom + 14;
    return QStringLiteral("<text x=\"%1\" y=\"%2\" transform=\"rotate(-35 %1 %2)\" text-anchor=\"end\" class=\"axis\">%3</text>")
        .arg(number(x), number(y), esc(text));
}

QString svgOpen(const QString &title)
{
    return QStringLiteral("<svg viewBox=\"0 0 %1 %2\" width=\"%1\" height=\"%2\" role=\"img\" "
                          "aria-label=\"%3\">")
        .arg(ChartWidth)
        .arg(ChartHeight)
        .arg(esc(title));
}

QString yieldChart(const YieldReport &r)
{
    QString svg = svgOpen(QStringLiteral("First-pass yield by day")) + percentAxis(false);
    const qsizetype n = qMin<qsizetype>(r.byDay.size(), MostBars);
    const double plotWidth = ChartWidth - Left - Right, plotHeight = ChartHeight - Top - Bottom;
    const double slot = n > 0 ? plotWidth / n : plotWidth;
    for (qsizetype i = 0; i < n; ++i) {
        const YieldGroup &day = r.byDay.at(r.byDay.size() - n + i); // the newest days when there are more
        const double x = Left + slot * i;
        const auto share = day.firstPassYield();
        if (share) {
            const double h = plotHeight * *share;
            svg += QStringLiteral("<rect class=\"bar\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"><title>%5: %6</title></rect>")
                       .arg(number(x + slot * 0.15), number(Top + plotHeight - h), number(slot * 0.7), number(h), esc(day.key),
                            ReportCommand::percent(share));
        }
        svg += barLabel(x + slot * 0.5, day.key);
    }
    return svg + QStringLiteral("</svg>");
}

QString paretoChart(const YieldReport &r)
{
    QString svg = svgOpen(QStringLiteral("Failures by outcome, largest first")) + percentAxis(true);
    const qsizetype n = qMin<qsizetype>(r.failures.size(), MostBars);
    const double plotWidth = ChartWidth - Left - Right, plotHeight = ChartHeight - Top - Bottom;
    const double slot = n > 0 ? plotWidth / n : plotWidth;
    const int most = n > 0 ? r.failures.first().count : 1;
    svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\" class=\"axis\">%3</text>").arg(Left - 6).arg(Top + 4).arg(most);
    svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\" class=\"axis\">0</text>").arg(Left - 6).arg(Top + plotHeight + 4);
    QStringList points;
    for (qsizetype i = 0; i < n; ++i) {
        const YieldFailure &f = r.failures.at(i);
        const double x = Left + slot * i;
        const double h = plotHeight * f.count / most;
        svg += QStringLiteral("<rect class=\"fail\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"><title>%5: %6</title></rect>")
                   .arg(number(x + slot * 0.15), number(Top + plotHeight - h), number(slot * 0.7), number(h), esc(f.outcome))
                   .arg(f.count);
        points.append(QStringLiteral("%1,%2").arg(number(x + slot * 0.5), number(Top + plotHeight * (1.0 - f.cumulative))));
        svg += barLabel(x + slot * 0.5, f.outcome);
    }
    if (!points.isEmpty())
        svg += QStringLiteral("<polyline class=\"cumulative\" points=\"%1\"/>").arg(points.join(QLatin1Char(' ')));
    return svg + QStringLiteral("</svg>");
}

QString stationTable(const YieldReport &r)
{
    QString html = QStringLiteral("<table><thead><tr><th>Station</th><th>Attempts</th><th>Gimbals</th><th>First-pass yield</th>"
                                  "<th>Median time</th><th>Gimbals per hour</th></tr></thead><tbody>");
    for (const YieldGroup &g : r.byStation) {
        const auto perHour = g.gimbalsPerHour();
        html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td></tr>")
                    .arg(esc(g.key))
                    .arg(g.attempts)
                    .arg(g.gimbals)
                    .arg(ReportCommand::percent(g.firstPassYield()),
                         g.medianSeconds ? QStringLiteral("%1 s").arg(*g.medianSeconds, 0, 'f', 1) : QStringLiteral("–"),
                         perHour ? QString::number(*perHour, 'f', 1) : QStringLiteral("–"));
    }
    return html + QStringLiteral("</tbody></table>");
}

// The line's refusals: attempts that wrote nothing because of its package, signature, catalogue,
// port or a cancel, apart from the gimbals' failures.
QString refusalTable(const YieldReport &r)
{
    QString html = QStringLiteral("<table><thead><tr><th>Outcome</th><th>Refused</th></tr></thead><tbody>");
    for (const YieldFailure &f : r.refusals)
        html += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(esc(f.outcome)).arg(f.count);
    return html + QStringLiteral("</tbody></table>");
}

// One measurement's spread over the calibrations' checks against its limits: the limits as a
// band, the values' range as a line, the 10th to 90th percentile as a box, the median as a bar
// and the worst value as a dot.
QString spreadChart(const MeasurementSpread &m)
{
    constexpr int Height = 64, BoxTop = 14, BoxBottom = 40;
    const double lowest = std::min(m.low, m.min), highest = std::max(m.high, m.max);
    const double pad = (highest > lowest ? highest - lowest : 1.0) * 0.05;
    const double from = lowest - pad, span = highest + pad - from;
    const auto px = [&](double value) { return Left + (ChartWidth - Left - Right) * (value - from) / span; };
    const auto x = [&](double value) { return number(px(value)); };
    QString svg = QStringLiteral("<svg viewBox=\"0 0 %1 %2\" width=\"%1\" height=\"%2\" role=\"img\" aria-label=\"%3\">")
                      .arg(ChartWidth)
                      .arg(Height)
                      .arg(esc(QStringLiteral("%1 against its limits").arg(m.name)));
    svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\" class=\"axis\">%3 (%4)</text>")
               .arg(Left - 8)
               .arg(BoxBottom - 8)
               .arg(esc(m.name), esc(m.unit));
    svg += QStringLiteral("<rect class=\"limits\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"><title>limits %5–%6</title></rect>")
               .arg(x(m.low))
               .arg(BoxTop - 6)
               .arg(number(px(m.high) - px(m.low)))
               .arg(BoxBottom - BoxTop + 12)
               .arg(ReportCommand::figure(m.low), ReportCommand::figure(m.high));
    for (const double limit : {m.low, m.high})
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\" class=\"axis\">%3</text>")
                   .arg(x(limit))
                   .arg(Height - 6)
                   .arg(ReportCommand::figure(limit));
    if (!std::isnan(m.median)) {
        const QString middle = number((BoxTop + BoxBottom) / 2.0);
        svg += QStringLiteral("<line class=\"whisker\" x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\"/>").arg(x(m.min), middle, x(m.max));
        svg += QStringLiteral("<rect class=\"spread\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"><title>10th to 90th "
                              "percentile: %5–%6</title></rect>")
                   .arg(x(m.p10))
                   .arg(BoxTop)
                   .arg(number(std::max(2.0, px(m.p90) - px(m.p10))))
                   .arg(BoxBottom - BoxTop)
                   .arg(ReportCommand::figure(m.p10), ReportCommand::figure(m.p90));
        svg += QStringLiteral("<line class=\"median\" x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\"><title>median %4</title></line>")
                   .arg(x(m.median))
                   .arg(BoxTop - 3)
                   .arg(BoxBottom + 3)
                   .arg(ReportCommand::figure(m.median));
        svg += QStringLiteral("<circle class=\"worst\" cx=\"%1\" cy=\"%2\" r=\"5\"><title>worst %3</title></circle>")
                   .arg(x(m.worst), middle, ReportCommand::figure(m.worst));
    }
    return svg + QStringLiteral("</svg>");
}

// The calibrations' checks: pass rates, and each measurement's figures and chart.
QString checkSection(const YieldReport &r)
{
    const auto rate = [](const CheckCounts &c) {
        return QStringLiteral("%1 of %2 passed (%3)").arg(c.passed).arg(c.runs).arg(ReportCommand::percent(c.passRate()));
    };
    QString html = QStringLiteral("<section><h2>Checks at rest</h2><p>After calibration: %1. On demand: %2.</p>")
                       .arg(rate(r.calibrationChecks), rate(r.onDemandChecks));
    if (r.measurements.isEmpty())
        return html + QStringLiteral("</section>");
    html += QStringLiteral("<table><thead><tr><th>Measured after calibration</th><th>Limits</th><th>Median</th><th>90th percentile</th>"
                           "<th>Worst</th><th>Outside</th></tr></thead><tbody>");
    const auto shown = [](double value) { return std::isnan(value) ? QStringLiteral("–") : ReportCommand::figure(value); };
    for (const MeasurementSpread &m : r.measurements)
        html += QStringLiteral("<tr><td>%1 (%2)</td><td>%3–%4</td><td>%5</td><td>%6</td><td>%7</td><td>%8 of %9</td></tr>")
                    .arg(esc(m.name), esc(m.unit), ReportCommand::figure(m.low), ReportCommand::figure(m.high), shown(m.median),
                         shown(m.p90), shown(m.worst))
                    .arg(m.outside)
                    .arg(m.count);
    html += QStringLiteral("</tbody></table>");
    for (const MeasurementSpread &m : r.measurements)
        html += spreadChart(m);
    return html + QStringLiteral("</section>");
}

const char *const kStyle =
    "body{font-family:'DejaVu Sans',sans-serif;margin:24px;color:#222;background:#fff}"
    "h1{font-size:20px}h2{font-size:16px;margin-top:28px}"
    ".figures{display:flex;flex-wrap:wrap;gap:12px}.figure{border:1px solid #ccc;padding:8px 14px;min-width:120px}"
    ".figure b{display:block;font-size:22px}"
    "svg{display:block;max-width:100%;height:auto}.grid{stroke:#ddd;stroke-width:1}.axis{font-size:11px;fill:#555}"
    ".bar{fill:#3a7bd5}.fail{fill:#d5553a}.cumulative{fill:none;stroke:#222;stroke-width:2}"
    ".limits{fill:#dcefdc}.whisker{stroke:#555;stroke-width:1.5}.spread{fill:#6a4fb3}.median{stroke:#222;stroke-width:3}"
    ".worst{fill:#e0a030;stroke:#222}"
    "table{border-collapse:collapse}th,td{border:1px solid #ccc;padding:4px 10px;text-align:right}"
    "th:first-child,td:first-child{text-align:left}"
    "@media print{body{margin:0}section{break-inside:avoid}}";

} // namespace

QString ReportHtml::page(const YieldReport &r, const QString &source)
{
    QString html = QStringLiteral("<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>Yield report</title><style>")
                   + QLatin1String(kStyle) + QStringLiteral("</style></head><body><h1>Yield report</h1>");
    QStringList lines = ReportCommand::textLines(r);
    html += QStringLiteral("<p>%1 · %2 · made %3</p>")
                .arg(esc(lines.first()), esc(source), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    if (r.isEmpty())
        return html + QStringLiteral("<p class=\"empty\">No update or calibration in this range: no yield to show.</p></body></html>");
    const auto figure = [](const QString &name, const QString &value) {
        return QStringLiteral("<div class=\"figure\">%1<b>%2</b></div>").arg(name, esc(value));
    };
    html += QStringLiteral("<div class=\"figures\">") + figure(QStringLiteral("Attempts"), QString::number(r.total.attempts))
            + figure(QStringLiteral("Gimbals"), QString::number(r.total.gimbals))
            + figure(QStringLiteral("First-pass yield"), ReportCommand::percent(r.total.firstPassYield()))
            + figure(QStringLiteral("Final yield"), ReportCommand::percent(r.total.finalYield()))
            + figure(QStringLiteral("Median time"),
                     r.total.medianSeconds ? QStringLiteral("%1 s").arg(*r.total.medianSeconds, 0, 'f', 1) : QStringLiteral("–"))
            + figure(QStringLiteral("Calibrations passed"),
                     QStringLiteral("%1 / %2").arg(r.calibrationSuccesses).arg(r.calibrationRuns))
            + figure(QStringLiteral("Calibration checks passed"), ReportCommand::percent(r.calibrationChecks.passRate()))
            + QStringLiteral("</div>");
    html += QStringLiteral("<section><h2>First-pass yield by day</h2>") + yieldChart(r) + QStringLiteral("</section>");
    html += QStringLiteral("<section><h2>Failures by outcome (Pareto; the line is the cumulative share)</h2>")
            + (r.failures.isEmpty() ? QStringLiteral("<p>No failed attempt.</p>") : paretoChart(r)) + QStringLiteral("</section>");
    html += QStringLiteral("<section><h2>Refused, nothing written (the line's setup, not counted in the yield)</h2>")
            + (r.refusals.isEmpty() ? QStringLiteral("<p>No refusal.</p>") : refusalTable(r)) + QStringLiteral("</section>");
    html += QStringLiteral("<section><h2>Stations</h2>") + stationTable(r) + QStringLiteral("</section>");
    if (r.calibrationChecks.runs > 0 || r.onDemandChecks.runs > 0)
        html += checkSection(r);
    return html + QStringLiteral("</body></html>");
}
