// Names of calibration outcomes and steps.
#include "CalibrationOutcome.h"

QString CalibrationOutcome::reasonName(Reason reason)
{
    switch (reason) {
    case Success: return QStringLiteral("success");
    case Cancelled: return QStringLiteral("cancelled");
    case LinkLost: return QStringLiteral("link-lost");
    case StepFailed: return QStringLiteral("step-failed");
    case CheckFailed: return QStringLiteral("check-failed");
    }
    return QString();
}

QString CalibrationOutcome::stepName(int step)
{
    if (step >= 2 && step <= 7)
        return QStringLiteral("face-%1").arg(step - 1);
    switch (step) {
    case 0: return QStringLiteral("enter-mode");
    case 1: return QStringLiteral("clear");
    case 8: return QStringLiteral("solve");
    case 9: return QStringLiteral("gyroscope");
    case 10: return QStringLiteral("clear-after");
    case 11: return QStringLiteral("leave-mode");
    case 12: return QStringLiteral("save");
    case 13: return QStringLiteral("check");
    }
    return QString();
}
