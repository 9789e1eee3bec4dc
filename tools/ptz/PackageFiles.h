// File input and output of velmora-ptz: whole files in, packages out, and unpacking with a reason.
#pragma once

#include <QByteArray>
#include <QString>

class PtzFile;

namespace PackageFiles {

// Reads a whole regular file of at most the package size limit; on false *error says why
// ("no such file", "is a directory", "not a regular file", ...).
bool readAll(const QString &path, QByteArray *bytes, QString *error);

// Writes `bytes` so that `path` either holds all of them or keeps its previous content; a path
// that names anything but a regular file is left alone.
bool writeAll(const QString &path, const QByteArray &bytes, QString *error);

// PtzFile::unpack, with the name of the check that refused the package in *reason.
bool unpack(PtzFile *file, const QByteArray &bytes, QString *reason);

} // namespace PackageFiles
