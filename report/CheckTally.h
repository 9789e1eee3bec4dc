// Folds the range's calibrations and checks, read one record after another with their
// measurements, into the report's check figures.
#pragma once

#include "YieldReport.h"

#include <QMap>
#include <vector>

// One row of the read: a record, and one of its measurements when it has any.
struct CheckRow
{
    QString id;
    JournalRecord::Kind kind = JournalRecord::Kind::Calibration;
    QString outcome;
    qint64 startedMs = 0;
    std::optional<CheckMeasurement> measurement;
    bool passed = false; // the measurement's, as its row says
};

class CheckTally
{
public:
    // A record's rows come one after another, records in any order.
    void add(const CheckRow &row);
    void finish(YieldReport *report);

    // How far `m` lies inside its limits, as a share of their width: 0.5 midway, 0 on a limit,
    // below 0 beyond one (-0.1: a tenth of the width beyond). The worst value of a measurement
    // is the one with the least margin: the farthest beyond a limit, or else the nearest to one.
    // A low limit of 0 or less bounds nothing, since no measurement (a modulus, a spread, an
    // angle) is below 0: only the high limit counts then, and a value near 0 is a good one.
    static double margin(const CheckMeasurement &m);

private:
    struct Spread
    {
        QString unit;
        double low = 0, high = 0;
        qint64 limitsMs = 0; // the start of the record the limits are from
        int count = 0;
        std::vector<double> values; // those that were numbers
        int outside = 0;
        double worst = 0;
        double worstMargin = 0;
    };

    void finishRecord();

    QString record; // the record being read
    JournalRecord::Kind kind = JournalRecord::Kind::Calibration;
    QString outcome;
    qint64 startedMs = 0;
    QList<std::pair<CheckMeasurement, bool>> figures;
    CheckCounts calibrations, onDemand;
    QMap<QString, Spread> spreads;
};
