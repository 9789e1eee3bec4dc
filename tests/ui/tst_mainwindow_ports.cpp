// The window's port list, hot-plug handling and opening and closing the port.
#include "IsolatedSettings.h"
#include "FakePortEnumerator.h"
#include "PtyPair.h"
#include "WindowProbe.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTranslator>

#include <sys/stat.h>
#include <unistd.h>
#include <QUuid>

namespace {

// Notes whether the open button was ever disabled while it offered to close the port.
struct ButtonWatch : QObject
{
    explicit ButtonWatch(QPushButton *button)
        : button(button)
    {
        button->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange && !button->isEnabled()
            && button->text() == QStringLiteral("关闭串口"))
            disabledWhileOpen = true;
        return false;
    }
    QPushButton *button;
    bool disabledWhileOpen = false;
};

// One refresh period of the port list plus slack for a busy machine.
constexpr int kRefreshWaitMs = 3000;

PortInfo otherDevice(const QString &name)
{
    return PortInfo{name, 0x0403, 0x6001};
}

} // namespace

class MainWindowPortsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { IsolatedSettings::reset(); }

    void onlyNamedGimbalAdaptersAreListed()
    {
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter("ttyUSB0"), otherDevice("ttyUSB1"),
                         FakePortEnumerator::adapter(QString()), PortInfo{"ttyUSB2", GimbalAdapterVendorId, 0x1234},
                         FakePortEnumerator::adapter("ttyUSB3")});
        MainWindow window(ports);
        WindowProbe probe(window);
        QCOMPARE(probe.portItems(), QStringList({"ttyUSB0", "ttyUSB3"}));
        QCOMPARE(probe.ports()->currentText(), QStringLiteral("ttyUSB0"));

        // A refresh applies the same filter.
        ports->setPorts({otherDevice("ttyACM0"), FakePortEnumerator::adapter("ttyUSB3"), FakePortEnumerator::adapter(QString())});
        QTRY_COMPARE_WITH_TIMEOUT(probe.portItems(), QStringList({"ttyUSB3"}), kRefreshWaitMs);
    }

    void withoutAdaptersTheListIsLockedAndTheStatusSaysWhy_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("missing");
        QTest::addColumn<QString>("closed");
        QTest::newRow("Chinese") << false << QStringLiteral("未找到云台适配器：请插入一个") << QStringLiteral("串口已经关闭！");
        QTest::newRow("English") << true << QStringLiteral("No gimbal adapter found: plug one in")
                                 << QStringLiteral("Serial port has been closed!");
    }
    void withoutAdaptersTheListIsLockedAndTheStatusSaysWhy()
    {
        QFETCH(bool, english);
        QFETCH(QString, missing);
        QFETCH(QString, closed);
        QTranslator translator;
        if (english) {
            QVERIFY(translator.load(QStringLiteral(":/en_US")));
            QCoreApplication::installTranslator(&translator);
        }
        PtyPair line;
        QVERIFY(line.isValid());
        const PortInfo adapter = FakePortEnumerator::adapter(line.slavePath());
        auto *ports = new FakePortEnumerator;
        ports->setPorts({otherDevice("ttyUSB0")});
        MainWindow window(ports);
        WindowProbe probe(window);
        QVERIFY(!probe.ports()->isEnabled());
        QVERIFY(!probe.openButton()->isEnabled());
        QCOMPARE(probe.status(), missing);

        ports->plugIn(adapter);
        QTRY_VERIFY_WITH_TIMEOUT(probe.openButton()->isEnabled(), kRefreshWaitMs);
        QVERIFY(probe.ports()->isEnabled());
        QCOMPARE(probe.portItems(), QStringList({line.slavePath()}));
        QCOMPARE(probe.status(), QString());

        ports->unplug(adapter);
        QTRY_VERIFY_WITH_TIMEOUT(!probe.openButton()->isEnabled(), kRefreshWaitMs);
        QVERIFY(!probe.ports()->isEnabled());
        QCOMPARE(probe.ports()->count(), 0);
        QCOMPARE(probe.status(), missing);

        // Pulled while open: the status bar tells the close.
        ports->plugIn(adapter);
        QTRY_VERIFY_WITH_TIMEOUT(probe.openButton()->isEnabled(), kRefreshWaitMs);
        QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        QVERIFY(probe.status() != missing && !probe.status().isEmpty());
        ports->unplug(adapter);
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), closed, kRefreshWaitMs);
        QVERIFY(!probe.openButton()->isEnabled());
        QCoreApplication::removeTranslator(&translator);
    }

    void currentPortStaysCurrentWhenItsRowMoves()
    {
        auto *ports = new FakePortEnumerator;
        const PortInfo a = FakePortEnumerator::adapter("ttyUSB0");
        const PortInfo b = FakePortEnumerator::adapter("ttyUSB1");
        const PortInfo c = FakePortEnumerator::adapter("ttyUSB2");
        ports->setPorts({a, b});
        MainWindow window(ports);
        WindowProbe probe(window);
        probe.ports()->setCurrentIndex(1);

        ports->setPorts({c, a, b});
        QTRY_COMPARE_WITH_TIMEOUT(probe.portItems().size(), 3, kRefreshWaitMs);
        QCOMPARE(probe.ports()->currentText(), b.portName);

        // Once it is gone the list shows its first row.
        ports->setPorts({c, a});
        QTRY_COMPARE_WITH_TIMEOUT(probe.portItems().size(), 2, kRefreshWaitMs);
        QCOMPARE(probe.ports()->currentIndex(), 0);
        QCOMPARE(probe.ports()->currentText(), c.portName);
    }

    void openAndCloseShowTheirTexts_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("closeText");
        QTest::addColumn<QString>("closed");
        QTest::addColumn<QString>("openText");
        QTest::newRow("Chinese") << false << QStringLiteral("串口已经打开 (%1)") << QStringLiteral("关闭串口")
                                 << QStringLiteral("串口已经关闭！") << QStringLiteral("打开串口");
        QTest::newRow("English") << true << QStringLiteral("Serial port is already open (%1)") << QStringLiteral("Close")
                                 << QStringLiteral("Serial port has been closed!") << QStringLiteral("Open");
    }

    void openAndCloseShowTheirTexts()
    {
        QFETCH(bool, english);
        QFETCH(QString, opened);
        QFETCH(QString, closeText);
        QFETCH(QString, closed);
        QFETCH(QString, openText);
        QTranslator translator;
        if (english) {
            QVERIFY(translator.load(QStringLiteral(":/en_US")));
            QCoreApplication::installTranslator(&translator);
        }

        PtyPair line;
        QVERIFY(line.isValid());
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(line.slavePath())});
        MainWindow window(ports);
        WindowProbe probe(window);
        QCOMPARE(probe.openButton()->text(), openText);

        QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        QCOMPARE(probe.status(), opened.arg(line.slavePath()));
        QCOMPARE(probe.openButton()->text(), closeText);
        QVERIFY(!probe.ports()->isEnabled());

        QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        QCOMPARE(probe.status(), closed);
        QCOMPARE(probe.openButton()->text(), openText);
        QVERIFY(probe.ports()->isEnabled());
        QVERIFY(!probe.calibrateButton()->isEnabled());

        QCoreApplication::removeTranslator(&translator);
    }

    void failedOpenChangesOnlyTheStatus()
    {
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(QStringLiteral("/dev/velmora-no-such-port"))});
        MainWindow window(ports);
        WindowProbe probe(window);
        QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        QCOMPARE(probe.status(), QStringLiteral("串口无法打开!"));
        QCOMPARE(probe.openButton()->text(), QStringLiteral("打开串口"));
        QVERIFY(probe.ports()->isEnabled());
        QVERIFY(probe.openButton()->isEnabled());
    }

    // A port that exists but refuses says why, in the window's language, and changes nothing
    // else. In use: another port holds the device by its own path while the window opens it by
    // a link. Permission: the device's mode bits refuse everyone but root.
    void aRefusedOpenSaysWhy_data()
    {
        QTest::addColumn<bool>("inUse");
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("status");
        QTest::newRow("in use") << true << false << QStringLiteral("串口无法打开：另一个程序正在使用它。");
        QTest::newRow("in use, English") << true << true
                                         << QStringLiteral("Unable to open the serial port: another program is using it.");
        QTest::newRow("permission denied, English")
            << false << true
            << QStringLiteral("Unable to open the serial port: permission denied. Install the udev rule 60-velmora.rules, "
                              "or add your user to the dialout group and log in again.");
    }
    void aRefusedOpenSaysWhy()
    {
        QFETCH(bool, inUse);
        QFETCH(bool, english);
        QFETCH(QString, status);
        if (!inUse && ::geteuid() == 0) {
            // Root passes every permission check: the case runs again in this program as nobody.
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (setpriv.isEmpty())
                QSKIP("running as root without setpriv: no way to be a user the device refuses");
            QProcess child;
            child.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                                  QStringLiteral("--"), QCoreApplication::applicationFilePath(),
                                  QStringLiteral("aRefusedOpenSaysWhy:") + QLatin1String(QTest::currentDataTag())});
            QVERIFY(child.waitForFinished(60000));
            const QByteArray output = child.readAllStandardOutput();
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
            QVERIFY2(output.contains("PASS   : MainWindowPortsTest::aRefusedOpenSaysWhy(permission denied, English)"), output.constData());
            return;
        }
        QTranslator translator;
        if (english) {
            QVERIFY(translator.load(QStringLiteral(":/en_US")));
            QCoreApplication::installTranslator(&translator);
        }
        PtyPair line;
        QVERIFY(line.isValid());
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("gimbal"));
        QVERIFY(QFile::link(line.slavePath(), link));
        SerialPort holder;
        if (inUse) {
            holder.setPortName(line.slavePath());
            QVERIFY(holder.open());
        } else {
            QVERIFY(::chmod(QFile::encodeName(line.slavePath()).constData(), 0) == 0);
        }

        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(link)});
        MainWindow window(ports);
        WindowProbe probe(window);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot open .+")));
        QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        QCOMPARE(probe.status(), status);
        QCOMPARE(probe.openButton()->text(), english ? QStringLiteral("Open") : QStringLiteral("打开串口"));
        QVERIFY(probe.ports()->isEnabled());
        QVERIFY(probe.openButton()->isEnabled());
        QCoreApplication::removeTranslator(&translator);
    }

    void secondAdapterAppearsWhileTheFirstStaysOpen()
    {
        PtyPair line;
        QVERIFY(line.isValid());
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(line.slavePath())});
        MainWindow window(ports);
        WindowProbe probe(window);
        QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        QVERIFY(!probe.ports()->isEnabled());

        ports->plugIn(FakePortEnumerator::adapter("ttyUSB7"));
        QTRY_COMPARE_WITH_TIMEOUT(probe.portItems(), QStringList({line.slavePath(), "ttyUSB7"}), kRefreshWaitMs);
        QVERIFY(probe.ports()->isEnabled());
        QCOMPARE(probe.ports()->currentText(), line.slavePath());
        QCOMPARE(probe.openButton()->text(), QStringLiteral("关闭串口"));
    }

    void removingTheOpenAdapterClosesItButNotAnother()
    {
        PtyPair line;
        QVERIFY(line.isValid());
        auto *ports = new FakePortEnumerator;
        const PortInfo open = FakePortEnumerator::adapter(line.slavePath());
        const PortInfo other = FakePortEnumerator::adapter("ttyUSB9");
        ports->setPorts({open, other});
        MainWindow window(ports);
        WindowProbe probe(window);
        QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        const QString openedStatus = probe.status();

        ports->unplug(other);
        QCOMPARE(probe.openButton()->text(), QStringLiteral("关闭串口"));
        QCOMPARE(probe.status(), openedStatus);

        ports->unplug(open);
        QCOMPARE(probe.status(), QStringLiteral("串口已经关闭！"));
        QCOMPARE(probe.openButton()->text(), QStringLiteral("打开串口"));
    }

    // The real order of events: the system's listing loses the port first, its removal notice
    // follows. The port is closed as by its button, and that button is never greyed out while
    // the port is open.
    void removingTheOpenVirtualAdapterClosesIt()
    {
        PtyPair line;
        QVERIFY(line.isValid());
        const QString link = QDir::temp().filePath(QStringLiteral("velmora-removed-%1").arg(QUuid::createUuid().toString(QUuid::Id128)));
        QVERIFY(QFile::link(line.slavePath(), link));
        qputenv("VELMORA_VIRTUAL_PORTS", link.toLocal8Bit());
        MainWindow window; // the system's enumerator
        WindowProbe probe(window);
        ButtonWatch watch(probe.openButton());
        probe.open(link);
        QCOMPARE(probe.openButton()->text(), QStringLiteral("关闭串口"));

        QVERIFY(QFile::remove(link));
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), QStringLiteral("串口已经关闭！"), kRefreshWaitMs);
        QCOMPARE(probe.openButton()->text(), QStringLiteral("打开串口"));
        QVERIFY(probe.portItems().isEmpty());
        QVERIFY2(!watch.disabledWhileOpen, "the close button was disabled while the port was open");
        qunsetenv("VELMORA_VIRTUAL_PORTS");
    }

    void hangUpOnTheLineClosesThePort()
    {
        auto line = std::make_unique<PtyPair>();
        QVERIFY(line->isValid());
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(line->slavePath())});
        MainWindow window(ports);
        WindowProbe probe(window);
        QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        QCOMPARE(probe.openButton()->text(), QStringLiteral("关闭串口"));

        // The adapter disappears without a hot-plug notice: the port itself reports the loss.
        line->closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), QStringLiteral("串口已经关闭！"), 5000);
        QCOMPARE(probe.openButton()->text(), QStringLiteral("打开串口"));
        QVERIFY(probe.ports()->isEnabled());
    }
};

QTEST_MAIN(MainWindowPortsTest)
#include "tst_mainwindow_ports.moc"
