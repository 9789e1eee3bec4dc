// A pseudo-terminal pair for tests and benchmarks: the port opens the slave, the test holds the master.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

class PtyPair
{
public:
    PtyPair()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        slave = QString::fromLocal8Bit(ptsname(master));
        // Raw mode from the start, so nothing the test writes is echoed back before the
        // port under test opens the slave and sets its own mode.
        const int fd = ::open(slave.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        if (fd < 0)
            return;
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
        ::close(fd);
    }
    ~PtyPair() { closeMaster(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return master >= 0 && !slave.isEmpty(); }
    QString slavePath() const { return slave; }
    int masterFd() const { return master; }

    bool write(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    // Reads until `count` bytes have arrived or `timeoutMs` has passed; returns what arrived.
    QByteArray read(qsizetype count, int timeoutMs)
    {
        QByteArray bytes;
        QElapsedTimer clock;
        clock.start();
        while (bytes.size() < count) {
            const int left = timeoutMs - int(clock.elapsed());
            if (left <= 0 || !waitReadable(left))
                break;
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            bytes.append(buffer, n);
        }
        return bytes;
    }

    // Reads whatever arrives within `timeoutMs` (used to show that nothing arrives).
    QByteArray readFor(int timeoutMs) { return read(1 << 20, timeoutMs); }

    bool waitReadable(int timeoutMs)
    {
        pollfd pfd{master, POLLIN, 0};
        return ::poll(&pfd, 1, timeoutMs) > 0 && (pfd.revents & POLLIN);
    }

    // Hangs up the line, as pulling a USB adapter does.
    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

private:
    int master = -1;
    QString slave;
};
