// Reads a package file from disk: only a regular file, and only one small enough to be a package.
#include "PackageFileReader.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Outcome = PackageFileReader::Outcome;

PackageFileReader::Result refused(Outcome outcome, qint64 size = -1, int error = 0)
{
    PackageFileReader::Result result;
    result.outcome = outcome;
    result.size = size;
    result.error = error;
    return result;
}

// The reason of a failed stat or open.
PackageFileReader::Result failedCall(int error)
{
    return refused(error == ENOENT || error == ENOTDIR ? Outcome::Missing : Outcome::ReadError, -1, error);
}

// What the file system says of a file, before anything is read from it.
PackageFileReader::Result judge(const struct stat &info, qint64 limit)
{
    if (!S_ISREG(info.st_mode))
        return refused(Outcome::NotRegularFile);
    if (qint64(info.st_size) > limit)
        return refused(Outcome::TooLarge, qint64(info.st_size));
    return refused(Outcome::Ok, qint64(info.st_size));
}

// Closes the descriptor on every way out.
struct Descriptor
{
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Chunk by which the buffer grows past the size the file system gave.
constexpr qint64 GrowBy = 64 * 1024;

} // namespace

QString PackageFileReader::sizeLimitText()
{
    return QStringLiteral("%1 MiB").arg(SizeLimit / (1024 * 1024));
}

PackageFileReader::Result PackageFileReader::read(const QString &path, qint64 limit)
{
    if (path.isEmpty())
        return refused(Outcome::Missing, -1, ENOENT);
    const QByteArray name = QFile::encodeName(path);

    // Looked at before opening: opening a device can have effects of its own (a serial port
    // drops its control lines), and a pipe would wait for a writer.
    struct stat info{};
    if (::stat(name.constData(), &info) != 0)
        return failedCall(errno);
    Result checked = judge(info, limit);
    if (checked.outcome != Outcome::Ok)
        return checked;

    // O_NONBLOCK: should the path have been swapped for a pipe or device since the check, the
    // open still returns at once (and the fstat below refuses it). It changes nothing for a file.
    Descriptor file{::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0)
        return failedCall(errno);
    // What was opened is judged again: the check above looked at the path, not at this file.
    if (::fstat(file.fd, &info) != 0)
        return refused(Outcome::ReadError, -1, errno);
    checked = judge(info, limit);
    if (checked.outcome != Outcome::Ok)
        return checked;

    // The file may hold more than its size says (it grows, or is a kernel file that reports 0):
    // reading goes on to the end, but never past limit + 1 bytes.
    QByteArray bytes;
    bytes.reserve(qsizetype(checked.size + 1));
    bytes.resize(qsizetype(checked.size));
    qint64 filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > limit)
                return refused(Outcome::TooLarge, filled);
            // One byte past the stated size first, to see the end without copying; then by
            // chunks, the room doubling so that a long read copies little.
            const qint64 wanted = qMin(filled + (filled == checked.size ? 1 : GrowBy), limit + 1);
            if (wanted > bytes.capacity())
                bytes.reserve(qsizetype(qMin(qMax(wanted, 2 * qint64(bytes.capacity())), limit + 1)));
            bytes.resize(qsizetype(wanted));
        }
        const ssize_t got = ::read(file.fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return refused(Outcome::ReadError, checked.size, errno);
        }
        if (got == 0)
            break;
        filled += got;
    }
    bytes.truncate(qsizetype(filled));
    checked.bytes = std::move(bytes);
    return checked;
}
