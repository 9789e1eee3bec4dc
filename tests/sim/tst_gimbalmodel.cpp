// The simulated gimbal's registers, sensors and calibration behaviour, on a stepped clock.
#include "GimbalModel.h"
#include "StarsCommands.h"

#include <QTest>

namespace {

GimbalSettings settings(int profile = 2, bool user = false)
{
    GimbalSettings s;
    s.profile = profile;
    s.simulatedUser = user;
    return s;
}

// Drives a model as the host would: writes, then reads after time has passed.
struct Driver
{
    explicit Driver(const GimbalSettings &s) : model(s) {}

    void calib(uint16_t command) { model.writeRegister(model.registerCode(calibCommand), command); }
    void after(qint64 ms) { now += ms; model.advanceTo(now); }
    int16_t read(RegisterIndex index) { return int16_t(model.readRegister(model.registerCode(index))); }
    uint16_t status() { return uint16_t(read(calibStatus)); }
    void lieIn(int face) { model.imu().setOrientation(GimbalModel::faceOrientation(face)); }

    GimbalModel model;
    qint64 now = 0;
};

} // namespace

class GimbalModelTest : public QObject
{
    Q_OBJECT

private slots:
    void reportsReadyFromTheStart()
    {
        Driver d(settings());
        QVERIFY(d.status() & GimbalModel::ReadyBit);
        d.model.setReady(false);
        QVERIFY(!(d.status() & GimbalModel::ReadyBit));
    }

    void workModeFollowsAWriteAfterAShortDelay()
    {
        Driver d(settings());
        d.model.writeRegister(d.model.registerCode(workMode), 2);
        QCOMPARE(d.read(workMode), int16_t(0));
        d.after(500);
        QCOMPARE(d.read(workMode), int16_t(2));
        d.model.writeRegister(d.model.registerCode(workMode), 0);
        d.after(500);
        QCOMPARE(d.read(workMode), int16_t(0));
    }

    void sensorsFollowOrientationAtTheProductScale_data()
    {
        QTest::addColumn<int>("profile");
        QTest::addColumn<double>("gyroScale");
        QTest::newRow("profile 0") << 0 << 32.8;
        QTest::newRow("profile 1") << 1 << 32.8;
        QTest::newRow("profile 2") << 2 << 16.4;
    }
    void sensorsFollowOrientationAtTheProductScale()
    {
        QFETCH(int, profile);
        QFETCH(double, gyroScale);
        Driver d(settings(profile));
        d.lieIn(3); // +Y
        for (int i = 0; i < 200; ++i) {
            QVERIFY(qAbs(d.read(accY) - 4096) <= 20);
            QVERIFY(qAbs(d.read(accX)) <= 20 && qAbs(d.read(accZ)) <= 20);
            QVERIFY(qAbs(d.read(motion)) <= 30);
            QVERIFY(qAbs(d.read(gyroX)) <= 0.5 * gyroScale);
        }
        // Shaken: motion well above the stillness limit and a clear rotation rate.
        d.model.imu().setShaking(true);
        for (int i = 0; i < 200; ++i) {
            QVERIFY(qAbs(d.read(motion)) > 30);
            QVERIFY(d.read(gyroX) > 30 * gyroScale);
        }
    }

    void faceIsCapturedOnlyLyingStillInItsOrientation()
    {
        for (int face = 1; face <= 6; ++face) {
            Driver d(settings());
            d.lieIn(face == 1 ? 2 : 1); // a wrong face
            d.calib(uint16_t(face));
            d.after(5000);
            QVERIFY2(!(d.status() & (1 << (face - 1))), "captured in the wrong orientation");

            d.lieIn(face);
            d.model.imu().setShaking(true);
            d.calib(uint16_t(face));
            d.after(5000);
            QVERIFY2(!(d.status() & (1 << (face - 1))), "captured while moving");

            d.model.imu().setShaking(false);
            d.calib(uint16_t(face));
            d.after(1000);
            QCOMPARE(d.status() & GimbalModel::FaceBits, 1 << (face - 1));
        }
    }

