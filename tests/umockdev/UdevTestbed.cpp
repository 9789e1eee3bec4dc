// The umockdev testbed behind UdevTestbed.
// umockdev's header comes first: it pulls in GLib, whose headers use names Qt defines as macros.
#include <umockdev.h>

#include "UdevTestbed.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <unistd.h>

namespace {

const QString kUsbRoot = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/");

QString usbDevicePath(const QString &usbPort)
{
    return kUsbRoot + usbPort;
}

QString usbTtyPath(const QString &usbPort, const QString &tty)
{
    return usbDevicePath(usbPort) + QStringLiteral("/%1:1.0/%2/tty/%2").arg(usbPort, tty);
}

// udev's usb_id replaces blanks in its ID_ strings with underscores.
QString udevString(QString text)
{
    return text.replace(QLatin1Char(' '), QLatin1Char('_'));
}

} // namespace

bool UdevTestbed::preloaded()
{
    return qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("libumockdev-preload"));
}

QString UdevTestbed::notPreloadedReason()
{
    return QStringLiteral("not run under umockdev-wrapper: its preload library is not loaded "
                          "(a build with the shared AddressSanitizer runtime cannot take it: ASan's "
                          "runtime must come first)");
}

UdevTestbed::UdevTestbed()
    : testbed(umockdev_testbed_new())
{
}

UdevTestbed::~UdevTestbed()
{
    g_object_unref(testbed);
}

QString UdevTestbed::addUsbAdapter(const QString &usbPort, const QString &tty, quint16 vendorId, quint16 productId,
                                   const QString &vendor, const QString &model, const QString &serial)
{
    const QString vid = QStringLiteral("%1").arg(vendorId, 4, 16, QLatin1Char('0'));
    const QString pid = QStringLiteral("%1").arg(productId, 4, 16, QLatin1Char('0'));
    const QString record = QStringLiteral(
        "P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
        "A: idVendor=%2\nA: idProduct=%3\nA: manufacturer=%4\nA: product=%5\nA: serial=%6\n\n"
        "P: %1/%7:1.0\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=usb_uart_bridge\n\n"
        "P: %1/%7:1.0/%8\nE: SUBSYSTEM=usb-serial\nE: DRIVER=usb_uart_bridge\n\n"
        "P: %9\nN: %8\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/%8\nE: MAJOR=188\nE: MINOR=0\n"
        "E: ID_BUS=usb\nE: ID_VENDOR_ID=%2\nE: ID_MODEL_ID=%3\nE: ID_VENDOR=%10\nE: ID_MODEL=%11\n"
        "E: ID_SERIAL_SHORT=%6\nE: ID_USB_DRIVER=usb_uart_bridge\n")
        .arg(usbDevicePath(usbPort), vid, pid, vendor, model, serial, usbPort, tty, usbTtyPath(usbPort, tty))
        .arg(udevString(vendor), udevString(model));
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, record.toUtf8().constData(), &error)) {
        qWarning("umockdev: %s", error->message);
        g_error_free(error);
        return QString();
    }
    return QStringLiteral("/sys") + usbTtyPath(usbPort, tty);
}

QString UdevTestbed::addBoardUart(const QString &tty)
{
    const QString record = QStringLiteral(
        "P: /devices/platform/fe201000.serial\nE: SUBSYSTEM=amba\nE: DRIVER=uart-pl011\n\n"
        "P: /devices/platform/fe201000.serial/tty/%1\nN: %1\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/%1\n"
        "E: MAJOR=204\nE: MINOR=64\n")
        .arg(tty);
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, record.toUtf8().constData(), &error)) {
        qWarning("umockdev: %s", error->message);
        g_error_free(error);
        return QString();
    }
    return QStringLiteral("/sys/devices/platform/fe201000.serial/tty/") + tty;
}

void UdevTestbed::removeUsbAdapter(const QString &usbPort, const QString &tty)
{
    // umockdev cannot send an event for a device it has already removed, and removing it sends
    // none; so the class link goes first (the listing no longer shows the tty), then the event.
    gchar *sysDir = umockdev_testbed_get_sys_dir(testbed);
    const QByteArray sys(sysDir);
    g_free(sysDir);
    ::unlink(QByteArray(sys + "/class/tty/" + QFile::encodeName(tty)).constData());
    const QByteArray ttyPath = QByteArray("/sys") + usbTtyPath(usbPort, tty).toUtf8();
    umockdev_testbed_uevent(testbed, ttyPath.constData(), "remove");
    const QByteArray devicePath = QByteArray("/sys") + usbDevicePath(usbPort).toUtf8();
    umockdev_testbed_remove_device(testbed, devicePath.constData());
    // umockdev leaves the bus links behind; without them gone no adapter could be added on the
    // same socket again. (It keeps the device node's name taken: one plugged in again gets a
    // new tty name, as the kernel gives while the old one is still held open.)
    const QByteArray port = QFile::encodeName(usbPort);
    for (const QByteArray &link : {sys + "/bus/usb/devices/" + port, sys + "/bus/usb/devices/" + port + ":1.0",
                                   sys + "/bus/usb-serial/devices/" + QFile::encodeName(tty)})
        ::unlink(link.constData());
}

int UdevTestbed::deviceFd(const QString &tty)
{
    return umockdev_testbed_get_dev_fd(testbed, (QStringLiteral("/dev/") + tty).toUtf8().constData());
}
