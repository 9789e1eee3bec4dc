// Port listing: the adapter filter and hot-plug notices for virtual ports.
#include "DebugCapture.h"
#include "PortInfo.h"
#include "PtyPair.h"
#include "SystemPortEnumerator.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// Long enough that no periodic comparison can run during a test: changes must be announced.
constexpr int kNoPeriodicComparison = 3600 * 1000;

} // namespace

class TestPortEnumerator : public QObject
{
    Q_OBJECT

private slots:
    void filterAcceptsOnlyNamedPortsOnTheAdapter_data()
    {
        QTest::addColumn<PortInfo>("info");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("adapter") << PortInfo{"ttyUSB0", 0x10C4, 0xEA60} << true;
        QTest::newRow("empty name") << PortInfo{"", 0x10C4, 0xEA60} << false;
        QTest::newRow("other vendor") << PortInfo{"ttyUSB0", 0x0403, 0xEA60} << false;
        QTest::newRow("other product") << PortInfo{"ttyUSB0", 0x10C4, 0xEA70} << false;
        QTest::newRow("no ids") << PortInfo{"ttyS0", 0, 0} << false;
    }
    void filterAcceptsOnlyNamedPortsOnTheAdapter()
    {
        QFETCH(PortInfo, info);
        QFETCH(bool, accepted);
        QCOMPARE(isGimbalAdapter(info), accepted);
    }

    void virtualPortComesAndGoesWithItsPath()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString present = dir.filePath("gimbal");
        const QString absent = dir.filePath("never-there");
        qputenv("VELMORA_VIRTUAL_PORTS", (absent + "::" + present).toLocal8Bit());

        SystemPortEnumerator enumerator;
        enumerator.setRefreshInterval(20);
        QList<PortInfo> discovered;
        QList<PortInfo> removed;
        connect(&enumerator, &PortEnumerator::deviceDiscovered, this,
                [&discovered](const PortInfo &info) { discovered.append(info); });
        connect(&enumerator, &PortEnumerator::deviceRemoved, this,
                [&removed](const PortInfo &info) { removed.append(info); });

        const PortInfo expected{present, 0x10C4, 0xEA60};
        QVERIFY(!enumerator.availablePorts().contains(expected));

        QFile file(present);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QTRY_COMPARE_WITH_TIMEOUT(discovered, QList<PortInfo>{expected}, 10000);
        QVERIFY(enumerator.availablePorts().contains(expected));
        QVERIFY(isGimbalAdapter(expected));

