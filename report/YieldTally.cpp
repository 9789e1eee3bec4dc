// The report's fold: each attempt counted in its groups as it is read, each gimbal once its
// attempts are all read.
#include "YieldTally.h"

#include "Attempts.h"

#include <QDate>
#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 HourMs = 3600000;

// Nearest rank: the k-th shortest of n durations, k = ceil(n * percent / 100), in seconds.
// Reorders `tenths`.
std::optional<double> nearestRank(std::vector<qint64> &tenths, int percent)
{
    if (tenths.empty())
        return std::nullopt;
    const qint64 count = qint64(tenths.size());
    const qint64 rank = (count * percent + 99) / 100;
    const auto kth = tenths.begin() + (rank - 1);
    std::nth_element(tenths.begin(), kth, tenths.end());
    return *kth / 10.0;
}

} // namespace

QString YieldTally::failureOf(bool passed, const QString &outcome, const QString &checkResult)
{
    if (passed)
        return QString();
    if (outcome == QLatin1String("success"))
        return checkResult == QLatin1String("cancelled") ? QStringLiteral("cancelled") : QStringLiteral("not-running");
    return outcome;
}

qint64 YieldTally::tenthsOf(double seconds)
{
    return (std::llround(seconds * 1000) + 50) / 100;
}

void YieldTally::add(const YieldAttempt &attempt)
{
    const QString failure = failureOf(attempt.passed, attempt.outcome, attempt.checkResult);
    // A refusal never reached the gimbal: it is the line's, counted apart, and no attempt of
    // the gimbal's.
    if (JournalWords::isRefusal(failure)) {
        ++refusals[failure];
        return;
    }
    const qint64 day = localDays.dayOf(attempt.startedMs);
    const qint64 hour = attempt.startedMs / HourMs - (attempt.startedMs % HourMs < 0 ? 1 : 0);
    for (Group *group : {&total, &days[day], &stations[attempt.station]}) {
        ++group->attempts;
        group->hours.insert(hour);
        if (attempt.seconds)
            group->tenths.push_back(tenthsOf(*attempt.seconds));
    }
    if (!failure.isEmpty())
        ++failures[failure];
    if (attempt.gimbal != gimbal) {
        countGimbal();
        steps.clear();
        gimbal = attempt.gimbal;
    }
    if (!gimbal.isEmpty())
        steps.append({day, attempt.station, attempt.passed});
}

// A gimbal counts once in the range, on each local day and at each station it was tried: its
// first attempt there says whether it passed first time, its last whether it passed in the end.
// It counts as updated in the groups of its first passing attempt.
void YieldTally::countGimbal()
{
    if (steps.isEmpty())
        return;
    const auto count = [](Group &group, const Step &first, const Step &last) {
        ++group.gimbals;
        group.firstPassed += first.passed ? 1 : 0;
        group.finalPassed += last.passed ? 1 : 0;
    };
    // Whether step i is the first with its key (its day or station), and the last with that key.
    const auto isFirst = [this](qsizetype i, auto key) {
        return std::none_of(steps.cbegin(), steps.cbegin() + i, [&](const Step &s) { return s.*key == steps.at(i).*key; });
    };
    const auto lastLike = [this](qsizetype i, auto key) -> const Step & {
        return *std::find_if(steps.crbegin(), steps.crend(), [&](const Step &s) { return s.*key == steps.at(i).*key; });
    };
    count(total, steps.first(), steps.last());
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const Step &step = steps.at(i);
        if (isFirst(i, &Step::day))
            count(days[step.day], step, lastLike(i, &Step::day));
        if (isFirst(i, &Step::station))
            count(stations[step.station], step, lastLike(i, &Step::station));
    }
    const auto pass = std::find_if(steps.cbegin(), steps.cend(), [](const Step &s) { return s.passed; });
    if (pass != steps.cend()) {
        ++total.updated;
        ++days[pass->day].updated;
        ++stations[pass->station].updated;
    }
}

void YieldTally::fill(YieldGroup *out, Group &group)
{
    out->attempts = group.attempts;
    out->gimbals = group.gimbals;
    out->firstPassed = group.firstPassed;
    out->finalPassed = group.finalPassed;
    out->updatedGimbals = group.updated;
    out->medianSeconds = nearestRank(group.tenths, 50);
    out->p90Seconds = nearestRank(group.tenths, 90);
    out->activeHours = int(group.hours.size());
}

void YieldTally::finish(YieldReport *report)
{
    countGimbal();
    steps.clear();
    gimbal.clear();
    fill(&report->total, total);
    for (auto it = days.begin(); it != days.end(); ++it) {
        YieldGroup day;
        day.key = QDate(1970, 1, 1).addDays(it.key()).toString(Qt::ISODate);
        fill(&day, it.value());
        report->byDay.append(day);
    }
    for (auto it = stations.begin(); it != stations.end(); ++it) {
        YieldGroup station;
        station.key = it.key();
        fill(&station, it.value());
        report->byStation.append(station);
    }
    report->failures = pareto(failures);
    report->refusals = pareto(refusals);
}

QList<YieldFailure> YieldTally::pareto(const QMap<QString, int> &counts)
{
    // Largest first; equal counts by word.
    QList<YieldFailure> list;
    int all = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        list.append({it.key(), it.value(), 0, 0});
        all += it.value();
    }
    std::stable_sort(list.begin(), list.end(), [](const YieldFailure &a, const YieldFailure &b) { return a.count > b.count; });
    int running = 0;
    for (YieldFailure &f : list) {
        running += f.count;
        f.share = double(f.count) / all;
        f.cumulative = double(running) / all;
    }
    return list;
}
