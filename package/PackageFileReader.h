// Reads a package file from disk: only a regular file, and only one small enough to be a package.
#pragma once

#include <QByteArray>
#include <QString>

// Every reader of a package path (the update service, the firmware tab, the command-line tools)
// goes through here, so that a pipe, a device, a directory or a huge file never blocks a thread,
// never exhausts the memory and is refused with a reason the caller can turn into words.
class PackageFileReader
{
public:
    enum class Outcome {
        Ok,             // `bytes` holds the whole file
        Missing,        // nothing at the path
        NotRegularFile, // a directory, pipe, socket or device (after following symbolic links)
        TooLarge,       // larger than the limit; not a byte of it was kept
        ReadError,      // the path or the file cannot be opened or read (permissions, I/O error)
    };

    struct Result
    {
        Outcome outcome = Outcome::ReadError;
        QByteArray bytes; // the file's content when `outcome` is Ok, else empty
        qint64 size = -1; // the file's size when known (for TooLarge: at least this)
        int error = 0;    // errno of the system call that failed, for Missing and ReadError
    };

    // The format allows up to 4 GiB, but no gimbal's chips together hold anything near this: a
    // larger file is not a package and is refused before any of it is read.
    static constexpr qint64 SizeLimit = 64 * 1024 * 1024;
    // SizeLimit for people, as the messages name it.
    static QString sizeLimitText();

    // Reads the whole file at `path` if it is a regular file of at most `limit` bytes. Never
    // blocks on a pipe or device: their paths are refused before they are opened, and the open
    // itself does not wait. A file that grows beyond `limit` while it is read is TooLarge.
    static Result read(const QString &path, qint64 limit = SizeLimit);
};
