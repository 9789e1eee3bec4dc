// The system's port listing and udev hot-plug under umockdev: which adapters the window and
// velmora-cli offer, and how the window follows an adapter plugged in and pulled out.
#include "IsolatedSettings.h"
#include "CliProcess.h"
#include "SystemPortEnumerator.h"
#include "UdevTestbed.h"
#include "WindowProbe.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <memory>

namespace {

const QString kGimbalModel = QStringLiteral("USB to UART Bridge");

// The gimbal's adapter, another maker's adapter and the board's own UART.
void addMixedPorts(UdevTestbed &testbed)
{
    QVERIFY(!testbed.addUsbAdapter(QStringLiteral("1-1"), QStringLiteral("ttyUSB0"), 0x10C4, 0xEA60,
                                   QStringLiteral("Bridge Maker"), kGimbalModel, QStringLiteral("0001"))
                 .isEmpty());
    QVERIFY(!testbed.addUsbAdapter(QStringLiteral("1-2"), QStringLiteral("ttyUSB1"), 0x0403, 0x6001,
                                   QStringLiteral("Other Maker"), QStringLiteral("USB Serial Cable"), QStringLiteral("A50285BI"))
                 .isEmpty());
    QVERIFY(!testbed.addBoardUart(QStringLiteral("ttyAMA0")).isEmpty());
}

// The debug lines of the port listing, from any thread.
struct ListingLog
{
    ListingLog()
    {
        self() = this;
        previous = qInstallMessageHandler(&ListingLog::handle);
    }
    ~ListingLog()
    {
        qInstallMessageHandler(previous);
        self() = nullptr;
    }
    int count(const QString &line)
    {
        QMutexLocker lock(&mutex);
        return int(lines.count(line));
    }
    static ListingLog *&self()
    {
        static ListingLog *instance = nullptr;
        return instance;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        ListingLog *log = self();
        if (!log)
            return;
        {
            QMutexLocker lock(&log->mutex);
            log->lines.append(message);
        }
        if (type != QtDebugMsg && log->previous)
            log->previous(type, context, message);
    }
    QMutex mutex;
    QStringList lines;
    QtMessageHandler previous = nullptr;
};

} // namespace

class UmockdevPortsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { IsolatedSettings::reset(); }

    void initTestCase()
    {
        if (!UdevTestbed::preloaded())
            QSKIP(qPrintable(UdevTestbed::notPreloadedReason()));
        qunsetenv("VELMORA_VIRTUAL_PORTS");
        QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=true"));
    }

    void windowAndCommandLineListExactlyTheGimbalAdapter()
    {
        UdevTestbed testbed;
        addMixedPorts(testbed);

        MainWindow window(new SystemPortEnumerator);
        WindowProbe probe(window);
        QCOMPARE(probe.portItems(), QStringList{QStringLiteral("ttyUSB0")});
        QCOMPARE(probe.ports()->itemData(0, Qt::ToolTipRole).toString(), kGimbalModel + QStringLiteral(" (0001)"));
        QVERIFY(probe.openButton()->isEnabled());

        CliProcess plain;
        QCOMPARE(plain.run({QStringLiteral("ports")}), 0);
        QCOMPARE(plain.outputLines(), QStringList{QStringLiteral("ttyUSB0\t") + kGimbalModel + QStringLiteral("\t0001")});

        CliProcess json;
        QCOMPARE(json.run({QStringLiteral("ports"), QStringLiteral("--json")}), 0);
        const QJsonArray ports = QJsonDocument::fromJson(json.output().toUtf8()).object().value(QLatin1String("ports")).toArray();
        QCOMPARE(ports.size(), 1);
        const QJsonObject port = ports.first().toObject();
        QCOMPARE(port.value(QLatin1String("name")).toString(), QStringLiteral("ttyUSB0"));
        QCOMPARE(port.value(QLatin1String("description")).toString(), kGimbalModel);
        QCOMPARE(port.value(QLatin1String("serialNumber")).toString(), QStringLiteral("0001"));
    }

    // The periodic comparison of the tty list is pushed out of reach, so only udev's events can
    // change the list; the listing's debug line says each time an event arrived.
    void windowFollowsPlugAndUnplugThroughUdevEvents()
    {
        UdevTestbed testbed;
        addMixedPorts(testbed);
        ListingLog log;
        auto *enumerator = new SystemPortEnumerator;
        enumerator->setRefreshInterval(3600 * 1000);
        QVERIFY2(enumerator->followsUdev(), "the listing does not follow udev's events");
        MainWindow window(enumerator);
        WindowProbe probe(window);
        QCOMPARE(probe.portItems(), QStringList{QStringLiteral("ttyUSB0")});
        probe.open(QStringLiteral("ttyUSB0"));
        QCOMPARE(probe.status(), QStringLiteral("串口已经打开 (ttyUSB0)"));

        // The time from the event to the window's reaction, measured in the window's own thread
        // right after the window has handled the notice.
        QElapsedTimer clock;
        qint64 listedAfterNs = -1;
        qint64 closedAfterNs = -1;
        connect(enumerator, &PortEnumerator::portsChanged, &window, [&] {
            if (listedAfterNs < 0 && probe.portItems().contains(QStringLiteral("ttyUSB2")))
                listedAfterNs = clock.nsecsElapsed();
        });
        connect(enumerator, &PortEnumerator::deviceRemoved, &window, [&](const PortInfo &info) {
            if (info.portName == QStringLiteral("ttyUSB0") && probe.openButton()->text() == QStringLiteral("打开串口"))
                closedAfterNs = clock.nsecsElapsed();
        });

        // A second gimbal adapter is plugged in: listed, and the open port stays open.
        clock.start();
        testbed.addUsbAdapter(QStringLiteral("1-3"), QStringLiteral("ttyUSB2"), 0x10C4, 0xEA60,
                              QStringLiteral("Bridge Maker"), kGimbalModel, QStringLiteral("0002"));
        QTRY_VERIFY_WITH_TIMEOUT(listedAfterNs >= 0, 10000);
        QCOMPARE(probe.portItems(), (QStringList{QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB2")}));
        QCOMPARE(probe.ports()->itemData(1, Qt::ToolTipRole).toString(), kGimbalModel + QStringLiteral(" (0002)"));
        QCOMPARE(probe.openButton()->text(), QStringLiteral("关闭串口"));
        QVERIFY(log.count(QStringLiteral("udev: tty devices changed")) >= 1);

        // Another maker's adapter is pulled out: nothing changes for the open port.
        testbed.removeUsbAdapter(QStringLiteral("1-2"), QStringLiteral("ttyUSB1"));
        QTRY_VERIFY_WITH_TIMEOUT(log.count(QStringLiteral("Device Removed \"ttyUSB1\"")) == 1, 10000);
        QCOMPARE(probe.openButton()->text(), QStringLiteral("关闭串口"));

        // The open adapter is pulled out: closed as by the close button, and no longer listed.
        clock.restart();
        testbed.removeUsbAdapter(QStringLiteral("1-1"), QStringLiteral("ttyUSB0"));
        QTRY_VERIFY_WITH_TIMEOUT(closedAfterNs >= 0, 10000);
        QCOMPARE(probe.status(), QStringLiteral("串口已经关闭！"));
        QCOMPARE(probe.portItems(), QStringList{QStringLiteral("ttyUSB2")});
        QVERIFY(probe.ports()->isEnabled());
        QVERIFY(probe.openButton()->isEnabled());
        QCOMPARE(log.count(QStringLiteral("Device Removed \"ttyUSB0\"")), 1);
        QCOMPARE(log.count(QStringLiteral("Device Discovered \"ttyUSB2\"")), 1);
        qInfo("udev event to window: adapter listed after %.2f ms, open adapter closed after %.2f ms",
              listedAfterNs / 1e6, closedAfterNs / 1e6);
    }

    // The open adapter is pulled out and comes back on another socket under another name: the
    // same serial number opens it again by itself; another adapter of the same kind does not.
    void sameAdapterComingBackIsOpenedAgainUnderItsNewName()
    {
        UdevTestbed testbed;
        addMixedPorts(testbed);
        auto *enumerator = new SystemPortEnumerator;
        enumerator->setRefreshInterval(3600 * 1000);
        MainWindow window(enumerator);
        WindowProbe probe(window);
        probe.open(QStringLiteral("ttyUSB0"));
        QCOMPARE(probe.openButton()->text(), QStringLiteral("关闭串口"));

        testbed.removeUsbAdapter(QStringLiteral("1-1"), QStringLiteral("ttyUSB0"));
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), QStringLiteral("串口已经关闭！"), 10000);

        testbed.addUsbAdapter(QStringLiteral("1-4"), QStringLiteral("ttyUSB4"), 0x10C4, 0xEA60,
                              QStringLiteral("Bridge Maker"), kGimbalModel, QStringLiteral("0007"));
        QTRY_VERIFY_WITH_TIMEOUT(probe.portItems().contains(QStringLiteral("ttyUSB4")), 10000);
        QCOMPARE(probe.openButton()->text(), QStringLiteral("打开串口"));

        testbed.addUsbAdapter(QStringLiteral("1-3"), QStringLiteral("ttyUSB3"), 0x10C4, 0xEA60,
                              QStringLiteral("Bridge Maker"), kGimbalModel, QStringLiteral("0001"));
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), QStringLiteral("串口已经打开 (ttyUSB3)"), 10000);
        QCOMPARE(probe.openButton()->text(), QStringLiteral("关闭串口"));
        QCOMPARE(probe.ports()->currentText(), QStringLiteral("ttyUSB3"));
    }
};

QTEST_MAIN(UmockdevPortsTest)
#include "tst_umockdev_ports.moc"
