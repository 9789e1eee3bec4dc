// Drives the real calibration thread against a scripted gimbal and checks requests, signals and
// debug lines, including failures, a lost link and prompt stopping.
#include "CalibrateService.h"
#include "DebugCapture.h"
#include "ScriptedGimbal.h"

#include <QElapsedTimer>
#include <QTest>
#include <memory>

using Request = ScriptedGimbal::Request;

namespace {

const Request disableRequest{0xC004, 0x55AA, 3000};
const Request saveRequest{0xC005, 0xA151, 3000};

Request commandWrite(uint16_t value)
{
    return {ScriptedGimbal::calibCommandWrite(), value, 100};
}

Request modeWrite(uint16_t value)
{
    return {ScriptedGimbal::workModeWrite(), value, 100};
}

} // namespace

class CalibrateServiceTest : public QObject
{
    Q_OBJECT

private:
    // Debug lines and the service's signals in the order they happened, whichever thread wrote them.
    std::unique_ptr<DebugCapture> capture;
    std::unique_ptr<CalibrateService> service;
    std::unique_ptr<ScriptedGimbal> gimbal;

    QStringList events() const { return capture->lines(); }

    bool waitForEvent(const QString &event, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return events().contains(event); }, timeoutMs);
    }

    void startRun()
    {
        service->onConnected(true);
        service->start();
        service->onStart();
    }

    bool noRequestWithin(int ms)
    {
        const qsizetype before = gimbal->requests().size();
        return !QTest::qWaitFor([&] { return gimbal->requests().size() != before; }, ms);
    }

