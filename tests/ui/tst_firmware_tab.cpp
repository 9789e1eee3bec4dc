// The firmware tab through its widgets: button texts and states, package choice and drops, and
// which link the port worker feeds while each tab shows.
#include "IsolatedSettings.h"
#include "BootloaderFrame.h"
#include "FakePortEnumerator.h"
#include "FirmwareProbe.h"
#include "PtyPair.h"
#include "StarsFrame.h"

#include <QFileDialog>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTranslator>
#include <memory>

namespace {

// The host's side of the line: records every byte the window sends and answers each runtime
// request, so that the runtime link comes up.
class LineRecorder
{
public:
    LineRecorder()
        : notifier(line.masterFd(), QSocketNotifier::Read)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { serve(); });
    }

    QString path() const { return line.slavePath(); }
    int runtimeFrames() const { return runtimeCount; }

    QByteArray received;

private:
    void serve()
    {
        char buffer[512];
        const ssize_t n = ::read(line.masterFd(), buffer, sizeof buffer);
        if (n <= 0)
            return;
        const QByteArray bytes(buffer, int(n));
        received += bytes;
        for (const QByteArray &request : parser.feed(bytes)) {
            ++runtimeCount;
            line.write(StarsFrame::encode(StarsFrame::address(request), StarsFrame::command(request), 0));
        }
    }

    PtyPair line;
    QSocketNotifier notifier;
    StarsFrameParser parser;
    int runtimeCount = 0;
};

// A window listing the recorder's port, in Chinese or English.
struct TabRig
{
    explicit TabRig(bool english = false)
    {
        if (english) {
            translator = std::make_unique<QTranslator>();
            if (translator->load(QStringLiteral(":/en_US")))
                QCoreApplication::installTranslator(translator.get());
        }
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(line.path())});
        window = std::make_unique<MainWindow>(ports);
        probe = std::make_unique<WindowProbe>(*window);
        fw = std::make_unique<FirmwareProbe>(*probe);
    }
    ~TabRig()
    {
        fw.reset();
        probe.reset();
        window.reset();
        if (translator)
            QCoreApplication::removeTranslator(translator.get());
    }

    bool openPort() const
    {
        probe->open(line.path());
        return probe->openButton()->text() != QStringLiteral("打开串口")
            && probe->openButton()->text() != QStringLiteral("Open");
    }

    // The update service's signals, as the window receives them.
    void report(int type, const QString &msg) const { invoke("onUpdateReport", Q_ARG(int, type), Q_ARG(QString, msg)); }
    void countDown(int ms) const { invoke("onConnectTimeout", Q_ARG(int, ms)); }
    void listDevices(const QList<deviceInfo> &devices) const { invoke("deviceListUpdate", Q_ARG(QList<deviceInfo>, devices)); }
    template <typename... Args>
    void invoke(const char *slot, Args... args) const { QMetaObject::invokeMethod(window.get(), slot, args...); }
    // The connect button's text and state and the update button's state, e.g. "连接 on off".
    QString buttons() const
    {
        auto state = [](QPushButton *b) { return b->isEnabled() ? QStringLiteral("on") : QStringLiteral("off"); };
        return QStringLiteral("%1 %2 %3").arg(fw->connectButton()->text(), state(fw->connectButton()), state(fw->downloadButton()));
    }

    LineRecorder line;
    std::unique_ptr<QTranslator> translator;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
    std::unique_ptr<FirmwareProbe> fw;
};

const QList<deviceInfo> kTwoChips = {{"K5-ROLL", "4B35", "0101", "1.00"}, {"K5-PITCH", "4B35", "0102", "1.00"}};

} // namespace

class FirmwareTabTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString file(const QString &name) const { return dir.filePath(name); }

