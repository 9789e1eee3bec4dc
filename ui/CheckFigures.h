// A check's figures and words in the calibration tab: the table of measurements against their
// limits with a mark each, the verdict, and what a calibration that ended check-failed says.
// The words of the check itself are CalibrationWords', which the command line says too.
#pragma once

#include "CheckOutcome.h"

#include <QCoreApplication>
#include <QString>

class QStandardItemModel;
class QTableView;

class CheckFigures
{
    Q_DECLARE_TR_FUNCTIONS(CheckFigures)

public:
    // Row height of the table, in pixels, as in the firmware tab's tables.
    static constexpr int RowHeight = 22;

    // Gives `model` the four columns (measurement, value, limits, mark), sets it into `view`,
    // stretches the columns and fixes the rows, and makes the view just tall enough for five.
    static void setUp(QTableView *view, QStandardItemModel *model);
    // Replaces the rows of `model` with one row per measurement of `check`, in its order.
    static void show(QStandardItemModel *model, const CheckOutcome &check);

    // "0.998 g", "0.12 °/s", with CalibrationWords' places; a value that is not a number as a dash.
    static QString value(const CheckMeasurement &m);
    // "0.97 – 1.03 g" (the limits as set), or "≤ 0.5 °/s" when the low limit is zero or below.
    static QString limits(const CheckMeasurement &m);
    // "✓" inside its limits, "✗" outside.
    static QString mark(const CheckMeasurement &m);

    // How an on-demand check ended, in words: "Calibration looks good", "Calibration needed",
    // or why nothing could be judged.
    static QString verdict(const CheckOutcome &check);
    // A calibration saved but whose check did not pass: the failing measurement with its value
    // and limits (or why it could not be measured), then what to do; `again` when this gimbal's
    // calibration failed its check before, which points at the sensor.
    static QString calibrationCheckFailed(const CheckOutcome &check, bool again);
    // What a calibration says while its own check waits and measures.
    static QString calibrationChecking();
    // A limits file with a mistake: nothing is checked.
    static QString limitsRefused(const QString &error);
    // The title of the picture's group while a check shows.
    static QString title();
};