        QVERIFY(QFile::remove(present));
        QTRY_COMPARE_WITH_TIMEOUT(removed, QList<PortInfo>{expected}, 10000);
        QVERIFY(!enumerator.availablePorts().contains(expected));
        QCOMPARE(discovered.size(), 1);
        qunsetenv("VELMORA_VIRTUAL_PORTS");
    }

    // A port renamed to another listed path in one step: the count stays the same, yet one
    // port went and another came.
    void virtualPortRenamedToAnotherListedPathIsFollowed()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString first = dir.filePath("gimbal-a");
        const QString second = dir.filePath("gimbal-b");
        QFile file(first);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        qputenv("VELMORA_VIRTUAL_PORTS", (first + ":" + second).toLocal8Bit());

        SystemPortEnumerator enumerator;
        enumerator.setRefreshInterval(20);
        QList<PortInfo> discovered;
        QList<PortInfo> removed;
        connect(&enumerator, &PortEnumerator::deviceDiscovered, this,
                [&discovered](const PortInfo &info) { discovered.append(info); });
        connect(&enumerator, &PortEnumerator::deviceRemoved, this,
                [&removed](const PortInfo &info) { removed.append(info); });
        const PortInfo a{first, 0x10C4, 0xEA60};
        const PortInfo b{second, 0x10C4, 0xEA60};
        QVERIFY(enumerator.availablePorts().contains(a));

        QVERIFY(QFile::rename(first, second));
        QTRY_COMPARE_WITH_TIMEOUT(discovered, QList<PortInfo>{b}, 10000);
        QCOMPARE(removed, QList<PortInfo>{a});
        QVERIFY(!enumerator.availablePorts().contains(a));
        qunsetenv("VELMORA_VIRTUAL_PORTS");
    }

    // A simulator's link to its pseudo-terminal, as the window follows it: the listing has
    // changed when portsChanged arrives, and the removal notice comes after it. The link
    // going, and the pseudo-terminal going from under the link, both count as removal.
    void linkToPseudoTerminalIsFollowedListingFirst()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QString link = dir.filePath("gimbal");
        qputenv("VELMORA_VIRTUAL_PORTS", link.toLocal8Bit());
        const PortInfo expected{link, GimbalAdapterVendorId, GimbalAdapterProductId};

        SystemPortEnumerator enumerator;
        enumerator.setRefreshInterval(kNoPeriodicComparison);
        QStringList events;
        connect(&enumerator, &PortEnumerator::portsChanged, this, [&] {
            events.append(enumerator.availablePorts().contains(expected) ? "listed" : "unlisted");
        });
        connect(&enumerator, &PortEnumerator::deviceDiscovered, this,
                [&](const PortInfo &info) { events.append("discovered " + info.portName); });
        connect(&enumerator, &PortEnumerator::deviceRemoved, this,
                [&](const PortInfo &info) { events.append("removed " + info.portName); });

        QVERIFY(QFile::link(pty.slavePath(), link));
        QTRY_COMPARE_WITH_TIMEOUT(events, (QStringList{"listed", "discovered " + link}), 5000);
        QVERIFY(QFile::remove(link));
        QTRY_COMPARE_WITH_TIMEOUT(events.mid(2), (QStringList{"unlisted", "removed " + link}), 5000);

        events.clear();
        QVERIFY(QFile::link(pty.slavePath(), link));
        QTRY_COMPARE_WITH_TIMEOUT(events, (QStringList{"listed", "discovered " + link}), 5000);
        pty.closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(events.mid(2), (QStringList{"unlisted", "removed " + link}), 5000);
        QVERIFY(!enumerator.availablePorts().contains(expected));
        qunsetenv("VELMORA_VIRTUAL_PORTS");
    }

    // The path's directory may not exist yet when the program starts.
    void pathInDirectoryCreatedLaterIsDiscovered()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("later/deeper/gimbal");
        qputenv("VELMORA_VIRTUAL_PORTS", path.toLocal8Bit());

        SystemPortEnumerator enumerator;
        enumerator.setRefreshInterval(kNoPeriodicComparison);
        QList<PortInfo> discovered;
        connect(&enumerator, &PortEnumerator::deviceDiscovered, this,
                [&discovered](const PortInfo &info) { discovered.append(info); });

        QVERIFY(QDir(dir.path()).mkpath("later/deeper"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QTRY_COMPARE_WITH_TIMEOUT(discovered,
                                  (QList<PortInfo>{{path, GimbalAdapterVendorId, GimbalAdapterProductId}}),
                                  5000);
        qunsetenv("VELMORA_VIRTUAL_PORTS");
    }

    // A tty device's event reaches the listing with no periodic comparison running, whether
    // udev's daemon passes it on or (as in a container) the kernel's own event is all there is.
    // The event is the kernel's own, asked for through the device's uevent file (root only).
    void ttyDeviceEventIsFollowedWithoutPolling()
    {
        QString uevent;
        for (const char *name : {"ttyS0", "tty", "console"}) {
            const QString path = QStringLiteral("/sys/class/tty/%1/uevent").arg(QLatin1String(name));
            if (::access(QFile::encodeName(path).constData(), W_OK) == 0) {
                uevent = path;
                break;
            }
        }
        if (uevent.isEmpty())
            QSKIP("no tty device's uevent file is writable here (needs root)");

        DebugCapture debug;
        SystemPortEnumerator enumerator;
        enumerator.setRefreshInterval(kNoPeriodicComparison);
        QVERIFY2(enumerator.followsUdev(), "neither udev's nor the kernel's events are followed");
        QFile file(uevent);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("change") > 0);
        file.close();
        QTRY_VERIFY_WITH_TIMEOUT(debug.count(QStringLiteral("udev: tty devices changed")) >= 1, 5000);
    }

    void danglingLinkIsNotListed()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath("link");
        QVERIFY(QFile::link(dir.filePath("gone"), link));
        qputenv("VELMORA_VIRTUAL_PORTS", link.toLocal8Bit());
        SystemPortEnumerator enumerator;
        QVERIFY(!enumerator.availablePorts().contains(PortInfo{link, 0x10C4, 0xEA60}));
        qunsetenv("VELMORA_VIRTUAL_PORTS");
    }
};

QTEST_GUILESS_MAIN(TestPortEnumerator)
#include "tst_port_enumerator.moc"
