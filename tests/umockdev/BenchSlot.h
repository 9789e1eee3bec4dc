// One socket of a mocked bench: a 10C4:EA60 adapter that umockdev plugs in and pulls out, and
// the simulated gimbal behind it, in its bootloader; for the station's tests and benchmark.
#pragma once

#include "DeviceBehindTty.h"
#include "GimbalDevice.h"
#include "UdevTestbed.h"

#include <QStringList>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

// One socket of the bench with its gimbal: the adapter comes and goes, the gimbal stays.
class BenchSlot
{
public:
    static inline const QString Run = QStringLiteral("B RUN");

    // The gimbal answers the runtime protocol of product row 0 once its new firmware starts.
    // `adjust`, if given, changes its bootloader before it starts (a slower or a faulty gimbal).
    BenchSlot(UdevTestbed &bed, int index, const QString &flashDir,
              RoleSettings::NewFirmware afterRun = RoleSettings::NewFirmware::None,
              const std::function<void(BootloaderSettings &)> &adjust = {})
        : testbed(bed)
        , usbPort(QStringLiteral("1-%1").arg(index + 1))
        , number(index)
        , serial(QStringLiteral("A%1").arg(index, 3, 10, QLatin1Char('0')))
    {
        RoleSettings roles;
        roles.role = RoleSettings::Bootloader;
        roles.bootloader.pageWriteMs = 15;
        roles.afterRun = afterRun;
        // Every gimbal's chips have serials of their own.
        for (SimChipInfo &chip : roles.bootloader.chips)
            chip.serial += uint32_t(index) << 16;
        if (adjust)
            adjust(roles.bootloader);
        GimbalSettings gimbal;
        gimbal.profile = 0;
        device = std::make_unique<GimbalDevice>(gimbal, LineSettings{}, roles);
        QString error;
        if (!device->bootloader()->attachFlashDir(flashDir, &error))
            qWarning("%s", qPrintable(error));
        QObject::connect(device.get(), &GimbalDevice::traceLine, device.get(), [this](const QString &line) {
            if (line.startsWith(QLatin1String("B ")) || line.startsWith(QLatin1String("POWER")))
                requests.append(line);
        });
    }
    ~BenchSlot()
    {
        if (holder >= 0)
            pull();
    }

    // Plugged in again, the adapter gets a new tty name (umockdev keeps the old one taken).
    bool plug()
    {
        tty = QStringLiteral("ttyUSB%1").arg(number + 100 * plugs++);
        if (testbed.addUsbAdapter(usbPort, tty, 0x10C4, 0xEA60, QStringLiteral("Bridge Maker"),
                                  QStringLiteral("USB to UART Bridge"), serial)
                .isEmpty())
            return false;
        const int master = testbed.deviceFd(tty);
        // Held open by the test too: a pseudo-terminal whose last user closes it reports a
        // hang-up to its master without end.
        holder = ::open(QByteArray("/dev/" + tty.toLatin1()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || holder < 0)
            return false;
        termios settings{};
        ::tcgetattr(holder, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(holder, TCSANOW, &settings);
        device->plugIn();
        line = std::make_unique<DeviceBehindTty>(master, device.get());
        return true;
    }

    void pull()
    {
        device->unplug();
        line.reset();
        ::close(holder);
        holder = -1;
        testbed.removeUsbAdapter(usbPort, tty);
    }

    // The requests of each power-up, split at "POWER on"; a request asked again while the
    // chain hands over to the next chip counts once.
    QList<QStringList> powerUps() const
    {
        QList<QStringList> parts;
        for (const QString &request : requests) {
            if (request == QLatin1String("POWER on"))
                parts.append(QStringList());
            else if (request != QLatin1String("POWER off") && !parts.isEmpty()
                     && (parts.last().isEmpty() || parts.last().last() != request))
                parts.last().append(request);
        }
        return parts;
    }
    bool ended(const QString &last) const { return !requests.isEmpty() && requests.last() == last; }
    int pagesWritten() const { return int(requests.filter(QStringLiteral("B WRITE_PAGE")).size()); }

    UdevTestbed &testbed;
    const QString usbPort;
    const int number;
    int plugs = 0;
    QString tty;
    const QString serial;
    std::unique_ptr<GimbalDevice> device;
    std::unique_ptr<DeviceBehindTty> line;
    QStringList requests;
    int holder = -1;
};
