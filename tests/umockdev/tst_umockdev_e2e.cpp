// A calibration and a firmware update through /dev/ttyUSB0 of a mocked 10C4:EA60 adapter, with
// the simulator's device model on the other side of the line and no virtual ports.
#include "CliProcess.h"
#include "DeviceBehindTty.h"
#include "GimbalDevice.h"
#include "UdevTestbed.h"
#include "UpdateHost.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kRunMs = 180000;

// The emulated adapter, held open by the test as well: a pseudo-terminal whose last user
// closes it reports a hang-up to its master without end, and the host opens and closes it.
struct MockedAdapter
{
    bool setUp()
    {
        if (testbed.addUsbAdapter(QStringLiteral("1-1"), QStringLiteral("ttyUSB0"), 0x10C4, 0xEA60, QStringLiteral("Bridge Maker"),
                                  QStringLiteral("USB to UART Bridge"), QStringLiteral("0001"))
                .isEmpty())
            return false;
        master = testbed.deviceFd(QStringLiteral("ttyUSB0"));
        holder = ::open("/dev/ttyUSB0", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || holder < 0)
            return false;
        termios settings{};
        ::tcgetattr(holder, &settings);
        ::cfmakeraw(&settings);
        return ::tcsetattr(holder, TCSANOW, &settings) == 0;
    }
    ~MockedAdapter()
    {
        if (holder >= 0)
            ::close(holder);
    }
    UdevTestbed testbed;
    int master = -1;
    int holder = -1;
};

// Runs velmora-cli to its end while this thread's event loop serves the device model.
int runCli(CliProcess &cli, const QStringList &arguments)
{
    if (!cli.start(arguments))
        return -1;
    QSignalSpy finished(&cli.qprocess(), &QProcess::finished);
    if (cli.qprocess().state() != QProcess::NotRunning && !finished.wait(kRunMs))
        return -1;
    QProcess &process = cli.qprocess();
    const int status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    if (status != 0)
        qWarning("velmora-cli ended with %d (%s):\n%s%s", status, qPrintable(cli.qprocess().errorString()),
                 qPrintable(cli.output()), qPrintable(cli.errors()));
    return status;
}

} // namespace

class UmockdevEndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!UdevTestbed::preloaded())
            QSKIP(qPrintable(UdevTestbed::notPreloadedReason()));
        qunsetenv("VELMORA_VIRTUAL_PORTS");
    }

    void calibrationThroughTtyUsb0()
    {
        MockedAdapter adapter;
        QVERIFY(adapter.setUp());
        GimbalSettings gimbal;
        gimbal.timeScale = 0.3;
        gimbal.simulatedUser = true;
        GimbalDevice device(gimbal, LineSettings{});
        QStringList writes;
        connect(&device, &GimbalDevice::traceLine, this, [&writes](const QString &line) {
            if ((line.startsWith(QLatin1String("W ")) || line.startsWith(QLatin1String("C ")))
                && (writes.isEmpty() || writes.last() != line))
                writes.append(line); // a request sent again on a busy machine counts once
        });
        DeviceBehindTty line(adapter.master, &device);

        CliProcess cli;
        QCOMPARE(runCli(cli, {QStringLiteral("calibrate"), QStringLiteral("--port"), QStringLiteral("ttyUSB0"),
                              QStringLiteral("--product"), QStringLiteral("6")}),
                 0);
        QVERIFY2(cli.output().trimmed().endsWith(QLatin1String("Calibration success!")), qPrintable(cli.output()));
        const QStringList expected = {
            "W 0009 0002", "C C004 55AA", "W 0010 0000", "W 0010 0001", "W 0010 0002", "W 0010 0003",
            "W 0010 0004", "W 0010 0005", "W 0010 0006", "W 0010 0007", "W 0010 0008", "W 0010 0000",
            "W 0009 0000", "C C005 A151",
        };
        QCOMPARE(writes, expected);
    }

    void firmwareUpdateThroughTtyUsb0()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString package = dir.filePath(QStringLiteral("two.ptz"));
        const QList<QByteArray> images = writeTestPackage(package, {6000, 3000}, 7);
        QCOMPARE(images.size(), 2);

        MockedAdapter adapter;
        QVERIFY(adapter.setUp());
        RoleSettings roles;
        roles.role = RoleSettings::Bootloader;
        GimbalDevice device(GimbalSettings{}, LineSettings{}, roles);
        QString error;
        const QString flashDir = dir.filePath(QStringLiteral("flash"));
        QVERIFY2(device.bootloader()->attachFlashDir(flashDir, &error), qPrintable(error));
        QStringList requests;
        connect(&device, &GimbalDevice::traceLine, this, [&requests](const QString &line) {
            if (line.startsWith(QLatin1String("B ")))
                requests.append(line);
        });
        DeviceBehindTty line(adapter.master, &device);

        CliProcess cli;
        QCOMPARE(runCli(cli, {QStringLiteral("flash"), QStringLiteral("--port"), QStringLiteral("ttyUSB0"), QStringLiteral("--product"),
                              QStringLiteral("0"), QStringLiteral("--connect-timeout"), QStringLiteral("10"), package}),
                 0);
        QString mismatch;
        QVERIFY2(flashHoldsImages(flashDir, images, &mismatch), qPrintable(mismatch));
        QTRY_VERIFY(requests.contains(QStringLiteral("B RUN")));
        QVERIFY2(cli.output().contains(QLatin1String("RUN")), qPrintable(cli.output()));
    }
};

QTEST_GUILESS_MAIN(UmockdevEndToEndTest)
#include "tst_umockdev_e2e.moc"
