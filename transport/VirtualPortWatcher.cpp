// Follows the VELMORA_VIRTUAL_PORTS paths with a stat each when their directories change.
#include "VirtualPortWatcher.h"

#include <QFileInfo>
#include <QSet>

namespace {

// The directory whose entries decide whether `path` exists: its parent, or the nearest
// ancestor that exists, whose change announces that the parent was created.
QString watchableDirectory(const QString &path)
{
    QString dir = QFileInfo(path).absolutePath();
    while (!QFileInfo(dir).isDir()) {
        const QString parent = QFileInfo(dir).path();
        if (parent == dir)
            break;
        dir = parent;
    }
    return dir;
}

} // namespace

VirtualPortWatcher::VirtualPortWatcher(QObject *parent)
    : QObject(parent)
    , paths(qEnvironmentVariable("VELMORA_VIRTUAL_PORTS").split(u':', Qt::SkipEmptyParts))
{
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this,
            &VirtualPortWatcher::onDirectoryChanged);
    recheck();
}

bool VirtualPortWatcher::recheck()
{
    updateWatches();
    QList<PortInfo> now;
    for (const QString &path : std::as_const(paths)) {
        // exists() follows links, so a link whose target has gone is absent.
        if (QFileInfo::exists(path))
            now.append(PortInfo{path, GimbalAdapterVendorId, GimbalAdapterProductId});
    }
    if (now == present)
        return false;
    present = now;
    return true;
}

void VirtualPortWatcher::onDirectoryChanged()
{
    // A link may now point somewhere else, or a missing parent may have appeared: recheck()
    // moves the watches along.
    if (recheck())
        emit changed();
}

void VirtualPortWatcher::updateWatches()
{
    if (paths.isEmpty())
        return;
    QSet<QString> wanted;
    for (const QString &path : std::as_const(paths)) {
        wanted.insert(watchableDirectory(path));
        const QFileInfo info(path);
        if (info.isSymLink()) {
            wanted.insert(watchableDirectory(info.symLinkTarget()));
            const QString canonical = info.canonicalFilePath();
            if (!canonical.isEmpty())
                wanted.insert(watchableDirectory(canonical));
        }
    }
    const QStringList watched = watcher.directories();
    QStringList obsolete;
    for (const QString &dir : watched) {
        if (!wanted.contains(dir))
            obsolete.append(dir);
    }
    if (!obsolete.isEmpty())
        watcher.removePaths(obsolete);
    QStringList added;
    for (const QString &dir : std::as_const(wanted)) {
        if (!watched.contains(dir))
            added.append(dir);
    }
    if (!added.isEmpty())
        watcher.addPaths(added);
    // A directory that could not be watched (the watch limit reached) is retried next time.
    watchingAll = watcher.directories().size() == wanted.size();
}