private slots:
    void init()
    {
        capture.reset(); // one capture at a time
        capture = std::make_unique<DebugCapture>();
        service = std::make_unique<CalibrateService>();
        gimbal = std::make_unique<ScriptedGimbal>(service.get());
        // Direct connections: the entries land in the log in the order the thread emitted them.
        connect(service.get(), &CalibrateService::directionChanged, service.get(),
                [this](int face) { capture->record(QStringLiteral("<direction %1>").arg(face)); },
                Qt::DirectConnection);
        connect(service.get(), &CalibrateService::calibrationFinishd, service.get(),
                [this](bool ok) { capture->record(ok ? "<finished true>" : "<finished false>"); },
                Qt::DirectConnection);
    }

    void cleanup()
    {
        service.reset(); // stops and joins the thread
        gimbal.reset();
        capture.reset();
    }

    void fullRunCalibratesEveryFaceAndSaves()
    {
        startRun();
        QVERIFY(waitForEvent("<finished true>", 15000));

        const QList<Request> expectedRequests{
            modeWrite(2), disableRequest, commandWrite(0),
            commandWrite(1), commandWrite(2), commandWrite(3),
            commandWrite(4), commandWrite(5), commandWrite(6),
            commandWrite(7), commandWrite(8), commandWrite(0),
            modeWrite(0), saveRequest,
        };
        QTRY_COMPARE(gimbal->requests(), expectedRequests);

        const QStringList expectedEvents{
            "connect true", "change mode start", "enter calibration mode ok",
            "<direction 1>", "\"accelerometer 1 ok\"", "<direction 2>", "\"accelerometer 2 ok\"",
            "<direction 3>", "\"accelerometer 3 ok\"", "<direction 4>", "\"accelerometer 4 ok\"",
            "<direction 5>", "\"accelerometer 5 ok\"", "<direction 6>", "\"accelerometer 6 ok\"",
            "\"accelerometer calibration ok\"", "\"gyro calibration ok\"", "imu cr clear ok",
            "exit calibration mode ok", "save data ok", "check success", "<finished true>",
        };
        QTRY_COMPARE(events(), expectedEvents);
        // The run is over: nothing more is sent until the next start.
        QVERIFY(noRequestWithin(200));
    }

    // Only an acknowledgement of this run's own save may end it with success: the one a previous
    // run received, or a late duplicate arriving between runs, must not stand in for it.
    void secondRunNeverReusesAnEarlierSaveAcknowledgement()
    {
        startRun();
        QVERIFY(waitForEvent("<finished true>", 15000));
        const qsizetype firstRun = gimbal->requests().size();
        service->onSaveFinshed(true); // late duplicate of the first run's acknowledgement

        gimbal->saveAnswer.reset(); // the gimbal never acknowledges the second save
        capture->clear();
        service->onStart();
        QVERIFY(waitForEvent("save data error", 15000));
        QCOMPARE(events().mid(events().size() - 2), QStringList({"<finished false>", "save data error"}));
        QVERIFY(!events().contains("<finished true>"));
        // The second run went through every step again, up to its own save.
        QCOMPARE(gimbal->requests().mid(firstRun), gimbal->requests().mid(0, firstRun));
        QVERIFY(noRequestWithin(200));
    }

    void calibrationModeAlreadyActiveSkipsTheModeWrite()
    {
        registerTable[workMode].value.store(2);
        gimbal->userPlacesGimbal = false;
        startRun();
        QVERIFY(waitForEvent("<direction 1>"));
        QCOMPARE(gimbal->requests().value(0), disableRequest);
        QVERIFY(!events().contains("change mode start"));
        QVERIFY(!events().contains("enter calibration mode ok"));
    }

    void startStaysPendingUntilLinkAndReadyBitHold()
    {
        gimbal->setReady(true);
        service->start();
        service->onStart();
        QVERIFY2(noRequestWithin(300), "started with the link down");

        gimbal->setReady(false);
        service->onConnected(true);
        QVERIFY2(noRequestWithin(300), "started while the gimbal was not ready");

        gimbal->setReady(true);
        QTRY_COMPARE_WITH_TIMEOUT(gimbal->requests().value(0), modeWrite(2), 2000);
    }

    void solveOutcomeDecidesTheRun_data()
    {
        QTest::addColumn<ScriptedGimbal::SolveOutcome>("outcome");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("solved") << ScriptedGimbal::SolveOutcome::Solved << true;
        QTest::newRow("solved and failed bits") << ScriptedGimbal::SolveOutcome::SolvedAndFailed
                                                << true;
        QTest::newRow("failed bit alone") << ScriptedGimbal::SolveOutcome::Failed << false;
    }

    void solveOutcomeDecidesTheRun()
    {
        QFETCH(ScriptedGimbal::SolveOutcome, outcome);
        QFETCH(bool, succeeds);
        gimbal->solveOutcome = outcome;
        startRun();
        if (succeeds) {
            QVERIFY(waitForEvent("\"accelerometer calibration ok\""));
            QTRY_VERIFY(gimbal->requests().contains(commandWrite(8)));
        } else {
            QVERIFY(waitForEvent("<finished false>"));
            QCOMPARE(events().mid(events().size() - 2),
                     QStringList({"\"accelerometer calibration error\"", "<finished false>"}));
            QCOMPARE(gimbal->requests().last(), commandWrite(7));
        }
    }

    void setupFailuresEndTheRunAndAllowARestart_data()
    {
        QTest::addColumn<bool>("modeIgnored");
        QTest::addColumn<int>("staleStatus");
        QTest::addColumn<QString>("line");
        QTest::addColumn<Request>("restartRequest");
        QTest::newRow("mode not entered") << true << 0x8000 << "enter calibration mode error" << modeWrite(2);
        // Results left from an earlier run that the clear does not remove.
        QTest::newRow("faces not cleared") << false << 0x803F << "imu cr clear error" << disableRequest;
        QTest::newRow("solve result not cleared") << false << 0x8040 << "imu cr clear error" << disableRequest;
        QTest::newRow("solve failure not cleared") << false << 0x8080 << "imu cr clear error" << disableRequest;
    }

    void setupFailuresEndTheRunAndAllowARestart()
    {
        QFETCH(bool, modeIgnored);
        QFETCH(int, staleStatus);
        QFETCH(QString, line);
        QFETCH(Request, restartRequest);
        registerTable[calibStatus].value.store(uint16_t(staleStatus));
        if (modeIgnored)
            gimbal->modeWritesHonoured = 0;
        else
            gimbal->clearsHonoured = 0;
        startRun();
        QVERIFY(waitForEvent("<finished false>"));
        QCOMPARE(events().mid(events().size() - 2), QStringList({line, "<finished false>"}));

        // The failed run's start request is used up: only a new start runs again, from the top.
        QVERIFY(noRequestWithin(300));
        const qsizetype sent = gimbal->requests().size();
        service->onStart();
        QTRY_VERIFY(gimbal->requests().size() > sent);
        QCOMPARE(gimbal->requests().at(sent), restartRequest);
    }

    void lateFailuresReportBeforeTheirLine_data()
    {
        QTest::addColumn<int>("knob");
        QTest::addColumn<QString>("line");
        QTest::newRow("final clear ignored") << 0 << "imu cr clear error";
        QTest::newRow("mode stays calibration") << 1 << "exit calibration mode error";
        QTest::newRow("save refused") << 2 << "save data error";
    }

    void lateFailuresReportBeforeTheirLine()
    {
        QFETCH(int, knob);
        QFETCH(QString, line);
        if (knob == 0)
            gimbal->clearsHonoured = 1;     // the first clear works, the final one does not
        else if (knob == 1)
            gimbal->modeWritesHonoured = 1; // entering works, leaving does not
        else
            gimbal->saveAnswer = false;
        startRun();
        QVERIFY(waitForEvent(line, 15000));
        QCOMPARE(events().mid(events().size() - 2), QStringList({"<finished false>", line}));
        QVERIFY(!events().contains("<finished true>"));
    }

    void linkLostWhilePlacingFailsTheFace()
    {
        gimbal->userPlacesGimbal = false;
        startRun();
        QVERIFY(waitForEvent("<direction 1>"));
        service->onCancel();
        QVERIFY(waitForEvent("<finished false>"));
        QCOMPARE(events().mid(events().size() - 2),
                 QStringList({"\"accelerometer 1\"", "<finished false>"}));
        QCOMPARE(gimbal->requests().last(), commandWrite(0)); // no face was captured
    }

    void gyroscopeStepWaitsForTheLinkToReturn()
    {
        // The gimbal is moving when the gyroscope step begins, so the step is still waiting
        // for stillness when the link drops.
        gimbal->afterRequest = [this](const Request &request) {
            if (request == commandWrite(7))
                gimbal->setMotion(100);
        };
        startRun();
        QVERIFY(waitForEvent("\"accelerometer calibration ok\""));
        service->onConnected(false);
        QVERIFY(noRequestWithin(200)); // lets the step see the lost link while still shaking
        gimbal->setMotion(0);
        QVERIFY(noRequestWithin(300));
        QVERIFY(!events().contains("<finished false>"));

        service->onConnected(true);
        QVERIFY(waitForEvent("<finished true>", 10000));
        QVERIFY(gimbal->requests().contains(commandWrite(8)));
    }

    // Closing the port, choosing another product or leaving the tab cancels; whatever the link
    // does afterwards, the abandoned run never sends another request, let alone saves.
    void cancelAbandonsTheRunForGood_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("start still pending") << "pending";
        QTest::newRow("gyroscope step waiting for the link") << "gyro";
        QTest::newRow("face step, link back at once") << "face";
    }

    void cancelAbandonsTheRunForGood()
    {
        QFETCH(QString, where);
        if (where == "pending") {
            service->start();
            service->onStart(); // the link is down: the start waits
            QVERIFY(noRequestWithin(100));
            service->onCancel();
        } else if (where == "gyro") {
            gimbal->afterRequest = [this](const Request &request) {
                if (request == commandWrite(7))
                    gimbal->setMotion(100);
            };
            startRun();
            QVERIFY(waitForEvent("\"accelerometer calibration ok\""));
            service->onConnected(false); // a transient drop first: the step waits
            QVERIFY(noRequestWithin(100));
            service->onCancel();
            QVERIFY(waitForEvent("<finished false>"));
            QCOMPARE(events().mid(events().size() - 2),
                     QStringList({"\"gyro calibration error\"", "<finished false>"}));
        } else {
            gimbal->userPlacesGimbal = false;
            startRun();
            QVERIFY(waitForEvent("<direction 1>"));
            // The runtime service announces the link again right after a cancel; the run must
            // not take that for the link it started on.
            service->onCancel();
            service->onConnected(true);
            QVERIFY(waitForEvent("<finished false>"));
        }
        const qsizetype sent = gimbal->requests().size();
        gimbal->setMotion(0);
        gimbal->placeAt(1);
        service->onConnected(true);
        QVERIFY(noRequestWithin(400));
        QCOMPARE(gimbal->requests().size(), sent);
        QVERIFY(!gimbal->requests().contains(saveRequest));
        QVERIFY(!events().contains("<finished true>"));
    }

    // Each wait looks at its condition a fixed number of times, 10 ms apart: a gimbal slower
    // than usual but within that limit must not fail the run, and a wait must not give up early.
    void waitLimitsAllowSlowButNotSilentGimbals_data()
    {
        QTest::addColumn<Request>("slow");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<QString>("failure");
        QTest::newRow("entering calibration mode (0.5 s)") << modeWrite(2) << 300 << 500 << "enter calibration mode error";
        QTest::newRow("capturing a face (5 s)") << commandWrite(1) << 3500 << 5000 << "\"accelerometer 1 error\"";
        QTest::newRow("saving (3.5 s)") << saveRequest << 2500 << 3500 << "save data error";
    }

    void waitLimitsAllowSlowButNotSilentGimbals()
    {
        QFETCH(Request, slow);
        QFETCH(int, delayMs);
        QFETCH(int, limitMs);
        QFETCH(QString, failure);
        gimbal->effectDelayMs = [=](const Request &request) { return request == slow ? delayMs : 15; };
        startRun();
        QVERIFY(waitForEvent("<finished true>", 20000));

        // The same wait with a gimbal that never gets there gives up, and not before its limit.
        service.reset();
        gimbal.reset();
        init();
        if (slow == modeWrite(2))
            gimbal->modeWritesHonoured = 0;
        else if (slow == commandWrite(1))
            gimbal->capturesFaces = false;
        else
            gimbal->saveAnswer.reset();
        startRun();
        QTRY_VERIFY_WITH_TIMEOUT(gimbal->requests().contains(slow), 10000);
        QElapsedTimer sinceRequest;
        sinceRequest.start();
        QVERIFY(waitForEvent(failure, 20000));
        QVERIFY2(sinceRequest.elapsed() >= limitMs - 50, qPrintable(QString::number(sinceRequest.elapsed())));
        QVERIFY(!events().contains("<finished true>"));
    }

    void stopEndsTheThreadPromptly_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("before the loop runs") << "unstarted";
        QTest::newRow("idle") << "idle";
        QTest::newRow("waiting for placement") << "placing";
        QTest::newRow("waiting for the save") << "saving";
    }

    void stopEndsTheThreadPromptly()
    {
        QFETCH(QString, state);
        if (state == "unstarted") {
            service->start();
        } else if (state == "idle") {
            service->start();
            service->onConnected(true);
            QVERIFY(QTest::qWaitFor([&] { return service->isRunning(); }, 2000));
        } else if (state == "placing") {
            gimbal->userPlacesGimbal = false;
            startRun();
            QVERIFY(waitForEvent("<direction 1>"));
        } else {
            gimbal->saveAnswer.reset();
            startRun();
            QTRY_VERIFY_WITH_TIMEOUT(gimbal->requests().contains(saveRequest), 10000);
        }
        service->stop();
        QVERIFY(service->wait(2000));
        QVERIFY(!events().contains("<finished false>"));
    }
};

QTEST_GUILESS_MAIN(CalibrateServiceTest)
#include "tst_calibrate_service.moc"
