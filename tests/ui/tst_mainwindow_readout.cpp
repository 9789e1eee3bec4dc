// The live read-out: scaling by product row, clamping, and when the calibrate button may come back.
#include "FakePortEnumerator.h"
#include "RegisterTable.h"
#include "WindowProbe.h"

namespace {

void setRaw(RegisterIndex index, int16_t value)
{
    registerTable[index].value.store(uint16_t(value));
}

} // namespace

class MainWindowReadoutTest : public QObject
{
    Q_OBJECT

private slots:
    void gyroScaleFollowsTheProductRow_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("shown");
        QTest::newRow("row 2 (K5-Ember)") << 2 << QStringLiteral("10.0");
        QTest::newRow("row 3 (K5-Ember2)") << 3 << QStringLiteral("20.0");
        QTest::newRow("row 0 (2-axis)") << 0 << QStringLiteral("10.0");
        QTest::newRow("row 8 (K5-Aster)") << 8 << QStringLiteral("20.0");
    }

    void gyroScaleFollowsTheProductRow()
    {
        QFETCH(int, row);
        QFETCH(QString, shown);
        MainWindow window(new FakePortEnumerator);
        WindowProbe probe(window);
        // Choosing a product clears the table, so the values are set afterwards.
        probe.products()->setCurrentIndex(row);
        setRaw(gyroX, 328);
        setRaw(gyroY, 0);
        setRaw(gyroZ, 0);
        QTRY_COMPARE(probe.readoutText("doubleSpinBox_Gx"), shown);
        QCOMPARE(probe.readoutText("doubleSpinBox_Gmod"), shown);
    }

    void accelerationInGAndClampedToTheBox()
    {
        MainWindow window(new FakePortEnumerator);
        WindowProbe probe(window);
        setRaw(accX, 0);
        setRaw(accY, 0);
        setRaw(accZ, 4096);
        QTRY_COMPARE(probe.readoutText("doubleSpinBox_Az"), QStringLiteral("1.000"));
        QCOMPARE(probe.readoutText("doubleSpinBox_Amod"), QStringLiteral("1.000"));
        QCOMPARE(probe.readoutText("doubleSpinBox_Ax"), QStringLiteral("0.000"));

        setRaw(accX, 32767);
        setRaw(accY, 32767);
        setRaw(accZ, 32767);
        QTRY_COMPARE(probe.readoutText("doubleSpinBox_Amod"), QStringLiteral("10.000"));
        QCOMPARE(probe.readoutText("doubleSpinBox_Ax"), QStringLiteral("8.000"));

        setRaw(accZ, -4096);
        QTRY_COMPARE(probe.readoutText("doubleSpinBox_Az"), QStringLiteral("-1.000"));
    }

    void buttonStaysDisabledWithoutLinkEvenWhenReady()
    {
        MainWindow window(new FakePortEnumerator);
        WindowProbe probe(window);
        setRaw(calibStatus, int16_t(0x8000));
        setRaw(accZ, 4096);
        // The tick that shows the value has also judged the button, with the gimbal ready.
        QTRY_COMPARE(probe.readoutText("doubleSpinBox_Az"), QStringLiteral("1.000"));
        QVERIFY(!probe.calibrateButton()->isEnabled());
    }

    void cleanup() { clearRegisterValues(); }
};

QTEST_MAIN(MainWindowReadoutTest)
#include "tst_mainwindow_readout.moc"
