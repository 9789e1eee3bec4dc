// Follows udev's tty events through the monitor socket in a socket notifier.
#include "UdevTtyMonitor.h"

#include "TransportLog.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <libudev.h>

namespace {

// udev's daemon creates this socket; without the daemon a monitor is accepted but never
// receives anything, which would silently stop the port list from following the adapters.
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
    if (!udevDeliversEvents()) {
        qCDebug(lcTransport, "udev is not running; serial ports are compared periodically");
        return;
    }
    context = udev_new();
    if (context)
        monitor = udev_monitor_new_from_netlink(context, "udev");
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0
        || udev_monitor_enable_receiving(monitor) < 0) {
        qCWarning(lcTransport, "cannot follow udev events; serial ports are compared periodically");
        release();
        return;
    }
    const int fd = udev_monitor_get_fd(monitor);
    // Draining reads until the socket is empty, which must not block.
    const int flags = fcntl(fd, F_GETFL);
    if (fd < 0 || flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
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
