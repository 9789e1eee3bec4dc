// The yield report's figures and their JSON and CSV forms.
#include "YieldReport.h"

#include <QJsonArray>
#include <cmath>

namespace {

QJsonValue orNull(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QString csvNumber(const std::optional<double> &value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals) : QString();
}

QString csvText(QString text)
{
    // A spreadsheet reads a leading = + - @ as a formula; station names come from the stations.
    if (!text.isEmpty() && QStringLiteral("=+-@").contains(text.front()))
        text.prepend(QLatin1Char('\''));
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n'))
        || text.contains(QLatin1Char('\r')))
        return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return text;
}

QJsonObject groupJson(const char *keyName, const YieldGroup &group)
{
    return {{QLatin1String(keyName), group.key},
            {QStringLiteral("attempts"), group.attempts},
            {QStringLiteral("gimbals"), group.gimbals},
            {QStringLiteral("firstPassYield"), orNull(group.firstPassYield())},
            {QStringLiteral("medianSeconds"), orNull(group.medianSeconds)},
            {QStringLiteral("gimbalsPerHour"), orNull(group.gimbalsPerHour())}};
}

QJsonObject checksJson(const CheckCounts &checks)
{
    return {{QStringLiteral("runs"), checks.runs},
            {QStringLiteral("passed"), checks.passed},
            {QStringLiteral("passRate"), orNull(checks.passRate())}};
}

QJsonObject spreadJson(const MeasurementSpread &m)
{
    // Without a value that was a number there is no spread: its figures are null.
    const auto figure = [](double value) { return std::isnan(value) ? QJsonValue(QJsonValue::Null) : QJsonValue(value); };
    return {{QStringLiteral("name"), m.name},      {QStringLiteral("unit"), m.unit},        {QStringLiteral("low"), m.low},
            {QStringLiteral("high"), m.high},      {QStringLiteral("count"), m.count},      {QStringLiteral("outside"), m.outside},
            {QStringLiteral("min"), figure(m.min)}, {QStringLiteral("p10"), figure(m.p10)}, {QStringLiteral("median"), figure(m.median)},
            {QStringLiteral("p90"), figure(m.p90)}, {QStringLiteral("max"), figure(m.max)}, {QStringLiteral("worst"), figure(m.worst)}};
}

} // namespace

std::optional<double> CheckCounts::passRate() const
{
    return runs > 0 ? std::optional<double>(double(passed) / runs) : std::nullopt;
}

std::optional<double> YieldGroup::firstPassYield() const
{
    return gimbals > 0 ? std::optional<double>(double(firstPassed) / gimbals) : std::nullopt;
}

std::optional<double> YieldGroup::finalYield() const
{
    return gimbals > 0 ? std::optional<double>(double(finalPassed) / gimbals) : std::nullopt;
}

std::optional<double> YieldGroup::gimbalsPerHour() const
{
    return activeHours > 0 ? std::optional<double>(double(updatedGimbals) / activeHours) : std::nullopt;
}

QJsonObject YieldReport::toJson() const
{
    QJsonArray failureList;
    for (const YieldFailure &f : failures)
        failureList.append(QJsonObject{{QStringLiteral("outcome"), f.outcome},
                                       {QStringLiteral("count"), f.count},
                                       {QStringLiteral("share"), f.share},
                                       {QStringLiteral("cumulative"), f.cumulative}});
    QJsonArray refusalList;
    for (const YieldFailure &f : refusals)
        refusalList.append(QJsonObject{{QStringLiteral("outcome"), f.outcome}, {QStringLiteral("count"), f.count}});
    QJsonArray days, stations, chips, steps;
    for (const YieldGroup &day : byDay)
        days.append(groupJson("day", day));
    for (const YieldGroup &station : byStation)
        stations.append(groupJson("station", station));
    for (const auto &[written, count] : firmware)
        chips.append(QJsonObject{{QStringLiteral("firmware"), written == UnknownFirmware ? QJsonValue(QJsonValue::Null)
                                                                                          : QJsonValue(JournalRecord::firmwareText(written))},
                                 {QStringLiteral("chips"), count}});
    for (const auto &[step, count] : calibrationFailures)
        steps.append(QJsonObject{{QStringLiteral("step"), step}, {QStringLiteral("count"), count}});
    QJsonArray spreads;
    for (const MeasurementSpread &m : measurements)
        spreads.append(spreadJson(m));
    const auto time = [](const QDateTime &t) {
        return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue(QJsonValue::Null);
    };
    return {{QStringLiteral("since"), time(filter.since)},
            {QStringLiteral("until"), time(filter.until)},
            {QStringLiteral("empty"), isEmpty()},
            {QStringLiteral("attempts"), total.attempts},
            {QStringLiteral("gimbals"), total.gimbals},
            {QStringLiteral("firstPassYield"), orNull(total.firstPassYield())},
            {QStringLiteral("finalYield"), orNull(total.finalYield())},
            {QStringLiteral("medianSeconds"), orNull(total.medianSeconds)},
            {QStringLiteral("p90Seconds"), orNull(total.p90Seconds)},
            {QStringLiteral("failures"), failureList},
            {QStringLiteral("refusals"), refusalList},
            {QStringLiteral("byDay"), days},
            {QStringLiteral("byStation"), stations},
            {QStringLiteral("firmware"), chips},
            {QStringLiteral("calibrations"), QJsonObject{{QStringLiteral("runs"), calibrationRuns},
                                                         {QStringLiteral("successes"), calibrationSuccesses},
                                                         {QStringLiteral("failures"), steps},
                                                         {QStringLiteral("checks"), checksJson(calibrationChecks)},
                                                         {QStringLiteral("measurements"), spreads},
                                                         {QStringLiteral("onDemandChecks"), checksJson(onDemandChecks)}}}};
}

QString YieldReport::csvHeader()
{
    return QStringLiteral("group,key,attempts,gimbals,firstPassYield,medianSeconds,gimbalsPerHour");
}

QStringList YieldReport::csvRows() const
{
    QStringList rows;
    for (const auto &[name, groups] : {std::pair{"day", &byDay}, std::pair{"station", &byStation}})
        for (const YieldGroup &g : *groups)
            rows.append(QStringList{QLatin1String(name), csvText(g.key), QString::number(g.attempts), QString::number(g.gimbals),
                                    csvNumber(g.firstPassYield(), 4), csvNumber(g.medianSeconds, 3), csvNumber(g.gimbalsPerHour(), 2)}
                            .join(QLatin1Char(',')));
    return rows;
}
