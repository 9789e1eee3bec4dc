// The highest sequence per catalogue URL, in a small JSON file replaced atomically under a lock.
#include "SequenceStore.h"
#include "CatalogueLog.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QThread>

namespace {

QJsonObject readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.read(4 * 1024 * 1024)).object();
}

} // namespace

SequenceStore::SequenceStore(const QString &path) : path(path) {}

QString SequenceStore::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Velmora/catalogue-sequences.json");
}

qint64 SequenceStore::highest(const QString &url) const
{
    const QJsonValue value = readAll(path).value(url);
    return value.isDouble() ? qint64(value.toDouble()) : -1;
}

QString SequenceStore::record(const QString &url, qint64 sequence)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Without the lock, two programs recording two catalogues at once each write back what
    // they read, and the one that replaces the file last drops the other's entry.
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(StaleLockMs);
    // A holder keeps the lock for a few milliseconds: asked again soon rather than after
    // QLockFile's own growing pauses, which another program's next change can outrun.
    const QDeadlineTimer deadline(LockWaitMs);
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError)
            return QStringLiteral("cannot make %1.lock").arg(path);
        if (deadline.hasExpired())
            return QStringLiteral("%1.lock stayed taken for %2 s").arg(path).arg(LockWaitMs / 1000);
        QThread::msleep(LockPollMs);
    }
    QJsonObject all = readAll(path);
    if (all.value(url).isDouble() && qint64(all.value(url).toDouble()) >= sequence)
        return {};
    all.insert(url, double(sequence));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(all).toJson()) < 0 || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return {};
}
