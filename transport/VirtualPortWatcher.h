// The ports named in VELMORA_VIRTUAL_PORTS, followed through change notices on their directories.
#pragma once

#include "PortInfo.h"

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QStringList>

// Each colon-separated path counts as a gimbal adapter while it exists; a symbolic link to a
// pseudo-terminal that has gone counts as absent. The directories holding the paths, and those
// holding their link targets (a pseudo-terminal's /dev/pts), are watched, so a change is seen
// at once and nothing runs in between.
class VirtualPortWatcher : public QObject
{
    Q_OBJECT

public:
    // Reads VELMORA_VIRTUAL_PORTS once.
    explicit VirtualPortWatcher(QObject *parent = nullptr);

    bool isEmpty() const { return paths.isEmpty(); }
    // Whether every directory that matters is watched; if not, the owner must call recheck()
    // periodically.
    bool isWatching() const { return watchingAll; }

    // The paths that existed at the last check, in the variable's order.
    QList<PortInfo> ports() const { return present; }

    // Looks at the paths again and moves the watches along; returns whether the present
    // ones changed.
    bool recheck();

signals:
    // The present paths changed (already re-checked).
    void changed();

private:
    void onDirectoryChanged();
    void updateWatches();

    QStringList paths;
    QList<PortInfo> present;
    QFileSystemWatcher watcher;
    bool watchingAll = true;
};
