// The highest index sequence seen for each catalogue URL, kept in the user's state folder.
#pragma once

#include <QString>

// An index with a lower sequence than one already believed for the same URL is an old list
// served again; remembering the highest one per URL is what lets such a list be refused. The
// file lives apart from the cache so that clearing the cache does not forget it. The window and
// the command line may record at once: a change is made under a lock file beside it.
class SequenceStore
{
public:
    // The file at `path`; defaultPath() for the user's.
    explicit SequenceStore(const QString &path);

    // $XDG_STATE_HOME/Velmora/catalogue-sequences.json (~/.local/state without it).
    static QString defaultPath();

    // The highest sequence recorded for `url`, or -1.
    qint64 highest(const QString &url) const;
    // Records `sequence` for `url` if it is higher than the one there, reading, changing and
    // replacing the file while holding its lock. Empty when recorded (or already as high);
    // otherwise why not: the lock stayed taken, or the file could not be written.
    QString record(const QString &url, qint64 sequence);

    // How long record() waits for another program's change to end, and the age at which a lock
    // whose holder cannot be asked is taken as left behind (one whose process is gone is at once).
    static constexpr int LockWaitMs = 5000;
    static constexpr int LockPollMs = 5;
    static constexpr int StaleLockMs = 10000;

private:
    QString path;
};
