// Names of check outcomes.
#include "CheckOutcome.h"

const CheckMeasurement *CheckOutcome::firstFailing() const
{
    for (const CheckMeasurement &measurement : measurements) {
        if (!measurement.passed())
            return &measurement;
    }
    return nullptr;
}

QString CheckOutcome::reasonName(Reason reason)
{
    switch (reason) {
    case Passed: return QStringLiteral("success");
    case Failed: return QStringLiteral("check-failed");
    case NotStill: return QStringLiteral("not-still");
    case LinkLost: return QStringLiteral("link-lost");
    case Cancelled: return QStringLiteral("cancelled");
    }
    return QString();
}
