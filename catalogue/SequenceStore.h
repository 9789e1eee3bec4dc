// The highest index sequence seen for each catalogue URL, kept in the user's state folder.
#pragma once

#include <QString>

// An index with a lower sequence than one already believed for the same URL is an old list
// served again; remembering the highest one per URL is what lets such a list be refused. The
// file lives apart from the cache so that clearing the cache does not forget it.
class SequenceStore
{
public:
    // The file at `path`; defaultPath() for the user's.
    explicit SequenceStore(const QString &path);

    // $XDG_STATE_HOME/Velmora/catalogue-sequences.json (~/.local/state without it).
    static QString defaultPath();

    // The highest sequence recorded for `url`, or -1.
    qint64 highest(const QString &url) const;
    // Records `sequence` for `url` if it is higher than the one there; false if it could not be
    // written (the check still holds for this run).
    bool record(const QString &url, qint64 sequence);

private:
    QString path;
};
