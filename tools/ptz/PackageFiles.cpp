// File input and output of velmora-ptz, and unpacking with the package reader's reason.
#include "PackageFiles.h"

#include "PtzFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace {

// The package reader explains a refusal on its debug category only; collect those lines.
QStringList *collected = nullptr;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Q_UNUSED(type)
    Q_UNUSED(context)
    if (collected)
        collected->append(message);
}

} // namespace

namespace PackageFiles {

bool readAll(const QString &path, QByteArray *bytes, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("no such file");
        return false;
    }
    if (info.isDir()) {
        *error = QStringLiteral("is a directory");
        return false;
    }
    // A package records its size in 32 bits; anything larger is not one and is not loaded.
    if (info.size() > qint64(0xFFFFFFFFu)) {
        *error = QStringLiteral("larger than 4 GiB");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool writeAll(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool unpack(PtzFile *file, const QByteArray &bytes, QString *reason)
{
    QStringList lines;
    collected = &lines;
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    const bool accepted = file->unpack(bytes);
    qInstallMessageHandler(previous);
    collected = nullptr;
    if (!accepted) {
        // The last line is the refusal ("> file size error!"); shown without its marks.
        QString why = lines.isEmpty() ? QString() : lines.last();
        if (why.startsWith(QLatin1Char('>')))
            why = why.mid(1).trimmed();
        while (why.endsWith(QLatin1Char('!')))
            why.chop(1);
        *reason = why.isEmpty() ? QStringLiteral("not a valid package") : why;
    }
    return accepted;
}

} // namespace PackageFiles
