// Drives the check of the real calibration thread against a scripted gimbal: on demand and
// after a calibration's save, with the ends a lost link, a cancel and a moving gimbal bring.
#include "CalibrateService.h"
#include "ScriptedGimbal.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <memory>

class CalibrateCheckTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CalibrateService> service;
    std::unique_ptr<ScriptedGimbal> gimbal;

private slots:
    void init()
    {
        service = std::make_unique<CalibrateService>();
        gimbal = std::make_unique<ScriptedGimbal>(service.get());
        service->setCheckLimits(CheckLimits::defaults(4)); // 16.4 counts per deg/s
        service->onConnected(true);
        service->start();
    }

    void cleanup()
    {
        service.reset();
        gimbal.reset();
    }

    void checkOnDemandEndsAsTheGimbalIs_data()
    {
        QTest::addColumn<QString>("gimbalState");
        QTest::addColumn<int>("reason");
        QTest::addColumn<QString>("failing");
        QTest::newRow("still on face 5") << "sound" << int(CheckOutcome::Passed) << "";
        QTest::newRow("gyroscope drifting 1.2 deg/s") << "drift" << int(CheckOutcome::Failed) << "gyro_bias";
        QTest::newRow("resting between faces") << "between" << int(CheckOutcome::Failed) << "tilt";
        QTest::newRow("registers never answered again") << "stale" << int(CheckOutcome::NotStill) << "";
        QTest::newRow("never still (10 s)") << "moving" << int(CheckOutcome::NotStill) << "";
        QTest::newRow("link lost while sampling") << "link" << int(CheckOutcome::LinkLost) << "";
        QTest::newRow("cancelled while sampling") << "cancel" << int(CheckOutcome::Cancelled) << "";
    }

    void checkOnDemandEndsAsTheGimbalIs()
    {
        QFETCH(QString, gimbalState);
        QFETCH(int, reason);
        QFETCH(QString, failing);
        gimbal->placeAt(5);
        if (gimbalState == "drift")
            gimbal->setRate(20, 0, 0);
        else if (gimbalState == "between")
            gimbal->placeAt(0);
        else if (gimbalState == "stale")
            gimbal->setPolling(false);
        else if (gimbalState == "moving")
            gimbal->setMotion(100);
        QSignalSpy measuring(service.get(), &CalibrateService::checkMeasuring);
        QSignalSpy finished(service.get(), &CalibrateService::checkFinished);
        QElapsedTimer sinceStill;
        sinceStill.start();
        service->onCheck();
        if (gimbalState == "link" || gimbalState == "cancel") {
            QVERIFY(measuring.wait(2000));
            sinceStill.start();
            if (gimbalState == "link")
                service->onConnected(false);
            else
                service->onCancel();
            QVERIFY(finished.wait(500));
            QVERIFY(sinceStill.elapsed() < 200); // at once, not after the two seconds
        } else {
            QVERIFY(finished.wait(12000));
        }
        const CheckOutcome outcome = finished.first().first().value<CheckOutcome>();
        QCOMPARE(int(outcome.reason), reason);
        const CheckMeasurement *first = outcome.firstFailing();
        QCOMPARE(first ? first->name : QString(), failing);
        if (reason == CheckOutcome::Passed || reason == CheckOutcome::Failed) {
            QVERIFY(outcome.samples >= 10);
            QCOMPARE(outcome.measurements.size(), 5);
            // Two seconds of samples and the verdict: well inside three seconds.
            QVERIFY2(sinceStill.elapsed() < 3000, qPrintable(QString::number(sinceStill.elapsed())));
        }
        if (gimbalState == "sound")
            QCOMPARE(outcome.face, 5);
        // A check writes nothing to the gimbal.
        QVERIFY(gimbal->requests().isEmpty());
    }

    // The check after the save decides how the run ends; a cancel during it keeps its meaning.
    void checkAfterSaveDecidesTheRun_data()
    {
        QTest::addColumn<QString>("during");
        QTest::addColumn<int>("reason");
        QTest::addColumn<int>("checkReason");
        QTest::newRow("sound") << "" << int(CalibrationOutcome::Success) << int(CheckOutcome::Passed);
        QTest::newRow("drift") << "drift" << int(CalibrationOutcome::CheckFailed) << int(CheckOutcome::Failed);
        QTest::newRow("cancel") << "cancel" << int(CalibrationOutcome::Cancelled) << int(CheckOutcome::Cancelled);
    }

    void checkAfterSaveDecidesTheRun()
    {
        QFETCH(QString, during);
        QFETCH(int, reason);
        QFETCH(int, checkReason);
        if (during == "drift")
            gimbal->setRate(0, 0, 20);
        QSignalSpy measuring(service.get(), &CalibrateService::checkMeasuring);
        QSignalSpy outcomes(service.get(), &CalibrateService::calibrationOutcome);
        QSignalSpy finished(service.get(), &CalibrateService::calibrationFinishd);
        service->onStart();
        QVERIFY(measuring.wait(15000));
        if (during == "cancel")
            service->onCancel();
        QVERIFY(finished.wait(3000));
        QCOMPARE(finished.first().first().toBool(), reason == CalibrationOutcome::Success);
        const CalibrationOutcome outcome = outcomes.first().first().value<CalibrationOutcome>();
        QCOMPARE(int(outcome.reason), reason);
        QCOMPARE(outcome.step, 13);
        QVERIFY(outcome.saveAcknowledged);
        QVERIFY(outcome.check.has_value());
        QCOMPARE(int(outcome.check->reason), checkReason);
        if (during != "cancel")
            QCOMPARE(outcome.check->face, 6); // where the gyroscope step left it
    }

    void stopEndsACheckPromptly()
    {
        QSignalSpy measuring(service.get(), &CalibrateService::checkMeasuring);
        QSignalSpy finished(service.get(), &CalibrateService::checkFinished);
        gimbal->placeAt(1);
        service->onCheck();
        QVERIFY(measuring.wait(2000));
        service->stop();
        QVERIFY(service->wait(200));
        QCOMPARE(finished.size(), 0);
    }
};

QTEST_GUILESS_MAIN(CalibrateCheckTest)
#include "tst_calibrate_check.moc"
