// Counts the station's attempts and decides its exit status.
#include "StationTally.h"

#include "ExitCode.h"

void StationTally::add(const QString &gimbal, Result result, int status, bool pulled)
{
    switch (result) {
    case Result::Updated: ++shown.updated; break;
    case Result::UpToDate: ++shown.upToDate; break;
    case Result::Failed: ++shown.failed; break;
    }
    if (!pulled)
        ++ended;
    if (gimbal.isEmpty()) {
        if (result == Result::Failed)
            unidentifiedFailures.append(status);
        return;
    }
    if (!lastStatus.contains(gimbal))
        gimbalOrder.append(gimbal);
    lastStatus.insert(gimbal, result == Result::Failed ? status : int(ExitCode::Success));
}

int StationTally::exitStatus(bool cancelled) const
{
    if (cancelled)
        return ExitCode::Interrupted;
    for (const QString &gimbal : gimbalOrder)
        if (lastStatus.value(gimbal) != ExitCode::Success)
            return lastStatus.value(gimbal);
    return unidentifiedFailures.isEmpty() ? int(ExitCode::Success) : unidentifiedFailures.first();
}
