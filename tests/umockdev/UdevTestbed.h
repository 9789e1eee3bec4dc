// A umockdev testbed for one test process: USB serial adapters and board UARTs in sysfs, udev's
// add and remove events, and the test's end of each emulated /dev/tty*.
#pragma once

#include <QString>

struct _UMockdevTestbed;

class UdevTestbed
{
public:
    // Whether this process runs under umockdev's preload library (started by umockdev-wrapper);
    // without it the testbed would be invisible to the code under test.
    static bool preloaded();
    // Why preloaded() is false, for a skip message.
    static QString notPreloadedReason();

    UdevTestbed();
    ~UdevTestbed();
    UdevTestbed(const UdevTestbed &) = delete;
    UdevTestbed &operator=(const UdevTestbed &) = delete;

    // A USB serial adapter on USB port `usbPort` ("1-1") with the tty `tty` ("ttyUSB0"), the
    // properties udev's usb_id gives it, and a device node emulated as a pseudo-terminal.
    // Adding it sends udev's "add" event. Returns the tty's sysfs path.
    QString addUsbAdapter(const QString &usbPort, const QString &tty, quint16 vendorId, quint16 productId,
                          const QString &vendor, const QString &model, const QString &serial);
    // A UART of the board itself (no USB ids), as an SoC's serial driver lists it.
    QString addBoardUart(const QString &tty);

    // Takes an adapter away as the kernel and udev do: the tty leaves the listing first, then
    // udev's "remove" event goes out, then the rest of the device disappears.
    void removeUsbAdapter(const QString &usbPort, const QString &tty);

    // The test's side (the pseudo-terminal master) of /dev/`tty`; -1 if it is not emulated.
    int deviceFd(const QString &tty);

private:
    _UMockdevTestbed *testbed;
};
