// How a calibration run ended, as a value: the reason, the step reached and what was taken.
#pragma once

#include "CheckOutcome.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <array>
#include <optional>

struct CalibrationOutcome
{
    enum Reason {
        Success,    // the gimbal acknowledged the save (and the check after it passed)
        Cancelled,  // the port closed, another product, the other tab
        LinkLost,   // the gimbal stopped answering
        StepFailed, // the gimbal did not do what a step asked in time
        CheckFailed, // saved, but the check that followed found the gimbal reading wrong
    };

    Reason reason = Cancelled;
    // The step the run ended at: 0 entering calibration mode, 1 clearing, 2 to 7 faces 1 to 6,
    // 8 the accelerometer solve, 9 the gyroscope, 10 the final clear, 11 leaving, 12 the save,
    // 13 the check after the save.
    int step = 0;
    // The acceleration (g) at which each accepted face was taken, face 1 first.
    QList<std::array<double, 3>> faces;
    bool saveAcknowledged = false;
    // The check after the save, once it ran (whatever its end).
    std::optional<CheckOutcome> check;

    bool succeeded() const { return reason == Success; }
    // Stable lower-case names ("link-lost", "face-3") for records and machine-readable output.
    static QString reasonName(Reason reason);
    static QString stepName(int step);
};

Q_DECLARE_METATYPE(CalibrationOutcome)
