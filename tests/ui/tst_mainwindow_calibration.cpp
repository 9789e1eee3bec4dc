// End to end: the window, the real serial path and the simulator process, through a calibration.
#include "IsolatedSettings.h"
#include "JournalRows.h"
#include "ProductTable.h"
#include "SimulatedSession.h"

#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>

namespace {

constexpr int kConnectWaitMs = 10000;
// A full run with the simulated user at the test's time scale, with room for a busy machine.
constexpr int kRunWaitMs = 90000;

// Device delays shortened so that a run takes seconds, not minutes.
const QStringList kFast = {QStringLiteral("--time-scale"), QStringLiteral("0.3")};
// A check waits up to 10 s for stillness, then samples for 2 s.
constexpr int kCheckWaitMs = 30000;

const QString kLooksGood = QStringLiteral("校准良好");
const QString kFirstHint = QStringLiteral("请把云台放在稳固、水平的表面上重新校准；如果再次检查仍未通过，可能是传感器故障。");
const QString kSensorHint = QStringLiteral("这个云台的检查再次没有通过：传感器可能有问题。");

const QStringList kFaceWords = {
    QStringLiteral("第 1 面（共 6 面）：让它仰面躺下，镜头朝上"),
    QStringLiteral("第 2 面（共 6 面）：让它俯面趴下，镜头朝下"),
    QStringLiteral("第 3 面（共 6 面）：让它右侧着地躺下，镜头朝前"),
    QStringLiteral("第 4 面（共 6 面）：让它左侧着地躺下，镜头朝前"),
    QStringLiteral("第 5 面（共 6 面）：让它手柄朝下竖直立起，镜头朝前"),
    QStringLiteral("第 6 面（共 6 面）：把它倒过来，手柄朝上，镜头朝前"),
};

} // namespace

class MainWindowCalibrationTest : public QObject
{
    Q_OBJECT

private:
    SimulatedSession session;
    WindowProbe *probe = nullptr;
    SimulatorProcess &sim = session.sim;

    bool connectTo(const QStringList &simArguments, int row = 4)
    {
        const bool open = session.start(simArguments, row);
        probe = session.probe.get();
        return open;
    }

private slots:
    void init()
    {
        IsolatedSettings::reset();
        JournalRows::clear();
    }

    void cleanup()
    {
        session.end();
        qunsetenv("VELMORA_LIMITS_FILE");
    }

    // The only record in the journal: "outcome step faces saved", or what went wrong.
    static QString onlyCalibrationRecord()
    {
        const QList<JournalRecord> records = JournalRows::all();
        if (records.size() != 1 || records.first().kind != JournalRecord::Kind::Calibration)
            return QStringLiteral("%1 records").arg(records.size());
        const JournalRecord &r = records.first();
        return QStringLiteral("%1 %2 %3 %4").arg(r.outcome, r.stepReached).arg(r.faces.size()).arg(QLatin1String(r.saveAcknowledged ? "saved" : "unsaved"));
    }

    // The newest record: "kind outcome", with its port and product checked.
    QString newestRecord() const
    {
        const QList<JournalRecord> records = JournalRows::all();
        if (records.isEmpty())
            return QStringLiteral("no record");
        const JournalRecord &r = records.first();
        if (r.port != sim.path() || r.productRow != 4)
            return QStringLiteral("record of %1, product %2").arg(r.port).arg(r.productRow);
        return JournalRecord::kindName(r.kind) + QLatin1Char(' ') + r.outcome;
    }

    QPushButton *checkButton() const { return probe->widget<QPushButton>("checkButton"); }
    QString checkWords() const { return probe->widget<QLabel>("checkWords")->text(); }