private slots:
    void init() { IsolatedSettings::reset(); }

    void initTestCase()
    {
        QVERIFY(dir.isValid());
        registerUpdateMetaTypes();
    }

    void connectButtonFollowsTabAndPort()
    {
        TabRig rig;
        FirmwareProbe &fw = *rig.fw;
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        QVERIFY(fw.connectButton()->isHidden());
        QCOMPARE(rig.buttons(), QStringLiteral("连接 off off"));
        // Shown on the firmware tab, in place of Calibrate, and still disabled with the port closed.
        fw.showFirmwareTab();
        QVERIFY(fw.connectButton()->isVisible() && rig.probe->calibrateButton()->isHidden());
        QCOMPARE(rig.buttons(), QStringLiteral("连接 off off"));
        rig.countDown(3000);
        fw.showCalibrationTab();
        QVERIFY(fw.connectButton()->isHidden() && rig.probe->calibrateButton()->isVisible());
        QCOMPARE(rig.buttons(), QStringLiteral("连接 on off"));

        // Opening the port enables it; closing disables it and resets its text.
        QVERIFY(rig.openPort());
        fw.showFirmwareTab();
        QCOMPARE(rig.buttons(), QStringLiteral("连接 on off"));
        rig.countDown(2000);
        QTest::mouseClick(rig.probe->openButton(), Qt::LeftButton);
        QCOMPARE(rig.buttons(), QStringLiteral("连接 off off"));
    }

    void countDownAndConnectButton_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("counting");
        QTest::addColumn<QString>("zero");
        QTest::addColumn<QString>("waiting");
        QTest::addColumn<QString>("idle");
        QTest::newRow("Chinese") << false << "连接中(4s)" << "连接中(0s)" << "等待连接..." << "连接";
        QTest::newRow("English") << true << "Connecting(4s)" << "Connecting(0s)" << "Wait for connect..." << "Connect";
    }

    void countDownAndConnectButton()
    {
        QFETCH(bool, english);
        QFETCH(QString, counting);
        QFETCH(QString, zero);
        QFETCH(QString, waiting);
        QFETCH(QString, idle);
        TabRig rig(english);
        FirmwareProbe &fw = *rig.fw;
        QVERIFY(rig.openPort());
        fw.showFirmwareTab();
        QCOMPARE(fw.connectButton()->text(), idle);

        rig.window->statusBar()->showMessage(QStringLiteral("before"));
        rig.countDown(0);
        QCOMPARE(fw.connectButton()->text(), zero);
        QCOMPARE(rig.probe->status(), QStringLiteral("before")); // 0 leaves the status bar alone
        rig.countDown(4999);
        QCOMPARE(fw.connectButton()->text(), counting); // truncated, not rounded
        QCOMPARE(rig.probe->status(), waiting);
        rig.countDown(999);
        QCOMPARE(fw.connectButton()->text(), zero);

        // Pressed during the count-down it cancels; the chips listed stay.
        rig.listDevices(kTwoChips);
        rig.countDown(3000);
        QTest::ignoreMessage(QtDebugMsg, "Cancel");
        QTest::mouseClick(fw.connectButton(), Qt::LeftButton);
        QCOMPARE(fw.devices()->rowCount(), 2);

        // Pressed otherwise it asks again and empties the device table.
        rig.report(2, QString());
        QCOMPARE(fw.connectButton()->text(), idle);
        QTest::ignoreMessage(QtDebugMsg, "Request");
        QTest::mouseClick(fw.connectButton(), Qt::LeftButton);
        QCOMPARE(fw.devices()->rowCount(), 0);
    }

    // A product change cancels the service without a report: the tab must not stay "connected".
    void productChangeLeavesTheTabReadyToConnect()
    {
        TabRig rig;
        FirmwareProbe &fw = *rig.fw;
        QVERIFY(rig.openPort());
        fw.showFirmwareTab();
        rig.report(1, QStringLiteral("连接设备成功！"));
        QCOMPARE(rig.buttons(), QStringLiteral("已连接 off on"));
        QComboBox *products = rig.probe->products();
        products->setCurrentIndex(products->currentIndex() == 0 ? 1 : 0);
        QCOMPARE(rig.buttons(), QStringLiteral("连接 on off"));
        // With the port closed it stays off.
        QTest::mouseClick(rig.probe->openButton(), Qt::LeftButton);
        products->setCurrentIndex(products->currentIndex() == 0 ? 1 : 0);
        QCOMPARE(rig.buttons(), QStringLiteral("连接 off off"));
    }

    void reportsDriveButtonsStatusAndProgress()
    {
        TabRig rig;
        FirmwareProbe &fw = *rig.fw;
        QVERIFY(rig.openPort());
        fw.showFirmwareTab();
        QTest::mouseClick(fw.downloadButton(), Qt::LeftButton); // disabled: nothing happens
        rig.report(1, QStringLiteral("连接设备成功！"));
        QCOMPARE(rig.probe->status(), QStringLiteral("连接设备成功！"));
        QCOMPARE(rig.buttons(), QStringLiteral("已连接 off on"));
        QTest::mouseClick(fw.downloadButton(), Qt::LeftButton);
        QCOMPARE(rig.probe->status(), QStringLiteral("请指定固件文件路径!"));
        QCOMPARE(rig.buttons(), QStringLiteral("已连接 off on"));

        // Messages change the status only, a null one not even that; progress goes to the bar.
        rig.report(0, QStringLiteral("正在更新设备1固件"));
        rig.report(0, QString());
        rig.invoke("onProgressUpdate", Q_ARG(int, 640));
        QCOMPARE(rig.probe->status(), QStringLiteral("正在更新设备1固件"));
        QCOMPARE(fw.progress()->value(), 640);
        QCOMPARE(rig.buttons(), QStringLiteral("已连接 off on"));
        for (int type : {2, 3}) {
            rig.report(1, QString());
            rig.report(type, QStringLiteral("done"));
            QCOMPARE(rig.buttons(), QStringLiteral("连接 on off"));
        }
        // A failure ends the connection: the bar back to 0, Connect offered, Update withdrawn.
        rig.report(1, QString());
        rig.report(-1, QStringLiteral("获取设备信息失败！"));
        QCOMPARE(rig.probe->status(), QStringLiteral("获取设备信息失败！"));
        QCOMPARE(fw.progress()->value(), 0);
        QCOMPARE(rig.buttons(), QStringLiteral("连接 on off"));

        // A package chosen, Update pressed: disabled until the next connection.
        QVERIFY(writePackage(file("one.ptz"), 0x4B35, {{0x0101, 105, 100}}));
        QVERIFY(fw.drop({file("one.ptz")}));
        rig.report(1, QString());
        QTest::mouseClick(fw.downloadButton(), Qt::LeftButton);
        QCOMPARE(rig.buttons(), QStringLiteral("已连接 off off"));
        // Leaving the tab cancels the connection, and with it Update. With Update pressed the
        // write may be running: the user is asked first, and stops it here.
        rig.report(1, QString());
        StopQuestionAnswerer answerer;
        answerer.answerNext(true);
        fw.showCalibrationTab();
        QCOMPARE(answerer.asked, 1);
        QCOMPARE(fw.tabs()->currentIndex(), 0);
        QVERIFY(!fw.downloadButton()->isEnabled());

        // With the port closed, no report offers a connection.
        fw.showFirmwareTab();
        QTest::mouseClick(rig.probe->openButton(), Qt::LeftButton);
        for (int type : {-1, 2, 3}) {
            rig.report(type, QStringLiteral("设备1更新失败，重启至升级模式！"));
            QVERIFY(!fw.connectButton()->isEnabled());
        }
    }

    void packagesFillTheTableAndThePathList()
    {
        TabRig rig;
        FirmwareProbe &fw = *rig.fw;
        const QString three = file("three.ptz");
        QVERIFY(writePackage(three, 0x4B35, {{0x0101, 105, 300}, {0x0102, 210, 40}, {0x0A0B, 7, 17}}));
        QVERIFY(fw.drop({three}));
        QCOMPARE(fw.pathItems(), QStringList({three}));
        QCOMPARE(fw.firmware()->rowCount(), 3);
        QCOMPARE(FirmwareProbe::row(fw.firmware(), 0), QStringList({"1", "4B35", "0101", "1.05"}));
        QCOMPARE(FirmwareProbe::row(fw.firmware(), 1), QStringList({"2", "4B35", "0102", "2.10"}));
        QCOMPARE(FirmwareProbe::row(fw.firmware(), 2), QStringList({"3", "4B35", "0A0B", "0.07"}));
        QVERIFY(fw.firmwareView()->isColumnHidden(1));

        // The same path again adds nothing; one differing in case is its own item.
        QVERIFY(fw.drop({three}));
        QCOMPARE(fw.pathItems(), QStringList({three}));
        const QString upper = file("THREE.ptz");
        QVERIFY(QFile::copy(three, upper));
        QVERIFY(fw.drop({upper}));
        QCOMPARE(fw.pathItems(), QStringList({three, upper}));
        QCOMPARE(fw.paths()->currentIndex(), 1);

        // Invalid, missing and non-regular files keep the table; their paths are still listed.
        const QString broken = file("broken.ptz");
        QFile bad(broken);
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("PTZ not really a package") > 0);
        bad.close();
        const QString missing = file("missing.ptz");
        const QString folder = file("folder.ptz");
        QVERIFY(QDir().mkpath(folder));
        for (const QString &path : {broken, missing, folder}) {
            QVERIFY(fw.drop({path}));
            QCOMPARE(fw.paths()->currentText(), path);
            QCOMPARE(fw.firmware()->rowCount(), 3);
            QCOMPARE(FirmwareProbe::row(fw.firmware(), 2).at(2), QStringLiteral("0A0B"));
        }
        QCOMPARE(rig.probe->status(), QString());

        // Choosing an earlier item in the list shows that package again.
        const QString one = file("single.ptz");
        QVERIFY(writePackage(one, 0x1234, {{0x0201, 100, 10}}));
        QVERIFY(fw.drop({one}));
        QCOMPARE(fw.firmware()->rowCount(), 1);
        fw.paths()->setCurrentIndex(0);
        QCOMPARE(fw.firmware()->rowCount(), 3);
    }

    void dropsLoadOneFileWithAnExactSuffix_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("loads");
        QTest::newRow(".ptz") << QStringList{"a.ptz"} << true;
        QTest::newRow(".PTZ") << QStringList{"b.PTZ"} << true;
        QTest::newRow(".Ptz") << QStringList{"c.Ptz"} << false;
        QTest::newRow("two packages") << QStringList{"a.ptz", "b.PTZ"} << false;
    }

    void dropsLoadOneFileWithAnExactSuffix()
    {
        QFETCH(QStringList, names);
        QFETCH(bool, loads);
        TabRig rig;
        FirmwareProbe &fw = *rig.fw;
        QStringList paths;
        for (const QString &name : names) {
            paths.append(file(name));
            QVERIFY(writePackage(paths.last(), 0x4B35, {{0x0101, 105, 64}, {0x0102, 105, 64}}));
        }
        // Taken on either tab.
        fw.showFirmwareTab();
        QVERIFY(fw.drop(paths));
        QCOMPARE(fw.firmware()->rowCount(), loads ? 2 : 0);
        QCOMPARE(fw.pathItems(), loads ? paths : QStringList());
    }

    void browseDialogChoosesOrCancels()
    {
        TabRig rig;
        FirmwareProbe &fw = *rig.fw;
        const QString package = file("browsed.ptz");
        QVERIFY(writePackage(package, 0x4B35, {{0x0101, 105, 64}}));
        rig.window->show();

        // Answers the dialog once it is up: cancels it, or picks `pick`.
        QString caption;
        QStringList filters;
        QString start;
        auto answer = [&](const QString &pick) {
            QTimer::singleShot(0, [&, pick] {
                QTRY_VERIFY(qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
                auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                caption = dialog->windowTitle();
                filters = dialog->nameFilters();
                start = dialog->directory().absolutePath();
                if (pick.isEmpty()) {
                    dialog->reject();
                } else {
                    dialog->selectFile(pick);
                    QMetaObject::invokeMethod(dialog, "accept");
                }
            });
        };
        answer(QString());
        QTest::mouseClick(fw.browseButton(), Qt::LeftButton);
        QCOMPARE(caption, QStringLiteral("查找文件"));
        QCOMPARE(filters, QStringList({"PTZ 固件 (*.ptz)"}));
        QCOMPARE(start, QDir::current().absolutePath());
        QCOMPARE(fw.paths()->count(), 0);
        QCOMPARE(fw.firmware()->rowCount(), 0);

        answer(package);
        QTest::mouseClick(fw.browseButton(), Qt::LeftButton);
        QCOMPARE(fw.pathItems(), QStringList({package}));
        QCOMPARE(fw.firmware()->rowCount(), 1);
    }

    void firmwareTabTakesThePortFromTheRuntimeLink()
    {
        TabRig rig;
        FirmwareProbe &fw = *rig.fw;
        QVERIFY(rig.openPort());
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->status(), QStringLiteral("已连接！"), 10000);

        QSignalSpy statusChanges(rig.window->statusBar(), &QStatusBar::messageChanged);
        fw.showFirmwareTab();
        const qsizetype switched = rig.line.received.size();
        QTest::mouseClick(fw.connectButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(fw.connectButton()->text().startsWith(QStringLiteral("连接中")), 10000);

        // Once the first bootloader probe is out, everything sent is bootloader frames.
        const QByteArray probeStart("\x24\x3C", 2);
        QTRY_VERIFY_WITH_TIMEOUT(rig.line.received.indexOf(probeStart, switched) >= 0, 10000);
        const qsizetype first = rig.line.received.indexOf(probeStart, switched);
        QTRY_VERIFY_WITH_TIMEOUT(rig.line.received.size() - first > 64, 20000);
        BootloaderFrameParser parser(BootloaderFrame::ToDevice);
        const QByteArray sent = rig.line.received.mid(first);
        QByteArray framed;
        for (const QByteArray &payload : parser.feed(sent))
            framed += BootloaderFrame::encode(payload, BootloaderFrame::ToDevice);
        QVERIFY(!framed.isEmpty());
        QVERIFY2(sent.startsWith(framed), "bytes other than bootloader frames reached the port");
        QVERIFY(sent.size() - framed.size() < 64); // at most one frame still arriving
        // The runtime service stayed quiet: the only messages are the count-down's.
        for (const QList<QVariant> &change : std::as_const(statusChanges))
            QCOMPARE(change.at(0).toString(), QStringLiteral("等待连接..."));

        // Back on the calibration tab the polling resumes and the link is reported again.
        const int before = rig.line.runtimeFrames();
        fw.showCalibrationTab();
        QTRY_VERIFY_WITH_TIMEOUT(rig.line.runtimeFrames() > before + 5, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->status(), QStringLiteral("已连接！"), 10000);
    }
};

QTEST_MAIN(FirmwareTabTest)
#include "tst_firmware_tab.moc"
