// End to end: the window, the real serial path and the simulator's bootloader, through updates.
#include "IsolatedSettings.h"
#include "FirmwareProbe.h"
#include "JournalRows.h"
#include "MinisignTool.h"
#include "SimulatedSession.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QToolButton>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kConnectWaitMs = 20000;
constexpr int kUpdateWaitMs = 90000;

// The simulator's bootloader with the chips the demo package is built for, one by one.
const QStringList kBootloader = {QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip")};

} // namespace

class FirmwareUpdateTest : public QObject
{
    Q_OBJECT

private:
    SimulatedSession session;
    std::unique_ptr<FirmwareProbe> fw;
    QTemporaryDir dir;

    // Starts the simulator with `extra`, opens its port, shows the firmware tab and connects.
    bool connectTo(const QStringList &extra)
    {
        if (!session.start(QStringList(kBootloader) << extra))
            return false;
        fw = std::make_unique<FirmwareProbe>(*session.probe);
        fw->showFirmwareTab();
        QTest::mouseClick(fw->connectButton(), Qt::LeftButton);
        return QTest::qWaitFor([this] { return fw->devices()->rowCount() == 2; }, kConnectWaitMs)
            && fw->connectButton()->text() == QStringLiteral("已连接") && fw->downloadButton()->isEnabled();
    }

    // Chooses `package` by dropping it and presses Update.
    void update(const QString &package)
    {
        QVERIFY(fw->drop({package}));
        QTest::mouseClick(fw->downloadButton(), Qt::LeftButton);
        QVERIFY(!fw->downloadButton()->isEnabled());
    }

    QStringList bootloaderTrace() { return session.sim.traceLines().filter(QRegularExpression("^B ")); }

    // The chips' results of the only record in the journal, which must have `outcome`.
    static QStringList onlyRecordsChipResults(const QString &outcome)
    {
        const QList<JournalRecord> records = JournalRows::all();
        if (records.size() != 1 || records.first().outcome != outcome) {
            qWarning("%d records, the newest %s", int(records.size()),
                     records.isEmpty() ? "none" : qPrintable(records.first().outcome));
            return {QStringLiteral("(not one record of that outcome)")};
        }
        QStringList results;
        for (const JournalChip &chip : records.first().chips)
            results.append(chip.result);
        return results;
    }

private slots:
    void init()
    {
        IsolatedSettings::reset();
        JournalRows::clear();
    }

    void initTestCase() { QVERIFY(dir.isValid()); }
    void cleanup()
    {
        fw.reset();
        session.end();
    }

    void mismatchingPackageIsRefused()
    {
        QVERIFY(connectTo({}));
        const QString other = dir.filePath(QStringLiteral("other.ptz"));
        QVERIFY(writePackage(other, 0x4B35, {{0x0101, 105, 2048}, {0x0201, 105, 2048}}));
        update(other);
        QTRY_COMPARE_WITH_TIMEOUT(session.probe->status(), QStringLiteral("固件与设备硬件不匹配，请使用正确的固件文件！"),
                                  kConnectWaitMs);
        QCOMPARE(fw->connectButton()->text(), QStringLiteral("连接"));
        QVERIFY(fw->connectButton()->isEnabled());
        QCOMPARE(bootloaderTrace().filter(QStringLiteral("WRITE_PAGE")), QStringList());
        QTRY_COMPARE(onlyRecordsChipResults(QStringLiteral("hardware-mismatch")), QStringList({"not-reached", "not-reached"}));
    }

