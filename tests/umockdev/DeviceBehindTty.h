// Carries bytes between the test's side of an emulated tty and an in-process device model.
#pragma once

#include "GimbalDevice.h"

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

class DeviceBehindTty : public QObject
{
public:
    DeviceBehindTty(int masterFd, GimbalDevice *device)
        : fd(masterFd)
        , notifier(masterFd, QSocketNotifier::Read)
    {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        connect(&notifier, &QSocketNotifier::activated, this, [this, device] {
            char buffer[4096];
            for (;;) {
                const ssize_t count = ::read(fd, buffer, sizeof buffer);
                if (count > 0)
                    device->receiveBytes(QByteArray(buffer, qsizetype(count)));
                else if (count < 0 && errno == EINTR)
                    continue;
                else
                    return;
            }
        });
        connect(device, &GimbalDevice::sendBytes, this, [this](const QByteArray &bytes) {
            qsizetype done = 0;
            while (done < bytes.size()) {
                const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
                if (written < 0 && errno == EINTR)
                    continue;
                if (written <= 0)
                    return; // nobody reads: lost, as on a real line
                done += written;
            }
        });
    }

private:
    int fd;
    QSocketNotifier notifier;
};