    void solveSucceedsAfterSixFacesAndFailsWhenConfiguredOrIncomplete()
    {
        Driver d(settings());
        for (int face = 1; face <= 6; ++face) {
            d.lieIn(face);
            d.calib(uint16_t(face));
            d.after(1000);
        }
        QCOMPARE(d.status() & GimbalModel::FaceBits, 0x3F);
        d.calib(7);
        d.after(500);
        QVERIFY(d.status() & GimbalModel::SolvedBit);
        QVERIFY(!(d.status() & GimbalModel::SolveFailedBit));

        Driver failing(settings());
        failing.model.setSolveFails(true);
        failing.calib(7);
        failing.after(500);
        QVERIFY(failing.status() & GimbalModel::SolveFailedBit);

        Driver incomplete(settings());
        incomplete.calib(7);
        incomplete.after(500);
        QCOMPARE(incomplete.status() & (GimbalModel::SolvedBit | GimbalModel::SolveFailedBit), GimbalModel::SolveFailedBit);
    }

    void clearResetsCalibrationBitsButNotReady()
    {
        Driver d(settings());
        d.lieIn(5);
        d.calib(5);
        d.after(1000);
        d.calib(8);
        d.after(1500);
        QCOMPARE(d.status(), uint16_t(GimbalModel::ReadyBit | GimbalModel::GyroBit | (1 << 4)));
        d.calib(0);
        d.after(500);
        QCOMPARE(d.status(), uint16_t(GimbalModel::ReadyBit));
    }

    void gyroIsCalibratedOnlyWhileStill()
    {
        Driver d(settings());
        d.model.imu().setShaking(true);
        d.calib(8);
        d.after(5000);
        QVERIFY(!(d.status() & GimbalModel::GyroBit));
        d.model.imu().setShaking(false);
        d.model.imu().setOrientation({0.2, 0.1, 0.97}); // any orientation will do
        d.calib(8);
        d.after(5000);
        QVERIFY(d.status() & GimbalModel::GyroBit);
    }

    void timeScaleShortensEveryDelay()
    {
        GimbalSettings fast = settings();
        fast.timeScale = 0.1;
        Driver d(fast);
        d.model.writeRegister(d.model.registerCode(workMode), 2);
        d.lieIn(1);
        d.calib(1);
        d.after(100);
        QCOMPARE(d.read(workMode), int16_t(2));
        QVERIFY(d.status() & 1);
    }

    void commandsAreKnownOnlyWithTheirArguments()
    {
        Driver d(settings());
        QVERIFY(d.model.runCommand(CMD_SAVE, CMD_SAVE_VALUE));
        QVERIFY(d.model.runCommand(CMD_DISABLE, CMD_DISABLE_VALUE));
        QVERIFY(!d.model.runCommand(CMD_SAVE, 0x1234));
        QVERIFY(!d.model.runCommand(0xC006, 0));
        QCOMPARE(d.model.saveCount(), 1);
    }

    void simulatedUserWalksThroughTheFacesAndPutsTheGimbalDown()
    {
        Driver d(settings(2, true));
        d.model.writeRegister(d.model.registerCode(workMode), 2);
        d.after(500);
        d.calib(0);
        d.after(150); // the clear is done; the user is turning the gimbal over
        QVERIFY(!d.model.imu().isStill(d.now));
        for (int face = 1; face <= 6; ++face) {
            d.after(600);
            QVERIFY(d.model.imu().isStill(d.now));
            const int16_t target = face % 2 ? 4096 : -4096;
            const RegisterIndex axis = face <= 2 ? accX : face <= 4 ? accY : accZ;
            QVERIFY2(qAbs(d.read(axis) - target) <= 50, qPrintable(QStringLiteral("face %1").arg(face)));
            d.calib(uint16_t(face));
            d.after(850);
            QVERIFY(d.status() & (1 << (face - 1)));
            QVERIFY2(qAbs(d.read(motion)) > 30, "the user moves on after a capture");
        }
        d.after(600);
        QVERIFY(qAbs(d.read(accZ) - 4096) <= 50); // put down level for the gyroscope
        d.calib(7);
        d.after(300);
        d.calib(8);
        d.after(1100);
        QVERIFY(d.status() & GimbalModel::GyroBit);
        // The tidy-up clear after a complete run does not start the faces again.
        d.calib(0);
        d.after(300);
        QVERIFY(d.model.imu().isStill(d.now));
        QVERIFY(qAbs(d.read(accZ) - 4096) <= 50);
    }
};

QTEST_MAIN(GimbalModelTest)
#include "tst_gimbalmodel.moc"
