// Follows udev's tty events through the monitor socket in a socket notifier.
#include "UdevTtyMonitor.h"

#include "TransportLog.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <libudev.h>

namespace {

// udev's daemon creates this socket; without the daemon a monitor of udev's events is accepted
// but never receives anything, which would silently stop the port list from following the
// adapters. The kernel's own events are then followed instead.
constexpr char kUdevControl[] = "/run/udev/control";

// A udev testbed (umockdev) names its root in this variable and delivers udev's events itself,
// with no daemon running: the monitor then receives them like the daemon's.
bool udevDeliversEvents()
{
    return QFileInfo::exists(QString::fromLatin1(kUdevControl)) || !qEnvironmentVariableIsEmpty("UMOCKDEV_DIR");
}

} // namespace

UdevTtyMonitor::UdevTtyMonitor(QObject *parent)
    : QObject(parent)
{
    // Without udev's daemon (a container, a minimal system) the kernel announces the same tty
    // devices itself. Its "add" comes once the device and its /dev node exist, its "remove"
    // once the device has left the tty class, so a listing made on either already sees the
    // change.
    kernelEvents = !udevDeliversEvents();
    if (kernelEvents)
        qCDebug(lcTransport, "udev is not running; following the kernel's device events");
    context = udev_new();
    if (context)
        monitor = udev_monitor_new_from_netlink(context, kernelEvents ? "kernel" : "udev");
    const int fd = monitor ? udev_monitor_get_fd(monitor) : -1;
    // Draining reads until the socket is empty, which must not block.
    const int flags = fd < 0 ? -1 : fcntl(fd, F_GETFL);
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0
        || udev_monitor_enable_receiving(monitor) < 0 || flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        // A sandbox may refuse the kernel's events; that is expected there, not worth a warning.
        if (kernelEvents)
            qCDebug(lcTransport, "cannot follow the kernel's device events; serial ports are compared periodically");
        else
            qCWarning(lcTransport, "cannot follow udev events; serial ports are compared periodically");
        release();
        return;
    }
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &UdevTtyMonitor::onReadable);
}

UdevTtyMonitor::~UdevTtyMonitor()
{
    release();
}

void UdevTtyMonitor::release()
{
    delete notifier;
    notifier = nullptr;
    if (monitor)
        udev_monitor_unref(monitor);
    monitor = nullptr;
    if (context)
        udev_unref(context);
    context = nullptr;
}

void UdevTtyMonitor::onReadable()
{
    // A plug sends several events at once; they are all taken now and answered with one
    // signal. A failed receive (events lost to a full socket buffer) is a change as well,
    // since the listing may have moved on without us.
    bool any = false;
    for (;;) {
        errno = 0;
        udev_device *device = udev_monitor_receive_device(monitor);
        if (!device)
            break;
        udev_device_unref(device);
        any = true;
    }
    if (errno != 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        any = true;
    if (any)
        emit changed();
}
