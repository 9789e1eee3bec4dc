// A line's yield over a range of the journal: first-pass yield, failure Pareto, days and stations.
#pragma once

#include "JournalStore.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The figures of a set of update attempts: the whole range, one local day or one station.
struct YieldGroup
{
    QString key; // the day ("2026-12-01") or the station; empty for the whole range
    int attempts = 0;
    int gimbals = 0;        // distinct gimbals; attempts that listed no chip have none
    int firstPassed = 0;    // gimbals whose first attempt here passed
    int finalPassed = 0;    // gimbals whose last attempt here passed
    int updatedGimbals = 0; // gimbals whose first passing attempt in the range is here
    std::optional<double> medianSeconds;
    std::optional<double> p90Seconds;
    int activeHours = 0; // clock hours in which an attempt here began

    // Shares of the gimbals; none without a gimbal, so an empty range never shows a yield.
    std::optional<double> firstPassYield() const;
    std::optional<double> finalYield() const;
    // Gimbals updated per hour of activity; none without an attempt.
    std::optional<double> gimbalsPerHour() const;
};

// Failed attempts of one outcome word, and their place in the Pareto.
struct YieldFailure
{
    QString outcome;
    int count = 0;
    double share = 0;      // of all failed attempts
    double cumulative = 0; // this and every larger one before it
};

// Checks that reached the gimbal (a cancelled one or a port not opened is none) and those that passed.
struct CheckCounts
{
    int runs = 0;
    int passed = 0;
    // None without a check.
    std::optional<double> passRate() const;
};

// One measurement over the calibrations' checks: where its values lie against its limits.
struct MeasurementSpread
{
    QString name;
    QString unit;
    // The limits of the latest calibration that measured it (a line may change them).
    double low = 0;
    double high = 0;
    int count = 0;   // values measured
    int outside = 0; // values that did not pass
    // Nearest-rank percentiles and the worst value (see CheckTally::margin) of the values that
    // were numbers; not a number when none was.
    double min = 0, p10 = 0, median = 0, p90 = 0, max = 0, worst = 0;
};

struct YieldReport
{
    JournalFilter filter;
    YieldGroup total;
    // Attempts that reached the gimbal and failed, largest first; the line's refusals (nothing
    // written because of its package, signature, catalogue, port or a cancel) apart, the same way.
    QList<YieldFailure> failures;
    QList<YieldFailure> refusals;
    QList<YieldGroup> byDay;      // oldest first, in the report machine's local days
    QList<YieldGroup> byStation;  // by name
    // Firmware written (version times 100, or UnknownFirmware where the record does not say),
    // chips; newest first, unknown last.
    QList<QPair<int, int>> firmware;
    int calibrationRuns = 0;
    int calibrationSuccesses = 0;
    QList<QPair<QString, int>> calibrationFailures; // step, count; largest first
    // Calibrations whose check ran after the save (those with figures, or that ended
    // check-failed), passed when they ended success; checks on demand apart.
    CheckCounts calibrationChecks;
    CheckCounts onDemandChecks;
    QList<MeasurementSpread> measurements; // the calibrations' checks', in the check's order

    static constexpr int UnknownFirmware = -1;

    bool isEmpty() const { return total.attempts == 0 && refusals.isEmpty() && calibrationRuns == 0 && onDemandChecks.runs == 0; }

    // One object with the fields a line's own software reads (see the README).
    QJsonObject toJson() const;
    // The by-day and by-station rows, one table: "group" says which.
    static QString csvHeader();
    QStringList csvRows() const;

    // Computes the report from the journal's records that `filter` keeps (its limit aside), in
    // the thread that opened `store`. Days are the local days of this machine.
    static std::optional<YieldReport> compute(JournalStore &store, const JournalFilter &filter, QString *error);
};
