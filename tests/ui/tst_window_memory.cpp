// What the window remembers between runs, the adapter it opens again by itself, and the hints
// it gives when the gimbal does not answer as the chosen product should.
#include "IsolatedSettings.h"
#include "FakePortEnumerator.h"
#include "FirmwareProbe.h"
#include "PtyPair.h"
#include "RegisterResponder.h"
#include "WindowProbe.h"
#include "WindowSettings.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTranslator>
#include <QUuid>

#include <sys/stat.h>

namespace {

// Past the first full try of a register (15 × 200 ms) or the zero-readings time, with room for
// a busy machine.
constexpr int kHintWaitMs = 15000;

// Longer than both hint times.
constexpr int kQuietWaitMs = 4500;

const QString kOpenText = QStringLiteral("关闭串口");

} // namespace

class WindowMemoryTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { IsolatedSettings::reset(); }

    void productPortAndPackagesComeBackInTheNextWindow()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("first.ptz"));
        const QString second = dir.filePath(QStringLiteral("second.ptz"));
        QVERIFY(writePackage(first, 0x4B35, {{0x0101, 105, 300}}));
        QVERIFY(writePackage(second, 0x4B35, {{0x0101, 106, 300}, {0x0102, 106, 300}}));
        PtyPair line;
        QVERIFY(line.isValid());
        const QList<PortInfo> listing{FakePortEnumerator::adapter("ttyUSB0"), FakePortEnumerator::adapter(line.slavePath())};
        {
            auto *ports = new FakePortEnumerator;
            ports->setPorts(listing);
            MainWindow window(ports);
            WindowProbe probe(window);
            FirmwareProbe fw(probe);
            QCOMPARE(probe.products()->currentIndex(), 4);
            QCOMPARE(probe.ports()->currentText(), QStringLiteral("ttyUSB0"));
            probe.products()->setCurrentIndex(2);
            probe.open(line.slavePath());
            QCOMPARE(probe.openButton()->text(), kOpenText);
            QVERIFY(fw.drop({first}));
            QVERIFY(fw.drop({second}));
            // Left without closing: every choice is already written when it is made.
        }
        auto *ports = new FakePortEnumerator;
        ports->setPorts(listing);
        MainWindow window(ports);
        WindowProbe probe(window);
        FirmwareProbe fw(probe);
        QCOMPARE(probe.products()->currentIndex(), 2);
        QCOMPARE(probe.ports()->currentText(), line.slavePath());
        QCOMPARE(fw.pathItems(), QStringList({first, second}));
        QCOMPARE(fw.paths()->currentText(), second);
        QCOMPARE(fw.firmware()->rowCount(), 2);
        // Nothing is opened by itself at start.
        QCOMPARE(probe.openButton()->text(), QStringLiteral("打开串口"));
    }

    // A path typed into the path box is remembered for the next window only when it held a
    // package; a refused one stays out of the list and leaves the current package as it was.
    void onlyAcceptedPackagePathsAreRemembered_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("remembered");
        QTest::newRow("FIFO") << "fifo" << false;
        QTest::newRow("/dev/zero") << "device" << false;
        QTest::newRow("missing file") << "missing" << false;
        QTest::newRow("package") << "package" << true;
    }
    void onlyAcceptedPackagePathsAreRemembered()
    {
        QFETCH(QString, kind);
        QFETCH(bool, remembered);
        QTemporaryDir dir;
        const QString earlier = dir.filePath(QStringLiteral("earlier.ptz"));
        QVERIFY(writePackage(earlier, 0x4B35, {{0x0101, 105, 300}}));
        QString path = dir.filePath(QStringLiteral("typed.ptz"));
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == QLatin1String("device"))
            path = QStringLiteral("/dev/zero");
        else if (kind == QLatin1String("package"))
            QVERIFY(writePackage(path, 0x4B35, {{0x0101, 106, 300}, {0x0102, 106, 300}}));
        {
            auto *ports = new FakePortEnumerator;
            MainWindow window(ports);
            WindowProbe probe(window);
            FirmwareProbe fw(probe);
            QVERIFY(fw.drop({earlier}));
            fw.paths()->lineEdit()->clear();
            QTest::keyClicks(fw.paths()->lineEdit(), path);
            QTest::keyClick(fw.paths()->lineEdit(), Qt::Key_Return);
            QCOMPARE(fw.paths()->currentText(), path);
            QCOMPARE(fw.firmware()->rowCount(), remembered ? 2 : 1);
        }
        QCOMPARE(WindowSettings::packagePaths(), remembered ? QStringList({earlier, path}) : QStringList({earlier}));
        QCOMPARE(WindowSettings::currentPackage(), remembered ? path : earlier);
        auto *ports = new FakePortEnumerator;
        MainWindow window(ports);
        WindowProbe probe(window);
        FirmwareProbe fw(probe);
        QCOMPARE(fw.pathItems(), WindowSettings::packagePaths());
        QCOMPARE(fw.paths()->currentText(), WindowSettings::currentPackage());
    }

    void lastPortIsPreselectedOnlyWhenListed()
    {
        PtyPair line;
        QVERIFY(line.isValid());
        {
            auto *ports = new FakePortEnumerator;
            ports->setPorts({FakePortEnumerator::adapter(line.slavePath())});
            MainWindow window(ports);
            WindowProbe(window).open(line.slavePath());
        }
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter("ttyUSB0")});
        MainWindow window(ports);
        WindowProbe probe(window);
        QCOMPARE(probe.ports()->currentText(), QStringLiteral("ttyUSB0"));
        // It appears later, with the previous current port gone: it is the one offered.
        ports->setPorts({FakePortEnumerator::adapter("ttyUSB1"), FakePortEnumerator::adapter(line.slavePath())});
        QTRY_COMPARE(probe.ports()->currentText(), line.slavePath());
    }

    void returningAdapterIsOpenedAgain_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::newRow("virtual port, same path") << QString();
        QTest::newRow("USB adapter, same serial number") << QStringLiteral("0001A7");
    }

    void returningAdapterIsOpenedAgain()
    {
        QFETCH(QString, serial);
        PtyPair line;
        QVERIFY(line.isValid());
        const PortInfo adapter = FakePortEnumerator::adapter(line.slavePath(), serial);
        auto *ports = new FakePortEnumerator;
        ports->setPorts({adapter});
        MainWindow window(ports);
        WindowProbe probe(window);
        probe.open(line.slavePath());
        QCOMPARE(probe.openButton()->text(), kOpenText);

        ports->unplug(adapter);
        QCOMPARE(probe.status(), QStringLiteral("串口已经关闭！"));
        ports->plugIn(adapter);
        QCOMPARE(probe.openButton()->text(), kOpenText);
        QCOMPARE(probe.status(), QStringLiteral("串口已经打开 (%1)").arg(line.slavePath()));
    }

    void usbAdapterIsKnownByItsSerialNumberNotItsName()
    {
        // Two names for one pseudo-terminal stand for the names a USB adapter gets on replugging.
        PtyPair line;
        QVERIFY(line.isValid());
        QTemporaryDir dir;
        const QString before = dir.filePath(QStringLiteral("ttyUSB0"));
        const QString after = dir.filePath(QStringLiteral("ttyUSB1"));
        QVERIFY(QFile::link(line.slavePath(), before));
        QVERIFY(QFile::link(line.slavePath(), after));
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(before, QStringLiteral("A"))});
        MainWindow window(ports);
        WindowProbe probe(window);
        probe.open(before);
        ports->unplug(FakePortEnumerator::adapter(before, QStringLiteral("A")));

        // Another adapter under the old name is not the one that went away.
        ports->plugIn(FakePortEnumerator::adapter(before, QStringLiteral("B")));
        QCOMPARE(probe.openButton()->text(), QStringLiteral("打开串口"));
        // The same one under a new name is.
        ports->plugIn(FakePortEnumerator::adapter(after, QStringLiteral("A")));
        QCOMPARE(probe.openButton()->text(), kOpenText);
        QCOMPARE(probe.status(), QStringLiteral("串口已经打开 (%1)").arg(after));
    }

    // An update cut short on one adapter is told when that adapter is opened again, under
    // whatever name it comes back; another adapter under the old name is not told. A port
    // without a serial number (a virtual one) is known by its path.
    void interruptedUpdateIsToldForItsAdapterUnderAnyName_data()
    {
        QTest::addColumn<QString>("serialThen");
        QTest::addColumn<QString>("openedName");
        QTest::addColumn<QString>("serialNow");
        QTest::addColumn<bool>("told");
        QTest::newRow("same adapter, same name") << "A" << "ttyUSB0" << "A" << true;
        QTest::newRow("same adapter, new name") << "A" << "ttyUSB1" << "A" << true;
        QTest::newRow("other adapter, old name") << "A" << "ttyUSB0" << "B" << false;
        QTest::newRow("no serial number, same path") << "" << "ttyUSB0" << "" << true;
        QTest::newRow("no serial number, other path") << "" << "ttyUSB1" << "" << false;
    }
    void interruptedUpdateIsToldForItsAdapterUnderAnyName()
    {
        QFETCH(QString, serialThen);
        QFETCH(QString, openedName);
        QFETCH(QString, serialNow);
        QFETCH(bool, told);
        PtyPair line;
        QVERIFY(line.isValid());
        QTemporaryDir dir;
        const QString opened = dir.filePath(openedName);
        QVERIFY(QFile::link(line.slavePath(), opened));
        const QString package = dir.filePath(QStringLiteral("demo.ptz"));
        QVERIFY(writePackage(package, 0x4B35, {{0x0101, 105, 100}}));
        WindowSettings::setUpdateInProgress(dir.filePath(QStringLiteral("ttyUSB0")), serialThen, package);

        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(opened, serialNow)});
        MainWindow window(ports);
        WindowProbe probe(window);
        FirmwareProbe fw(probe);
        probe.open(opened);
        QCOMPARE(probe.status().contains(QStringLiteral("引导程序")), told);
        QCOMPARE(fw.paths()->currentText() == package, told);
    }

    void afterTheUsersCloseNothingOpensByItself()
    {
        PtyPair line;
        QVERIFY(line.isValid());
        const PortInfo adapter = FakePortEnumerator::adapter(line.slavePath());
        auto *ports = new FakePortEnumerator;
        ports->setPorts({adapter});
        MainWindow window(ports);
        WindowProbe probe(window);
        probe.open(line.slavePath());
        QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        ports->unplug(adapter);
        ports->plugIn(adapter);
        QCOMPARE(probe.openButton()->text(), QStringLiteral("打开串口"));

        // A loss in between is forgotten once the user closes the reopened port.
        probe.open(line.slavePath());
        ports->unplug(adapter);
        ports->plugIn(adapter);
        QCOMPARE(probe.openButton()->text(), kOpenText);
        QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        ports->unplug(adapter);
        ports->plugIn(adapter);
        QCOMPARE(probe.openButton()->text(), QStringLiteral("打开串口"));
    }

    void adapterLeftOpenIsOpenedWhenItComesBackAfterARestart_data()
    {
        QTest::addColumn<bool>("userClosed");
        QTest::newRow("left open") << false;
        QTest::newRow("closed by the user") << true;
    }

    void adapterLeftOpenIsOpenedWhenItComesBackAfterARestart()
    {
        QFETCH(bool, userClosed);
        PtyPair line;
        QVERIFY(line.isValid());
        const PortInfo adapter = FakePortEnumerator::adapter(line.slavePath(), QStringLiteral("0001A7"));
        {
            auto *ports = new FakePortEnumerator;
            ports->setPorts({adapter});
            MainWindow window(ports);
            WindowProbe probe(window);
            probe.open(line.slavePath());
            if (userClosed)
                QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        }
        // The next start finds no adapter; then it is plugged in.
        auto *ports = new FakePortEnumerator;
        MainWindow window(ports);
        WindowProbe probe(window);
        ports->plugIn(adapter);
        QCOMPARE(probe.openButton()->text(), userClosed ? QStringLiteral("打开串口") : kOpenText);
    }

    void silentGimbalPointsAtTheProduct_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("hint");
        QTest::newRow("Chinese") << false << QStringLiteral("K5-Delta 没有应答：产品型号选对了吗？");
        QTest::newRow("English") << true << QStringLiteral("No answer from a K5-Delta: is the product right?");
    }

    void silentGimbalPointsAtTheProduct()
    {
        QFETCH(bool, english);
        QFETCH(QString, hint);
        QTranslator translator;
        if (english) {
            QVERIFY(translator.load(QStringLiteral(":/en_US")));
            QCoreApplication::installTranslator(&translator);
        }
        RegisterResponder gimbal;
        QVERIFY(gimbal.isValid());
        gimbal.silent = true;
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(gimbal.path())});
        MainWindow window(ports);
        WindowProbe probe(window);
        probe.open(gimbal.path());
        const QString opened = probe.status();
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), hint, kHintWaitMs);
        QVERIFY(opened != hint); // the port's own text came first
        QCoreApplication::removeTranslator(&translator);
    }

    void zeroReadingsPointAtTheProduct()
    {
        RegisterResponder gimbal; // answers every register with 0
        QVERIFY(gimbal.isValid());
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(gimbal.path())});
        MainWindow window(ports);
        WindowProbe probe(window);
        probe.products()->setCurrentIndex(6);
        probe.open(gimbal.path());
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), QStringLiteral("已连接！"), kHintWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), QStringLiteral("K5-Birch 的读数全为零：产品型号选对了吗？"), kHintWaitMs);
    }

    void answeringGimbalGetsNoHint()
    {
        RegisterResponder gimbal;
        QVERIFY(gimbal.isValid());
        gimbal.set(accZ, 4096);
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(gimbal.path())});
        MainWindow window(ports);
        WindowProbe probe(window);
        probe.open(gimbal.path());
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), QStringLiteral("已连接！"), kHintWaitMs);
        // Well past both hint times, the status still tells of the link alone.
        QSignalSpy messages(window.statusBar(), &QStatusBar::messageChanged);
        QVERIFY(!messages.wait(kQuietWaitMs));
        QCOMPARE(probe.status(), QStringLiteral("已连接！"));
    }
};

QTEST_MAIN(WindowMemoryTest)
#include "tst_window_memory.moc"
