// A check of the gimbal at rest, as plain values: each measurement against its limits, and how the
// check came to its end.
#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// One figure of a check with the limits it must lie within (both inclusive).
struct CheckMeasurement
{
    // "accel_norm", "accel_noise", "gyro_bias", "gyro_noise" or "tilt".
    QString name;
    double value = 0;
    double low = 0;
    double high = 0;
    // "g", "deg/s" or "deg".
    QString unit;

    // A value that is not a number (no samples, a sensor gone mad) never passes.
    bool passed() const { return value >= low && value <= high; }
};

struct CheckOutcome
{
    enum Reason {
        Passed,    // every measurement lies within its limits
        Failed,    // at least one does not
        NotStill,  // the gimbal never kept still long enough to be measured
        LinkLost,  // the gimbal stopped answering
        Cancelled, // the port closed, another product, the other tab
    };

    Reason reason = Cancelled;
    // The face (1 to 6) whose target is nearest the mean acceleration; 0 when nothing was measured.
    int face = 0;
    // How many samples the measurements were computed from.
    int samples = 0;
    // In a fixed order: accel_norm, accel_noise, gyro_bias, gyro_noise, tilt. Empty when the
    // check ended before it measured.
    QList<CheckMeasurement> measurements;

    bool passed() const { return reason == Passed; }
    // The first measurement outside its limits, or nullptr.
    const CheckMeasurement *firstFailing() const;
    // Stable lower-case names ("success", "check-failed", "not-still", "link-lost", "cancelled")
    // for records and machine-readable output.
    static QString reasonName(Reason reason);
};

Q_DECLARE_METATYPE(CheckOutcome)
