// The station's count of gimbals and the exit status of its run, as a value.
#pragma once

#include <QHash>
#include <QList>
#include <QString>

struct StationCounts
{
    int updated = 0;
    int upToDate = 0;
    int failed = 0;
};

// A gimbal is told by its chips' ids, so one pulled out mid-write and updated after its return
// counts as updated: the exit status is that of each gimbal's last attempt, the first failed
// gimbal in the order seen deciding. Attempts that never listed chips stand alone.
class StationTally
{
public:
    enum class Result { Updated, UpToDate, Failed };

    // An attempt ended as `result` with exit status `status`. `gimbal` is its chips' ids, empty
    // when none were listed; `pulled` when its adapter was pulled out before it ended, so the
    // gimbal comes back and is counted when its next attempt ends.
    void add(const QString &gimbal, Result result, int status, bool pulled);

    const StationCounts &counts() const { return shown; }
    // Attempts not cut short by a pulled adapter.
    int gimbalsEnded() const { return ended; }
    // The run's exit status: interrupted when cancelled, else the first failed gimbal's.
    int exitStatus(bool cancelled) const;

private:
    StationCounts shown;
    int ended = 0;
    QHash<QString, int> lastStatus;
    QList<QString> gimbalOrder;
    QList<int> unidentifiedFailures;
};
