// Hot-plug events of the tty subsystem from udev's monitor socket, on Linux.
#pragma once

#include <QObject>

class QSocketNotifier;
struct udev;
struct udev_monitor;

// Reports that a serial device came or went, after udev has processed it (so a listing made
// on the signal already sees the change). Nothing runs between events. Where udev's daemon is
// not running (a container, a minimal system) the kernel's own device events are followed.
// Where neither can be received the monitor stays inactive and the owner must find changes by
// itself.
class UdevTtyMonitor : public QObject
{
    Q_OBJECT

public:
    explicit UdevTtyMonitor(QObject *parent = nullptr);
    ~UdevTtyMonitor() override;
    UdevTtyMonitor(const UdevTtyMonitor &) = delete;
    UdevTtyMonitor &operator=(const UdevTtyMonitor &) = delete;

    bool isActive() const { return notifier != nullptr; }

signals:
    // One or more tty devices were added, removed or changed.
    void changed();

private:
    void onReadable();
    void release();

    udev *context = nullptr;
    udev_monitor *monitor = nullptr;
    QSocketNotifier *notifier = nullptr;
    bool kernelEvents = false; // the kernel's events rather than udev's
};
