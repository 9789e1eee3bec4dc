// File input and output of velmora-ptz, and unpacking with the reason of a refusal.
#include "PackageFiles.h"

#include "PackageFileReader.h"
#include "PtzFile.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

namespace PackageFiles {

bool readAll(const QString &path, QByteArray *bytes, QString *error)
{
    // Never blocks on a pipe or device and never loads more than a package can be.
    PackageFileReader::Result file = PackageFileReader::read(path);
    switch (file.outcome) {
    case PackageFileReader::Outcome::Ok:
        *bytes = std::move(file.bytes);
        return true;
    case PackageFileReader::Outcome::Missing:
        *error = QStringLiteral("no such file");
        break;
    case PackageFileReader::Outcome::NotRegularFile:
        *error = QFileInfo(path).isDir() ? QStringLiteral("is a directory") : QStringLiteral("not a regular file");
        break;
    case PackageFileReader::Outcome::TooLarge:
        *error = QStringLiteral("larger than %1, the most a package may be").arg(PackageFileReader::sizeLimitText());
        break;
    case PackageFileReader::Outcome::ReadError:
        *error = QString::fromLocal8Bit(std::strerror(file.error));
        break;
    }
    return false;
}

bool writeAll(const QString &path, const QByteArray &bytes, QString *error)
{
    // The new file is renamed over the old one: that would put a regular file in place of a
    // pipe or a device node (as root, even of /dev/null).
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile()) {
        *error = existing.isDir() ? QStringLiteral("is a directory") : QStringLiteral("not a regular file");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool unpack(PtzFile *file, const QByteArray &bytes, QString *reason)
{
    if (file->unpack(bytes))
        return true;
    *reason = PtzFile::flawName(file->flaw());
    return false;
}

} // namespace PackageFiles
