// The check's figures as the calibration tab shows them: each value against its limits with its
// mark, and the words of a calibration whose check did not pass.
#include "CheckFigures.h"

#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(CheckMeasurement)

namespace {

CheckMeasurement measured(const char *name, double value, double low, double high, const char *unit)
{
    return {QLatin1String(name), value, low, high, QLatin1String(unit)};
}

// A calibrated gimbal's figures, with `bad` (if any) replaced.
CheckOutcome figures(const CheckMeasurement &bad = {})
{
    CheckOutcome check;
    check.reason = CheckOutcome::Passed;
    check.measurements = {measured("accel_norm", 1.001, 0.97, 1.03, "g"), measured("accel_noise", 0.0021, 0, 0.01, "g"),
                          measured("gyro_bias", 0.08, 0, 0.5, "deg/s"), measured("gyro_noise", 0.05, 0, 0.3, "deg/s"),
                          measured("tilt", 0.4, 0, 20, "deg")};
    for (CheckMeasurement &m : check.measurements) {
        if (m.name == bad.name)
            m = bad;
    }
    if (check.firstFailing())
        check.reason = CheckOutcome::Failed;
    return check;
}

const QString kFirstHint = QStringLiteral("请把云台放在稳固、水平的表面上重新校准；如果再次检查仍未通过，可能是传感器故障。");
const QString kSensorHint = QStringLiteral("这个云台的检查再次没有通过：传感器可能有问题。");

} // namespace

class CheckFiguresTest : public QObject
{
    Q_OBJECT

private slots:
    void eachFigureReadsAgainstItsLimits_data()
    {
        QTest::addColumn<CheckMeasurement>("m");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("limits");
        QTest::addColumn<QString>("mark");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("norm inside") << measured("accel_norm", 0.9984, 0.97, 1.03, "g") << "0.998 g" << "0.97 – 1.03 g" << "✓";
        QTest::newRow("norm on its high limit") << measured("accel_norm", 1.03, 0.97, 1.03, "g") << "1.030 g" << "0.97 – 1.03 g" << "✓";
        QTest::newRow("norm below") << measured("accel_norm", 0.93, 0.97, 1.03, "g") << "0.930 g" << "0.97 – 1.03 g" << "✗";
        QTest::newRow("accel noise above") << measured("accel_noise", 0.0123, 0, 0.01, "g") << "0.012 g" << "≤ 0.01 g" << "✗";
        QTest::newRow("gyro bias above") << measured("gyro_bias", 0.73, 0, 0.5, "deg/s") << "0.73 °/s" << "≤ 0.5 °/s" << "✗";
        QTest::newRow("tilt inside") << measured("tilt", 2.26, 0, 20, "deg") << "2.3 °" << "≤ 20 °" << "✓";
        QTest::newRow("no number") << measured("gyro_noise", nan, 0, 0.3, "deg/s") << "— °/s" << "≤ 0.3 °/s" << "✗";
    }

    void eachFigureReadsAgainstItsLimits()
    {
        QFETCH(CheckMeasurement, m);
        QFETCH(QString, value);
        QFETCH(QString, limits);
        QFETCH(QString, mark);
        QCOMPARE(CheckFigures::value(m), value);
        QCOMPARE(CheckFigures::limits(m), limits);
        QCOMPARE(CheckFigures::mark(m), mark);
    }

    void theTableHasARowPerMeasurementInOrder()
    {
        QStandardItemModel model;
        QTableView view;
        CheckFigures::setUp(&view, &model);
        CheckFigures::show(&model, figures(measured("gyro_bias", 0.9, 0, 0.5, "deg/s")));
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.columnCount(), 4);
        const QStringList names = {"重力读数", "加速度计噪声", "陀螺仪零偏", "陀螺仪噪声", "倾斜"};
        for (int row = 0; row < 5; ++row) {
            QCOMPARE(model.item(row, 0)->text(), names[row]);
            QCOMPARE(model.item(row, 3)->text(), QString::fromUtf8(row == 2 ? "✗" : "✓"));
        }
        // A second check replaces the rows; one that measured nothing leaves none.
        CheckFigures::show(&model, CheckOutcome{});
        QCOMPARE(model.rowCount(), 0);
    }

    void aFailedCalibrationCheckNamesTheFailingFigure_data()
    {
        QTest::addColumn<CheckOutcome>("check");
        QTest::addColumn<bool>("again");
        QTest::addColumn<QString>("words");
        const CheckOutcome biased = figures(measured("gyro_bias", 0.73, 0, 0.5, "deg/s"));
        QTest::newRow("first failure") << biased << false << "检查未通过：陀螺仪零偏：0.73 °/s（限值 0 至 0.5 °/s）\n" + kFirstHint;
        QTest::newRow("second failure") << biased << true << "检查未通过：陀螺仪零偏：0.73 °/s（限值 0 至 0.5 °/s）\n" + kSensorHint;
        CheckOutcome twoBad = figures(measured("tilt", 35, 0, 20, "deg"));
        twoBad.measurements[0].value = 1.2;
        QTest::newRow("the first of two") << twoBad << false
                                          << "检查未通过：重力读数：1.200 g（限值 0.97 至 1.03 g）\n" + kFirstHint;
        CheckOutcome unmeasured;
        unmeasured.reason = CheckOutcome::NotStill;
        QTest::newRow("never still") << unmeasured << false
                                     << "检查未通过：云台一直没有保持静止\n" + kFirstHint;
    }

    void aFailedCalibrationCheckNamesTheFailingFigure()
    {
        QFETCH(CheckOutcome, check);
        QFETCH(bool, again);
        QFETCH(QString, words);
        QCOMPARE(CheckFigures::calibrationCheckFailed(check, again), words);
    }

    void theVerdictFollowsTheFigures()
    {
        QCOMPARE(CheckFigures::verdict(figures()), QStringLiteral("校准良好"));
        QCOMPARE(CheckFigures::verdict(figures(measured("accel_noise", 0.05, 0, 0.01, "g"))), QStringLiteral("需要校准"));
    }
};

QTEST_MAIN(CheckFiguresTest)
#include "tst_check_figures.moc"
