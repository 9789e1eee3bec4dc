// The simulator's end of a pseudo-terminal.
#include "PseudoTerminal.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal(QObject *parent)
    : QObject(parent)
{
}

PseudoTerminal::~PseudoTerminal()
{
    removeLink();
    delete notifier;
    if (masterFd >= 0)
        ::close(masterFd);
    if (slaveFd >= 0)
        ::close(slaveFd);
    // The lock file goes while it is still locked: a simulator that opened it meanwhile finds,
    // once it holds the lock, that the file is no longer the one at the path, and starts over
    // (open()), so two simulators never hold locks on two files of one link.
    if (lockFd >= 0) {
        ::unlink(lockFile.constData());
        ::close(lockFd);
    }
}

bool PseudoTerminal::fail(const QString &what)
{
    error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool PseudoTerminal::open(const QString &linkPath)
{
    char name[256] = {};
    if (::openpty(&masterFd, &slaveFd, name, nullptr, nullptr) != 0)
        return fail(QStringLiteral("openpty"));
    slaveName = QString::fromLocal8Bit(name);

    termios settings{};
    if (::tcgetattr(slaveFd, &settings) != 0)
        return fail(QStringLiteral("tcgetattr"));
    ::cfmakeraw(&settings);
    if (::tcsetattr(slaveFd, TCSANOW, &settings) != 0)
        return fail(QStringLiteral("tcsetattr"));
    ::fcntl(masterFd, F_SETFL, ::fcntl(masterFd, F_GETFL) | O_NONBLOCK);
    ::fcntl(masterFd, F_SETFD, FD_CLOEXEC);
    ::fcntl(slaveFd, F_SETFD, FD_CLOEXEC);

    const QByteArray target = QFile::encodeName(linkPath);
    // A simulator holds an exclusive lock on its link's lock file for as long as it runs; the
    // kernel releases it when the process ends, however it ends. Held elsewhere, the link
    // belongs to a running simulator and is left alone.
    const QByteArray lockPath = target + ".lock";
    for (int tries = 0;; ++tries) {
        // Read-only is enough for flock, so a lock file another user made serves as well.
        lockFd = ::open(lockPath.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (lockFd < 0)
            return fail(QFile::decodeName(lockPath));
        if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
            taken = errno == EWOULDBLOCK;
            const int saved = errno;
            ::close(lockFd);
            lockFd = -1;
            errno = saved;
            if (taken)
                error = linkPath + QStringLiteral(" belongs to another running simulator");
            else
                return fail(QFile::decodeName(lockPath));
            return false;
        }
        // The simulator that held it removes the lock file as it ends: a lock on a file no
        // longer at the path guards nothing, so it is taken again on the file there now.
        struct stat held{};
        struct stat named{};
        if (::fstat(lockFd, &held) == 0 && ::lstat(lockPath.constData(), &named) == 0 && held.st_dev == named.st_dev
            && held.st_ino == named.st_ino)
            break;
        ::close(lockFd);
        lockFd = -1;
        if (tries >= 100) {
            errno = EAGAIN;
            return fail(QFile::decodeName(lockPath));
        }
    }
    lockFile = lockPath;
    struct stat existing{};
    if (::lstat(target.constData(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        errno = EEXIST;
        return fail(linkPath);
    }
    // Made under a temporary name and renamed over the old link, so the path never dangles
    // and a stale link from an earlier run is replaced.
    const QByteArray temporary = target + ".tmp" + QByteArray::number(qint64(::getpid()));
    ::unlink(temporary.constData());
    if (::symlink(name, temporary.constData()) != 0)
        return fail(QStringLiteral("symlink ") + linkPath);
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int saved = errno;
        ::unlink(temporary.constData());
        errno = saved;
        return fail(QStringLiteral("rename ") + linkPath);
    }
    link = linkPath;

    notifier = new QSocketNotifier(masterFd, QSocketNotifier::Read);
    connect(notifier, &QSocketNotifier::activated, this, &PseudoTerminal::readMaster);
    return true;
}

void PseudoTerminal::removeLink()
{
    if (link.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(link);
    char target[4096];
    const ssize_t length = ::readlink(path.constData(), target, sizeof target - 1);
    if (length > 0 && QFile::decodeName(QByteArray(target, qsizetype(length))) == slaveName)
        ::unlink(path.constData());
    link.clear();
}

void PseudoTerminal::write(QByteArray bytes)
{
    if (masterFd < 0)
        return;
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(masterFd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN: nobody reads; the bytes are lost like on an unattended line
        }
        data += written;
        left -= written;
    }
}

void PseudoTerminal::readMaster()
{
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(masterFd, buffer, sizeof buffer);
        if (count > 0) {
            emit bytesReceived(QByteArray(buffer, qsizetype(count)));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno == EAGAIN)
            return;
        // End of file or a hard error cannot happen while our own slave descriptor is open;
        // stop watching rather than spin on it.
        notifier->setEnabled(false);
        return;
    }
}
