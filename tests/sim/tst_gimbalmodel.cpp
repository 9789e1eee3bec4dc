// The simulated gimbal's registers, sensors and calibration behaviour, on a stepped clock.
#include "GimbalModel.h"
#include "StarsCommands.h"

#include <QTest>
#include <algorithm>
#include <cmath>

namespace {

// A gimbal calibrated from the start, so its readings are clean.
GimbalSettings settings(int profile = 2, bool user = false)
{
    GimbalSettings s;
    s.profile = profile;
    s.simulatedUser = user;
    s.calibrated = true;
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

    // The whole procedure in the model: six faces (noting how far any reading misses the face,
    // on an axis or the modulus), solve, gyroscope lying level, clear, save. Returns the status
    // before the clear.
    uint16_t calibrate()
    {
        for (int face = 1; face <= 6; ++face) {
            lieIn(face);
            const Vector3 t = GimbalModel::faceOrientation(face);
            const Vector3 a{read(accX) / 4096.0, read(accY) / 4096.0, read(accZ) / 4096.0};
            worstMiss = std::max({worstMiss, std::abs(a.x - t.x), std::abs(a.y - t.y), std::abs(a.z - t.z),
                                  std::abs(std::hypot(a.x, a.y, a.z) - 1)});
            calib(uint16_t(face));
            after(1000);
        }
        lieIn(5);
        calib(7);
        after(500);
        calib(8);
        after(1500);
        const uint16_t done = status();
        calib(0);
        after(500);
        model.runCommand(CMD_SAVE, CMD_SAVE_VALUE);
        return done;
    }

    // What a check at rest finds, the names of the figures out of their limits: the mean
    // acceleration's modulus off 1 g by 0.02 or more ("norm"), the modulus's spread above 0.01 g
    // ("noise"), the mean rate's modulus above 0.5 deg/s ("bias"), |motion| above the limit ("moving").
    QString wrongFigures()
    {
        double sum = 0, squares = 0, rate[3] = {0, 0, 0};
        int most = 0;
        for (int i = 0; i < 400; ++i) {
            const double a = std::hypot(read(accX), read(accY), read(accZ)) / 4096.0;
            sum += a / 400;
            squares += a * a / 400;
            for (int axis = 0; axis < 3; ++axis)
                rate[axis] += read(RegisterIndex(gyroX + axis)) / 16.4 / 400;
            most = qMax(most, qAbs(int(read(motion))));
        }
        const QStringList wrong{qAbs(sum - 1) >= 0.02 ? "norm" : "", squares - sum * sum > 0.0001 ? "noise" : "",
                                std::hypot(rate[0], rate[1], rate[2]) > 0.5 ? "bias" : "",
                                most > ImuModel::StillMotionLimit ? "moving" : ""};
        return wrong.join(QLatin1Char(' ')).simplified();
    }

    GimbalModel model;
    qint64 now = 0;
    double worstMiss = 0;
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

    void seedPicksTheSensorsErrorsAndTheSolveRemovesThem_data()
    {
        QTest::addColumn<bool>("calibrated");
        QTest::addColumn<bool>("calibrate"); // a full calibration run in the model, then 2 s at rest
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("wrong");
        QTest::newRow("raw") << false << false << int(ImuFault::None) << "norm bias";
        QTest::newRow("calibrated by a run") << false << true << int(ImuFault::None) << "";
        QTest::newRow("started calibrated") << true << false << int(ImuFault::None) << "";
        QTest::newRow("save-not-kept, raw") << false << true << int(ImuFault::SaveNotKept) << "norm bias";
        QTest::newRow("save-not-kept, calibrated") << true << true << int(ImuFault::SaveNotKept) << "";
        QTest::newRow("gyro-drift") << false << true << int(ImuFault::GyroDrift) << "bias";
        QTest::newRow("noisy-accel") << false << true << int(ImuFault::NoisyAccel) << "noise";
        QTest::newRow("never-still") << true << false << int(ImuFault::NeverStill) << "moving";
    }
    void seedPicksTheSensorsErrorsAndTheSolveRemovesThem()
    {
        QFETCH(bool, calibrated);
        QFETCH(bool, calibrate);
        QFETCH(int, fault);
        QFETCH(QString, wrong);
        for (quint32 seed : {1u, 2u, 77u}) {
            GimbalSettings s{2, 1.0, false, false, true, seed, calibrated, ImuFault(fault)};
            Driver d(s);
            const uint16_t bits = GimbalModel::FaceBits | GimbalModel::SolvedBit | GimbalModel::GyroBit;
            QVERIFY(!calibrate || (d.calibrate() & bits) == bits);
            QVERIFY2(d.worstMiss < 0.2, qPrintable(QString::number(d.worstMiss))); // the host's face rule takes 0.25
            d.after(2000);
            QCOMPARE(d.wrongFigures(), wrong);
        }
        // The same seed makes the same gimbal; another seed another one.
        const double x = GimbalModel(GimbalSettings{}).imu().sensorErrors().accelOffset.x;
        QCOMPARE(GimbalModel(GimbalSettings{}).imu().sensorErrors().accelOffset.x, x);
        QVERIFY(GimbalModel(GimbalSettings{2, 1.0, false, false, true, 2}).imu().sensorErrors().accelOffset.x != x);
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