    // The check's table as shown: one "name|value|limits|mark" per row; none while it is hidden.
    QStringList checkTable() const
    {
        QStringList rows;
        auto *view = probe->widget<QTableView>("checkTable");
        if (view->isHidden())
            return rows;
        for (int row = 0; row < view->model()->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < view->model()->columnCount(); ++column)
                cells.append(view->model()->index(row, column).data().toString());
            rows.append(cells.join(QLatin1Char('|')));
        }
        return rows;
    }

    // How a check-failed calibration's words begin: the first figure the table marks ✗, its value.
    QString failureWordsOfTable() const
    {
        for (const QString &row : checkTable()) {
            const QStringList cells = row.split(QLatin1Char('|'));
            if (cells.value(3) == QStringLiteral("✗"))
                return QStringLiteral("检查未通过：%1：%2（限值 ").arg(cells[0], cells[1]);
        }
        return QStringLiteral("no figure marked ✗");
    }

    void gimbalConnectsAndTheReadoutMoves()
    {
        QVERIFY(connectTo(kFast));
        QTRY_COMPARE_WITH_TIMEOUT(probe->status(), QStringLiteral("已连接！"), kConnectWaitMs);
        QVERIFY(probe->shows(ResourcePaths::connectPicture));
        // Lying level and still: about 1 g on Z and in the modulus.
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(probe->readout("doubleSpinBox_Az") - 1.0) < 0.1, kConnectWaitMs);
        QTRY_VERIFY(qAbs(probe->readout("doubleSpinBox_Amod") - 1.0) < 0.1);
        QVERIFY(qAbs(probe->readout("doubleSpinBox_Ax")) < 0.1);
        // Ready, linked, open and measuring: calibration may start.
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);

        // Closing the port disables the button at once and the link is reported lost.
        QTest::mouseClick(probe->openButton(), Qt::LeftButton);
        QVERIFY(!probe->calibrateButton()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(probe->status(), QStringLiteral("连接已断开！"), kConnectWaitMs);
        QVERIFY(probe->shows(ResourcePaths::disconnectPicture));
        QCOMPARE(probe->stepBox()->title(), QStringLiteral("步骤"));
    }

    void fullRunWalksThroughTheChosenModelsPictures()
    {
        QVERIFY(connectTo(QStringList(kFast) << QStringLiteral("--user"), 6)); // K5-Birch
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
        QTest::mouseClick(probe->calibrateButton(), Qt::LeftButton);
        QCOMPARE(probe->status(), QStringLiteral("请按步骤完成操作！"));
        QVERIFY(!probe->calibrateButton()->isEnabled());

        for (int face = 1; face <= 6; ++face) {
            QTRY_COMPARE_WITH_TIMEOUT(probe->stepBox()->title(), QStringLiteral("步骤 %1").arg(face), kRunWaitMs);
            QVERIFY2(probe->shows(ResourcePaths::stepPicture(QStringLiteral("birch"), face)), qPrintable(QString::number(face)));
            // Beside the picture, in words: where the user is and how to place the gimbal.
            QCOMPARE(probe->widget<QLabel>("stepWords")->text(), kFaceWords[face - 1]);
        }
        QTRY_COMPARE_WITH_TIMEOUT(probe->status(), QStringLiteral("校准完成！"), kRunWaitMs);
        QVERIFY(probe->shows(ResourcePaths::successPicture));
        QCOMPARE(probe->widget<QLabel>("stepWords")->text(), QString());

        // Exactly this sequence reached the gimbal (profile of row 6: mode 0x0009, command 0x0010).
        const QStringList expected = {
            "W 0009 0002", "C C004 55AA", "W 0010 0000", "W 0010 0001", "W 0010 0002", "W 0010 0003",
            "W 0010 0004", "W 0010 0005", "W 0010 0006", "W 0010 0007", "W 0010 0008", "W 0010 0000",
            "W 0009 0000", "C C005 A151",
        };
        QTRY_COMPARE(sim.requestedWrites(), expected);
        QCOMPARE(onlyCalibrationRecord(), QStringLiteral("success check 6 saved"));
        const JournalRecord record = JournalRows::all().first();
        QCOMPARE(record.productRow, 6);
        QCOMPARE(record.port, sim.path());
        // Each face is taken still: the acceleration measured is gravity alone, about 1 g.
        for (const std::array<double, 3> &face : record.faces)
            QVERIFY(qAbs(std::hypot(face[0], face[1], face[2]) - 1.0) < 0.2);
        // Finished: the button comes back by itself while the gimbal stays ready.
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
    }

    void solveFailureShowsTheFailPicture()
    {
        QVERIFY(connectTo(QStringList(kFast) << QStringLiteral("--user") << QStringLiteral("--solve-fails")));
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
        QTest::mouseClick(probe->calibrateButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(probe->status(), QStringLiteral("校准失败，请重新校准！"), kRunWaitMs);
        QVERIFY(probe->shows(ResourcePaths::failPicture));
        QVERIFY(!sim.writes().contains(QStringLiteral("C C005 A151")));
        QTRY_COMPARE(onlyCalibrationRecord(), QStringLiteral("step-failed solve 6 unsaved"));
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
    }

    void lostLinkEndsTheRun()
    {
        QVERIFY(connectTo(kFast));
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
        QTest::mouseClick(probe->calibrateButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(probe->stepBox()->title(), QStringLiteral("步骤 1"), kRunWaitMs);

        // The gimbal stops answering while the run waits for it to be turned.
        session.signalSimulator(SIGSTOP);
        QTRY_COMPARE_WITH_TIMEOUT(probe->stepBox()->title(), QStringLiteral("步骤"), kConnectWaitMs);
        QCOMPARE(probe->widget<QLabel>("stepWords")->text(), QString());
        QVERIFY(!probe->calibrateButton()->isEnabled());

        // Back again: the run is over, so the button returns instead of staying locked.
        session.signalSimulator(SIGCONT);
        QTRY_COMPARE_WITH_TIMEOUT(probe->status(), QStringLiteral("已连接！"), kConnectWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
    }

    void productChangeAbandonsTheRun()
    {
        QVERIFY(connectTo(kFast));
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
        QTest::mouseClick(probe->calibrateButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(probe->stepBox()->title(), QStringLiteral("步骤 1"), kRunWaitMs);

        probe->products()->setCurrentIndex(1); // another register profile: the gimbal no longer answers
        QTRY_COMPARE_WITH_TIMEOUT(probe->status(), QStringLiteral("校准失败，请重新校准！"), kConnectWaitMs);
        QVERIFY(probe->shows(ResourcePaths::failPicture));
        QTRY_COMPARE(onlyCalibrationRecord(), QStringLiteral("cancelled face-1 0 unsaved"));
    }

    void closingWhileWaitingForPlacementIsPrompt()
    {
        QVERIFY(connectTo(kFast));
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
        QTest::mouseClick(probe->calibrateButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(probe->stepBox()->title(), QStringLiteral("步骤 1"), kRunWaitMs);
        QVERIFY(session.closeWindow() < 5000);
        // The engine says nothing when stopped mid-run: the window records it as cancelled.
        QCOMPARE(onlyCalibrationRecord(), QStringLiteral("cancelled face-1 0 unsaved"));
    }

    void closingWhileTheGimbalIsSilentIsPrompt()
    {
        // The service is always inside the retries of an unanswered poll here.
        QVERIFY(connectTo(QStringList(kFast) << QStringLiteral("--silent")));
        QVERIFY(session.closeWindow() < 5000);
    }

    void closingDuringTheSaveWaitIsPrompt()
    {
        QVERIFY(connectTo(QStringList(kFast) << QStringLiteral("--user") << QStringLiteral("--no-save-answer")));
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
        QTest::mouseClick(probe->calibrateButton(), Qt::LeftButton);
        // The last write before the save; the save itself is then retried for up to 45 s.
        QTRY_VERIFY_WITH_TIMEOUT(sim.writes().contains(QStringLiteral("W 0009 0000")), kRunWaitMs);
        QVERIFY(session.closeWindow() < 5000);
    }

    void checkButtonFollowsTheLinkAndTheRuns()
    {
        QVERIFY(connectTo(kFast));
        QTRY_VERIFY_WITH_TIMEOUT(checkButton()->isEnabled(), kConnectWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
        // A calibration runs: no check beside it.
        QTest::mouseClick(probe->calibrateButton(), Qt::LeftButton);
        QVERIFY(!checkButton()->isEnabled());
        // The port closed ends the run; opened again, the button returns with the link.
        QTest::mouseClick(probe->openButton(), Qt::LeftButton);
        QVERIFY(!checkButton()->isEnabled());
        probe->open(sim.path());
        // The services were cancelled: a check now would end at once, before the link is back.
        QVERIFY(!checkButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(checkButton()->isEnabled(), kConnectWaitMs);

        // A check runs: neither button starts another thing.
        QTest::mouseClick(checkButton(), Qt::LeftButton);
        QVERIFY(!checkButton()->isEnabled());
        QVERIFY(!probe->calibrateButton()->isEnabled());
        QCOMPARE(probe->stepBox()->title(), QStringLiteral("检查"));
        // The firmware tab has no Check button, and going there cancels the check.
        probe->widget<QTabWidget>("tabWidget")->setCurrentIndex(1);
        QVERIFY(checkButton()->isHidden());
        QTRY_COMPARE_WITH_TIMEOUT(newestRecord(), QStringLiteral("check cancelled"), kConnectWaitMs);
        probe->widget<QTabWidget>("tabWidget")->setCurrentIndex(0);
        QVERIFY(!checkButton()->isHidden());
        // Back on the runtime link, which answers again before a check could measure anything.
        QVERIFY(!checkButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(checkButton()->isEnabled(), kConnectWaitMs);
    }

    void aLimitsFileWithAMistakeIsSaidAndNothingChecked()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("limits.conf"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("tilt = 0 8\ntlit = 0 8\n");
        file.close();
        qputenv("VELMORA_LIMITS_FILE", path.toLocal8Bit());

        QVERIFY(connectTo(kFast));
        QTRY_VERIFY_WITH_TIMEOUT(checkButton()->isEnabled(), kConnectWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
        // Neither the check nor a calibration (whose check it would judge) starts.
        for (QPushButton *button : {checkButton(), probe->calibrateButton()}) {
            QTest::mouseClick(button, Qt::LeftButton);
            const QString said = QStringLiteral("限值文件有误，没有检查：%1:2:").arg(path);
            QVERIFY2(checkWords().startsWith(said), qPrintable(checkWords()));
            QVERIFY(probe->status().startsWith(said));
            QVERIFY(checkButton()->isEnabled());
            QVERIFY(probe->calibrateButton()->isEnabled());
        }
        QVERIFY(session.closeWindow() < 5000);
        QCOMPARE(JournalRows::all().size(), 0);
    }

    void closingDuringACheckRecordsItCancelled()
    {
        QVERIFY(connectTo(QStringList(kFast) << QStringLiteral("--calibrated")));
        QTRY_VERIFY_WITH_TIMEOUT(checkButton()->isEnabled(), kConnectWaitMs);
        QTest::mouseClick(checkButton(), Qt::LeftButton);
        QVERIFY(session.closeWindow() < 5000);
        QCOMPARE(newestRecord(), QStringLiteral("check cancelled"));
        QCOMPARE(JournalRows::all().size(), 1);
    }

    void checkButtonGivesTheVerdict_data()
    {
        QTest::addColumn<QStringList>("simArguments");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("record");
        QTest::addColumn<int>("figures");
        QTest::newRow("uncalibrated") << kFast << QStringLiteral("需要校准") << ResourcePaths::failPicture
                                      << QStringLiteral("check check-failed") << 5;
        QTest::newRow("calibrated") << (QStringList(kFast) << QStringLiteral("--calibrated")) << kLooksGood
                                    << ResourcePaths::successPicture << QStringLiteral("check success") << 5;
        QTest::newRow("never still") << (QStringList(kFast) << QStringLiteral("--calibrated") << QStringLiteral("--imu-fault")
                                                            << QStringLiteral("never-still"))
                                     << QStringLiteral("检查未通过：云台一直没有保持静止")
                                     << ResourcePaths::failPicture << QStringLiteral("check not-still") << 0;
    }

    void checkButtonGivesTheVerdict()
    {
        QFETCH(QStringList, simArguments);
        QFETCH(QString, verdict);
        QFETCH(QString, picture);
        QFETCH(QString, record);
        QFETCH(int, figures);
        QVERIFY(connectTo(simArguments));
        QTRY_VERIFY_WITH_TIMEOUT(checkButton()->isEnabled(), kConnectWaitMs);
        QTest::mouseClick(checkButton(), Qt::LeftButton);
        if (figures == 0) {
            // Waiting for a stillness that never comes: the gimbal on its base, in the picture and in words.
            QTRY_COMPARE_WITH_TIMEOUT(probe->widget<QLabel>("stepWords")->text(),
                                      QStringLiteral("请把云台放在底座上，保持静止"), kConnectWaitMs);
            QVERIFY(probe->shows(ResourcePaths::stepPicture(QLatin1String(ProductTable::row(4).pictureSet), 1)));
        }
        QTRY_COMPARE_WITH_TIMEOUT(checkWords(), verdict, kCheckWaitMs);
        QCOMPARE(probe->status(), verdict);
        QVERIFY(probe->shows(picture));
        const QStringList table = checkTable();
        QCOMPARE(table.size(), figures);
        // Every figure inside its limits exactly when the calibration looks good.
        if (figures > 0)
            QCOMPARE(table.filter(QStringLiteral("|✗")).isEmpty(), verdict == kLooksGood);
        QTRY_COMPARE(newestRecord(), record);
        QCOMPARE(JournalRows::all().size(), 1);
        // The record keeps the figures the table showed.
        QCOMPARE(JournalRows::all().first().measurements.size(), figures);
        QTRY_VERIFY_WITH_TIMEOUT(checkButton()->isEnabled(), kConnectWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
    }

    void calibrationEndsWithItsCheck_data()
    {
        QTest::addColumn<QStringList>("simArguments");
        QTest::addColumn<bool>("passes");
        QTest::newRow("sound") << (QStringList(kFast) << QStringLiteral("--user")) << true;
        QTest::newRow("save not kept") << (QStringList(kFast) << QStringLiteral("--user") << QStringLiteral("--imu-fault")
                                                              << QStringLiteral("save-not-kept"))
                                       << false;
    }

    void calibrationEndsWithItsCheck()
    {
        QFETCH(QStringList, simArguments);
        QFETCH(bool, passes);
        QVERIFY(connectTo(simArguments));
        for (int run = 1; run <= (passes ? 1 : 2); ++run) {
            QTRY_VERIFY_WITH_TIMEOUT(probe->calibrateButton()->isEnabled(), kConnectWaitMs);
            QTest::mouseClick(probe->calibrateButton(), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(probe->status(), passes ? QStringLiteral("校准完成！") : QStringLiteral("校准失败，请重新校准！"), kRunWaitMs);
            QVERIFY(probe->shows(passes ? ResourcePaths::successPicture : ResourcePaths::failPicture));
            QCOMPARE(checkTable().size(), 5);
            if (passes) {
                QCOMPARE(checkWords(), kLooksGood);
                QVERIFY(checkTable().filter(QStringLiteral("|✗")).isEmpty());
                QTRY_COMPARE(onlyCalibrationRecord(), QStringLiteral("success check 6 saved"));
                continue;
            }
            // Saved, but reading wrong: the failing figure with its value and limits, then what to do;
            // a second failure of the same gimbal points at its sensor.
            QVERIFY2(checkWords().startsWith(failureWordsOfTable()), qPrintable(checkWords()));
            QVERIFY2(checkWords().endsWith(QLatin1Char('\n') + (run == 1 ? kFirstHint : kSensorHint)), qPrintable(checkWords()));
            if (run == 1) {
                QTRY_COMPARE(onlyCalibrationRecord(), QStringLiteral("check-failed check 6 saved"));
                QCOMPARE(JournalRows::all().first().measurements.size(), 5);
            }
        }
        QTRY_VERIFY_WITH_TIMEOUT(checkButton()->isEnabled(), kConnectWaitMs);
    }
};

QTEST_MAIN(MainWindowCalibrationTest)
#include "tst_mainwindow_calibration.moc"