    void chipThatCannotTakeItsImageEndsInRestart()
    {
        // 8 KiB of flash per chip: the first image fits, the second does not.
        QVERIFY(connectTo({QStringLiteral("--page-count"), QStringLiteral("8")}));
        const QString big = dir.filePath(QStringLiteral("big.ptz"));
        QVERIFY(writePackage(big, 0x4B35, {{0x0101, 105, 3000}, {0x0102, 105, 20000}}));
        QSignalSpy progress(fw->progress(), &QProgressBar::valueChanged);
        update(big);
        QTRY_COMPARE_WITH_TIMEOUT(session.probe->status(), QStringLiteral("设备2更新失败，重启至升级模式！"), kUpdateWaitMs);
        QVERIFY(progress.contains({1000})); // chip 1 was written
        QCOMPARE(fw->progress()->value(), 0);
        QCOMPARE(fw->connectButton()->text(), QStringLiteral("连接"));
        QVERIFY(fw->connectButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(bootloaderTrace().endsWith(QStringLiteral("B RESTART")), 10000);
        QVERIFY(!bootloaderTrace().contains(QStringLiteral("B RUN")));
        QCOMPARE(onlyRecordsChipResults(QStringLiteral("flash-overflow")), QStringList({"written", "not-reached"}));
        QCOMPARE(JournalRows::all().first().failedChip, 2);
    }

    void newcomerPathUpdatesTheDemoPackage()
    {
        // As scripts/run.sh starts it: the gimbal at run time, its bootloader once probed.
        QVERIFY(session.start({QStringLiteral("--role"), QStringLiteral("auto"), QStringLiteral("--multi-chip")}));
        WindowProbe &probe = *session.probe;
        fw = std::make_unique<FirmwareProbe>(probe);
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), QStringLiteral("已连接！"), kConnectWaitMs);
        fw->showFirmwareTab();
        QTest::mouseClick(fw->connectButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(fw->devices()->rowCount(), 2, kConnectWaitMs);
        // The History window opens from the firmware tab's corner and follows what is recorded.
        QTest::mouseClick(session.window->findChild<QToolButton *>(QStringLiteral("historyButton")), Qt::LeftButton);
        auto *history = session.window->findChild<QTableView *>(QStringLiteral("historyTable"));
        QVERIFY(history && history->isVisible());
        QCOMPARE(history->model()->rowCount(), 0);
        // Product row 4 addresses the chips one by one: each names itself.
        QVERIFY(!FirmwareProbe::row(fw->devices(), 0).at(0).isEmpty());
        QCOMPARE(FirmwareProbe::row(fw->devices(), 1).mid(1), QStringList({"4B35", "0102", "1.00"}));

        QSignalSpy progress(fw->progress(), &QProgressBar::valueChanged);
        update(QStringLiteral(VELMORA_DEMO_PACKAGE));
        QCOMPARE(fw->firmware()->rowCount(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(probe.status().startsWith(QStringLiteral("更新完成，用时")), kUpdateWaitMs);
        QCOMPARE(fw->connectButton()->text(), QStringLiteral("连接"));
        QVERIFY(fw->connectButton()->isEnabled() && !fw->downloadButton()->isEnabled());
        int full = 0;
        for (const QList<QVariant> &value : std::as_const(progress))
            full += value.at(0).toInt() == 1000;
        QCOMPARE(full, 2); // once per chip
        QTRY_VERIFY_WITH_TIMEOUT(bootloaderTrace().contains(QStringLiteral("B RUN")), 10000);

        // One record of the whole attempt: its port, chips, package as read and outcome.
        QCOMPARE(onlyRecordsChipResults(QStringLiteral("success")), QStringList({"written", "written"}));
        const JournalRecord record = JournalRows::all().first();
        QFile package(QStringLiteral(VELMORA_DEMO_PACKAGE));
        QVERIFY(package.open(QIODevice::ReadOnly));
        const QByteArray bytes = package.readAll();
        QCOMPARE(record.packageName, QFileInfo(package).fileName());
        QCOMPARE(record.packageSize, bytes.size());
        QCOMPARE(record.packageSha256, QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
        QCOMPARE(record.port, session.sim.path());
        QCOMPARE(record.productRow, 4);
        QCOMPARE(record.endCommand, QStringLiteral("run"));
        QVERIFY(record.started < record.ended);
        QCOMPARE(record.chips.at(1).firmwareBefore, 100);
        QTRY_COMPARE(history->model()->rowCount(), 1);
        // The chips just written now have a last update, under the chip table.
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        const QString change = QStringLiteral("1.00 → %1").arg(JournalRecord::firmwareText(record.chips.at(1).firmwareAfter));
        QCOMPARE(session.probe->widget<QLabel>("chipHistoryWords")->text(),
                 QStringLiteral("芯片 1：本站上次更新于 %1，%2\n芯片 2：本站上次更新于 %1，%2").arg(today, change));

        // After RUN the gimbal answers at run time again, and the calibration tab sees it.
        fw->showCalibrationTab();
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), QStringLiteral("已连接！"), kConnectWaitMs);
    }

    void closingMidUpdateAsksThenEndsPromptlyAndTheNextOpenTells()
    {
        // Slow page writes keep the update going while the window closes.
        QVERIFY(connectTo({QStringLiteral("--page-write-ms"), QStringLiteral("50")}));
        update(QStringLiteral(VELMORA_DEMO_PACKAGE));
        QTRY_VERIFY_WITH_TIMEOUT(fw->progress()->value() > 0, kUpdateWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(fw->chipWords().startsWith(QStringLiteral("正在写入芯片 1/2")), kUpdateWaitMs);
        StopQuestionAnswerer answerer;
        answerer.answerNext(true);
        fw.reset();
        const qint64 ms = session.closeWindow();
        QCOMPARE(answerer.asked, 1);
        QVERIFY(answerer.texts.first().contains(QStringLiteral("引导程序")));
        qInfo("closing the window mid-update took %lld ms", qlonglong(ms));
        // Far above the real figure: only a hang fails here.
        QVERIFY2(ms < 5000, qPrintable(QString::number(ms)));
        // The write cut short by the close is recorded as the user's cancel.
        QCOMPARE(onlyRecordsChipResults(QStringLiteral("cancelled")), QStringList({"failed", "not-reached"}));

        // The next window, opening the same port, says the update did not finish and has the
        // package ready on the firmware tab.
        MainWindow next;
        WindowProbe probe(next);
        FirmwareProbe nextFw(probe);
        probe.open(session.sim.path());
        QCOMPARE(probe.status(), QStringLiteral("此端口上次的固件更新没有完成：云台可能停在引导程序中，请在“固件更新”页完成更新。"));
        QCOMPARE(nextFw.paths()->currentText(), QStringLiteral(VELMORA_DEMO_PACKAGE));
        QCOMPARE(nextFw.firmware()->rowCount(), 2);
    }

    // Everything that would cancel the write asks first, and "keep writing" leaves the window
    // as it was: the port open, the window shown, the firmware tab and the product chosen.
    void keepWritingRefusesEveryInterruptionAndTheWriteFinishes()
    {
        QVERIFY(connectTo({QStringLiteral("--page-write-ms"), QStringLiteral("20")}));
        StopQuestionAnswerer answerer;
        // Nothing asks while no write runs: the port closes and opens again at once.
        QTest::mouseClick(session.probe->openButton(), Qt::LeftButton);
        QTest::mouseClick(session.probe->openButton(), Qt::LeftButton);
        QCOMPARE(answerer.asked, 0);
        QTest::mouseClick(fw->connectButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(fw->downloadButton()->isEnabled(), kConnectWaitMs);

        update(QStringLiteral(VELMORA_DEMO_PACKAGE));
        QTRY_VERIFY_WITH_TIMEOUT(fw->progress()->value() > 0, kUpdateWaitMs);
        answerer.answerNext(false);
        QTest::mouseClick(session.probe->openButton(), Qt::LeftButton);
        QCOMPARE(answerer.asked, 1);
        QCOMPARE(session.probe->openButton()->text(), QStringLiteral("关闭串口"));
        answerer.answerNext(false);
        QVERIFY(!session.window->close());
        QCOMPARE(answerer.asked, 2);
        QVERIFY(session.window->isVisible());
        answerer.answerNext(false);
        fw->showCalibrationTab();
        QCOMPARE(answerer.asked, 3);
        QCOMPARE(fw->tabs()->currentIndex(), 1);
        QVERIFY(!session.window->findChild<QToolButton *>(QStringLiteral("plotButton"))->isVisible());
        const int product = session.probe->products()->currentIndex();
        answerer.answerNext(false);
        session.probe->products()->setCurrentIndex(product == 0 ? 1 : 0);
        QCOMPARE(answerer.asked, 4);
        QCOMPARE(session.probe->products()->currentIndex(), product);

        QTRY_VERIFY_WITH_TIMEOUT(session.probe->status().startsWith(QStringLiteral("更新完成，用时")), kUpdateWaitMs);
        QCOMPARE(fw->chipWords(), QStringLiteral("芯片 2/2：写入完成"));
        // Finished: closing the port asks nothing, and the next open tells of no interruption.
        QTest::mouseClick(session.probe->openButton(), Qt::LeftButton);
        QTest::mouseClick(session.probe->openButton(), Qt::LeftButton);
        QCOMPARE(session.probe->status(), QStringLiteral("串口已经打开 (%1)").arg(session.sim.path()));
        fw->showCalibrationTab();
        QCOMPARE(fw->tabs()->currentIndex(), 0);
        QCOMPARE(answerer.asked, 4);
    }

    void chipsThatHoldTheirImageSayAlreadyUpToDate()
    {
        QVERIFY(connectTo({QStringLiteral("--preload"), QStringLiteral(VELMORA_DEMO_PACKAGE)}));
        update(QStringLiteral(VELMORA_DEMO_PACKAGE));
        QTRY_VERIFY_WITH_TIMEOUT(session.probe->status().startsWith(QStringLiteral("更新完成，用时")), kUpdateWaitMs);
        QCOMPARE(fw->chipWords(), QStringLiteral("芯片 2/2：已是最新，无需写入"));
        QCOMPARE(bootloaderTrace().filter(QStringLiteral("WRITE_PAGE")), QStringList());
        QCOMPARE(onlyRecordsChipResults(QStringLiteral("success")), QStringList({"up-to-date", "up-to-date"}));

        // A new connection clears the finished run's progress, chip words and chips.
        QTRY_VERIFY_WITH_TIMEOUT(fw->connectButton()->isEnabled(), kConnectWaitMs);
        QTest::mouseClick(fw->connectButton(), Qt::LeftButton);
        QCOMPARE(fw->progress()->value(), 0);
        QCOMPARE(fw->chipWords(), QString());
        QCOMPARE(fw->devices()->rowCount(), 0);
    }

    // A journal file that is not a database: the update runs to its end all the same, and the
    // status bar and standard error say that it was not recorded.
    void unwritableJournalNeverStopsAnUpdate()
    {
        QFile garbage(JournalRows::path());
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(4096, '\x5A')) == 4096);
        garbage.close();
        QVERIFY(connectTo({}));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Journal not written: .*journal.sqlite")));
        update(QStringLiteral(VELMORA_DEMO_PACKAGE));
        QTRY_VERIFY_WITH_TIMEOUT(session.probe->status().startsWith(QStringLiteral("更新完成，用时")), kUpdateWaitMs);
        auto *problem = session.probe->widget<QLabel>("journalProblem");
        QTRY_VERIFY(problem->isVisible());
        QVERIFY2(problem->toolTip().startsWith(QStringLiteral("记录无法写入：")), qPrintable(problem->toolTip()));
        QTRY_VERIFY_WITH_TIMEOUT(bootloaderTrace().contains(QStringLiteral("B RUN")), 10000);
        // The History window says why it shows nothing.
        QTest::mouseClick(session.window->findChild<QToolButton *>(QStringLiteral("historyButton")), Qt::LeftButton);
        QTRY_VERIFY(session.window->findChild<QLabel *>(QStringLiteral("historyCount"))->text().startsWith(QStringLiteral("无法读取记录：")));
        // The file was left as it was.
        QVERIFY(garbage.open(QIODevice::ReadOnly));
        QCOMPARE(garbage.readAll(), QByteArray(4096, '\x5A'));
    }

    // A Connect that is given up during the count-down is recorded too, with no chips.
    void connectCancelledDuringTheCountDownIsRecorded()
    {
        // A gimbal at run time that never enters its bootloader keeps the count-down going.
        QVERIFY(session.start({QStringLiteral("--role"), QStringLiteral("runtime")}));
        fw = std::make_unique<FirmwareProbe>(*session.probe);
        fw->showFirmwareTab();
        QTest::mouseClick(fw->connectButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(fw->connectButton()->text().startsWith(QStringLiteral("连接中")), kConnectWaitMs);
        QTest::mouseClick(fw->connectButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(onlyRecordsChipResults(QStringLiteral("cancelled")), QStringList(), kConnectWaitMs);
    }

    // The signature decides at Upgrade, on the bytes then read: a refusal sends nothing and
    // leaves the chips listed for another package; a good one is named and recorded.
    void signaturesDecideTheUpgrade_data()
    {
        QTest::addColumn<QString>("signer");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<bool>("onlySigned");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("trusted signer") << "maker" << false << true << "已签名：K5 1.05（密钥 %1）" << "";
        QTest::newRow("changed after signing") << "maker" << true << false << "签名无效" << "固件签名无效，已拒绝！";
        QTest::newRow("untrusted signer") << "stranger" << false << false << "签名密钥不受信任：%2" << "固件签名密钥不受信任，已拒绝！";
        QTest::newRow("unsigned, only signed packages") << "" << false << true << "未签名" << "固件未签名，只接受已签名的固件！";
    }
    void signaturesDecideTheUpgrade()
    {
        QFETCH(QString, signer);
        QFETCH(bool, changed);
        QFETCH(bool, onlySigned);
        QFETCH(QString, words);
        QFETCH(QString, refusal);
        QTemporaryDir keys;
        const QDir keyDir(keys.path());
        QVERIFY(MinisignTool::makeKey(keyDir, QStringLiteral("maker")) && MinisignTool::makeKey(keyDir, QStringLiteral("stranger")));
        const QString trusted = keys.filePath(QStringLiteral("config/Velmora/trusted-keys"));
        QVERIFY(QDir().mkpath(trusted) && QFile::copy(keyDir.filePath(QStringLiteral("maker.pub")), trusted + QStringLiteral("/maker.pub")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(keys.filePath(QStringLiteral("config"))));
        const auto restore = qScopeGuard([] { qunsetenv("XDG_CONFIG_HOME"); });
        MinisignKey maker, stranger;
        QString why;
        QVERIFY(TrustedKeys::loadFile(keyDir.filePath(QStringLiteral("maker.pub")), &maker, &why));
        QVERIFY(TrustedKeys::loadFile(keyDir.filePath(QStringLiteral("stranger.pub")), &stranger, &why));
        const QString package = keys.filePath(QStringLiteral("k5.ptz"));
        QVERIFY(QFile::copy(QStringLiteral(VELMORA_DEMO_PACKAGE), package));
        if (!signer.isEmpty())
            QVERIFY(MinisignTool::sign(keyDir, signer, package, QStringLiteral("K5 1.05")));

        QVERIFY(connectTo({}));
        auto *box = session.window->findChild<QCheckBox *>(QStringLiteral("onlySignedBox"));
        box->setChecked(onlySigned);
        QVERIFY(fw->drop({package}));
        if (changed) { // one byte of the last image, after the window showed the package
            QFile file(package);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() - 100));
            const char byte = file.read(1)[0];
            file.seek(file.size() - 100);
            file.write(QByteArray(1, char(byte ^ 0x5A)));
        }
        const QStringList listed = bootloaderTrace();
        QTest::mouseClick(fw->downloadButton(), Qt::LeftButton);
        const QString expected = QString(words).replace(QStringLiteral("%1"), maker.idText()).replace(QStringLiteral("%2"), stranger.idText());
        QCOMPARE(session.window->findChild<QLabel *>(QStringLiteral("signatureWords"))->text(), expected);
        if (!refusal.isEmpty()) {
            QCOMPARE(session.probe->status(), refusal);
            // Nothing was asked of the service: the button stays for another package.
            QVERIFY(fw->downloadButton()->isEnabled());
            QCoreApplication::processEvents();
            QCOMPARE(bootloaderTrace(), listed);
            QVERIFY(JournalRows::all().isEmpty());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(session.probe->status().startsWith(QStringLiteral("更新完成")), kUpdateWaitMs);
        QTRY_COMPARE(JournalRows::all().size(), 1);
        QCOMPARE(JournalRows::all().first().signature, QStringLiteral("signed"));
        QCOMPARE(JournalRows::all().first().signatureKey, maker.idText());
    }

    // A path typed into the path box that names a pipe, a device or a huge file: the preview
    // leaves the table as it was, Upgrade is refused at once, and the window still closes.
    void oddPackagePathsAreRefusedPromptly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("pipe") << QStringLiteral("pipe.ptz") << QStringLiteral("固件文件不存在或无法访问！");
        QTest::newRow("device") << QStringLiteral("/dev/zero") << QStringLiteral("固件文件不存在或无法访问！");
        QTest::newRow("huge file") << QStringLiteral("huge.ptz") << QStringLiteral("固件文件格式无效！");
    }
    void oddPackagePathsAreRefusedPromptly()
    {
        QFETCH(QString, name);
        QFETCH(QString, refusal);
        const QString path = name.startsWith(QLatin1Char('/')) ? name : dir.filePath(name);
        if (name == QLatin1String("pipe.ptz") && !QFileInfo::exists(path))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (name == QLatin1String("huge.ptz")) {
            QFile huge(path);
            QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(5LL << 30)); // sparse: no disk space
        }
        // Should the update thread be stuck opening the pipe, a writer frees it on the way out,
        // so that a failure here does not hang the test.
        const auto freePipe = qScopeGuard([path] {
            const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        });

        QVERIFY(connectTo({}));
        QVERIFY(fw->drop({QStringLiteral(VELMORA_DEMO_PACKAGE)}));
        QCOMPARE(fw->firmware()->rowCount(), 2);
        QLineEdit *edit = fw->paths()->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, path);
        QElapsedTimer typing;
        typing.start();
        QTest::keyClick(edit, Qt::Key_Return);
        const qint64 previewMs = typing.elapsed();
        QCOMPARE(fw->paths()->currentText(), path);
        QCOMPARE(fw->firmware()->rowCount(), 2); // still the demo package's rows
        // Only a hang, or a read of the whole file, fails here.
        QVERIFY2(previewMs < 5000, qPrintable(QString::number(previewMs)));

        QTest::mouseClick(fw->downloadButton(), Qt::LeftButton);
        // Refused at the door, before anything is sent: the chips stay listed for another package.
        QCOMPARE(session.probe->status(), refusal);
        QVERIFY(fw->downloadButton()->isEnabled());
        QCOMPARE(bootloaderTrace().filter(QStringLiteral("WRITE_PAGE")), QStringList());

        fw.reset();
        const qint64 closeMs = session.closeWindow();
        qInfo("%s: preview %lld ms, closing the window %lld ms", qPrintable(name), qlonglong(previewMs), qlonglong(closeMs));
        QVERIFY2(closeMs < 5000, qPrintable(QString::number(closeMs))); // only a hang fails here
    }
};

QTEST_MAIN(FirmwareUpdateTest)
#include "tst_firmware_update.moc"
