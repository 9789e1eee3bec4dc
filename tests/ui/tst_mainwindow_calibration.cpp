// End to end: the window, the real serial path and the simulator process, through a calibration.
#include "IsolatedSettings.h"
#include "JournalRows.h"
#include "SimulatedSession.h"

#include <QLabel>

namespace {

constexpr int kConnectWaitMs = 10000;
// A full run with the simulated user at the test's time scale, with room for a busy machine.
constexpr int kRunWaitMs = 90000;

// Device delays shortened so that a run takes seconds, not minutes.
const QStringList kFast = {QStringLiteral("--time-scale"), QStringLiteral("0.3")};

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

    void cleanup() { session.end(); }

    // The only record in the journal: "outcome step faces saved", or what went wrong.
    static QString onlyCalibrationRecord()
    {
        const QList<JournalRecord> records = JournalRows::all();
        if (records.size() != 1 || records.first().kind != JournalRecord::Kind::Calibration)
            return QStringLiteral("%1 records").arg(records.size());
        const JournalRecord &r = records.first();
        return QStringLiteral("%1 %2 %3 %4").arg(r.outcome, r.stepReached).arg(r.faces.size()).arg(QLatin1String(r.saveAcknowledged ? "saved" : "unsaved"));
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
};

QTEST_MAIN(MainWindowCalibrationTest)
#include "tst_mainwindow_calibration.moc"
