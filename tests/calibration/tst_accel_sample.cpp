// The stillness and placement checks the calibration applies to accelerometer samples.
#include "AccelSample.h"
#include "RegisterTable.h"

#include <QTest>

class AccelSampleTest : public QObject
{
    Q_OBJECT

private slots:
    void motionBoundIsInclusive_data()
    {
        QTest::addColumn<int>("rawMotion");
        QTest::addColumn<bool>("still");
        QTest::newRow("at rest") << 0 << true;
        QTest::newRow("+0.30") << 30 << true;
        QTest::newRow("-0.30") << -30 << true;
        QTest::newRow("+0.31") << 31 << false;
        QTest::newRow("-0.31") << -31 << false;
    }

    void motionBoundIsInclusive()
    {
        QFETCH(int, rawMotion);
        QFETCH(bool, still);
        QCOMPARE(AccelSample::fromRaw(0, 0, 4096, int16_t(rawMotion)).isStill(), still);
    }

    void gravityBoundIsInclusive_data()
    {
        QTest::addColumn<int>("rawZ");
        QTest::addColumn<bool>("still");
        QTest::newRow("0.75 g") << 3072 << true;
        QTest::newRow("1.25 g") << 5120 << true;
        QTest::newRow("just under 0.75 g") << 3071 << false;
        QTest::newRow("just over 1.25 g") << 5121 << false;
        QTest::newRow("free fall") << 0 << false;
    }

    void gravityBoundIsInclusive()
    {
        QFETCH(int, rawZ);
        QFETCH(bool, still);
        QCOMPARE(AccelSample::fromRaw(0, 0, int16_t(rawZ), 0).isStill(), still);
    }

    void magnitudeCombinesAllAxes()
    {
        // 0.6 g and 0.8 g on two axes: each alone is far from 1 g, together exactly 1 g.
        const AccelSample sample = AccelSample::fromRaw(2458, 0, -3277, 0);
        QVERIFY(qAbs(sample.amod - 1.0f) < 1e-3f);
        QVERIFY(sample.isStill());
    }

    void placementNeedsEveryAxisWithinReach_data()
    {
        QTest::addColumn<int>("face");
        QTest::addColumn<int>("gravityShortBy");
        QTest::addColumn<int>("crossOffset");
        QTest::addColumn<bool>("placed");
        // 1228 counts is 0.2998 g off the target, 1229 counts 0.3005 g. A gravity axis that is
        // short needs some cross component to keep the magnitude near 1 g.
        for (int face = 1; face <= 6; ++face) {
            QTest::addRow("face %d exact", face) << face << 0 << 0 << true;
            QTest::addRow("face %d cross 0.2998 g", face) << face << 0 << 1228 << true;
            QTest::addRow("face %d cross 0.3005 g", face) << face << 0 << 1229 << false;
            QTest::addRow("face %d cross -0.3005 g", face) << face << 0 << -1229 << false;
            QTest::addRow("face %d gravity short 0.2998 g", face) << face << 1228 << 1228 << true;
            QTest::addRow("face %d gravity short 0.3005 g", face) << face << 1229 << 1228 << false;
        }
    }

    void placementNeedsEveryAxisWithinReach()
    {
        QFETCH(int, face);
        QFETCH(int, gravityShortBy);
        QFETCH(int, crossOffset);
        QFETCH(bool, placed);
        const FaceTarget &target = faceTargets[size_t(face - 1)];
        const int gravityAxis = (face - 1) / 2;
        const int crossAxis = (gravityAxis + 1) % 3;
        const int sign = face % 2 ? 1 : -1;
        int raw[3] = {0, 0, 0};
        raw[gravityAxis] = sign * (4096 - gravityShortBy);
        raw[crossAxis] = crossOffset;
        const AccelSample sample =
            AccelSample::fromRaw(int16_t(raw[0]), int16_t(raw[1]), int16_t(raw[2]), 0);
        QCOMPARE(sample.isPlacedAt(target), placed);
        // A sample placed at one face is never placed at another.
        for (int other = 1; other <= 6; ++other) {
            if (other != face)
                QVERIFY(!sample.isPlacedAt(faceTargets[size_t(other - 1)]));
        }
    }

    void placementAlsoNeedsStillness()
    {
        const FaceTarget &faceOne = faceTargets[0];
        QVERIFY(AccelSample::fromRaw(4096, 0, 0, 30).isPlacedAt(faceOne));
        QVERIFY(!AccelSample::fromRaw(4096, 0, 0, 31).isPlacedAt(faceOne));
        // Every axis within reach of face 1, but 1.37 g in all: shaken, not resting.
        QVERIFY(!AccelSample::fromRaw(4096 + 1228, 1228, 1228, 0).isPlacedAt(faceOne));
    }

    void registersAreReadAsSignedWords()
    {
        registerTable[accX].value.store(0xF000);  // -4096: -1 g
        registerTable[accY].value.store(0x0000);
        registerTable[accZ].value.store(0x0800);  // 2048: 0.5 g
        registerTable[motion].value.store(0xFFE2); // -30: -0.3
        const AccelSample sample = AccelSample::fromRegisters();
        QCOMPARE(sample.ax, -1.0f);
        QCOMPARE(sample.ay, 0.0f);
        QCOMPARE(sample.az, 0.5f);
        QCOMPARE(sample.motion, -0.3f);
        clearRegisterValues();
    }
};

QTEST_GUILESS_MAIN(AccelSampleTest)
#include "tst_accel_sample.moc"
