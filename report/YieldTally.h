// Folds a range's update attempts, read one by one in gimbal order, into the report's figures.
#pragma once

#include "LocalDays.h"
#include "YieldReport.h"

#include <QMap>
#include <QSet>
#include <vector>

// One update attempt as the report reads it.
struct YieldAttempt
{
    QString gimbal; // the chips' cpuids in listing order; empty when no chip was listed
    qint64 startedMs = 0;
    QString station;
    bool passed = false;
    std::optional<double> seconds; // none without an end
    QString outcome;
    QString checkResult;
};

class YieldTally
{
public:
    explicit YieldTally(const QTimeZone &zone)
        : localDays(zone)
    {
    }

    // A gimbal's attempts come one after another, in the gimbal's order: by start, then station,
    // then a failure before a pass, then id.
    void add(const YieldAttempt &attempt);
    // Fills the report's attempt and gimbal figures once every attempt was added.
    void finish(YieldReport *report);

    // The failure word of an attempt that did not pass (none for one that did): a failed check
    // kept as "success" is "not-running", or "cancelled" when the check was.
    static QString failureOf(bool passed, const QString &outcome, const QString &checkResult);
    // The duration in whole tenths of a second, from its whole milliseconds rounded half up.
    static qint64 tenthsOf(double seconds);

private:
    // What the attempts of one group (the whole range, a local day, a station) add up to.
    struct Group
    {
        int attempts = 0;
        std::vector<qint64> tenths; // the attempts' durations in tenths of a second
        QSet<qint64> hours;           // the clock hours (UTC, from 1970) in which an attempt began
        int gimbals = 0;
        int firstPassed = 0;
        int finalPassed = 0;
        int updated = 0;
    };
    // One attempt of the gimbal being read.
    struct Step
    {
        qint64 day;
        QString station;
        bool passed;
    };

    void countGimbal();
    static void fill(YieldGroup *out, Group &group);
    // The words' counts as a Pareto: largest first, each with its share and the cumulative one.
    static QList<YieldFailure> pareto(const QMap<QString, int> &counts);

    LocalDays localDays;
    Group total;
    QMap<qint64, Group> days;
    QMap<QString, Group> stations;
    QMap<QString, int> failures; // the gimbals' failures, by word
    QMap<QString, int> refusals; // the line's refusals, by word
    QString gimbal;     // the gimbal being read
    QList<Step> steps;  // its attempts so far, in its order
};
