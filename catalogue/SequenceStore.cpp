// The highest sequence per catalogue URL, in a small JSON file replaced atomically.
#include "SequenceStore.h"
#include "CatalogueLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

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

bool SequenceStore::record(const QString &url, qint64 sequence)
{
    QJsonObject all = readAll(path);
    if (all.value(url).isDouble() && qint64(all.value(url).toDouble()) >= sequence)
        return true;
    all.insert(url, double(sequence));
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(all).toJson()) < 0 || !file.commit()) {
        qCWarning(lcCatalogue) << "cannot keep the catalogue sequence in" << path << file.errorString();
        return false;
    }
    return true;
}
