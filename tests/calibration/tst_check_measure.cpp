// The check's figures on sample sets like those a gimbal gives at rest (seeded, quantised to the
// registers' counts), and the limits file with each kind of mistake.
#include "CheckLimits.h"
#include "CheckMeasure.h"

#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <random>

namespace {

// A gimbal at rest as a recording shows it: gravity along `gravity` (g), uniform noise of
// `accelNoise` g per axis, a rate of `bias` deg/s with `rateNoise` deg/s per axis, `motion`.
struct SampleSet
{
    std::array<double, 3> gravity{0, 0, 1};
    double accelNoise = 0.002;
    std::array<double, 3> bias{0, 0, 0};
    double rateNoise = 0.15;
    double motion = 0;
    int count = 20;
};

constexpr double kGyroCounts = 16.4;

QList<CheckSample> record(const SampleSet &set)
{
    std::mt19937 random(37);
    const auto noise = [&](double amplitude) {
        return std::uniform_real_distribution<double>(-amplitude, amplitude)(random);
    };
    const auto counts = [](double value) { return int16_t(std::lround(value)); };
    QList<CheckSample> samples;
    for (int i = 0; i < set.count; ++i) {
        std::array<int16_t, 3> acc{};
        std::array<int16_t, 3> gyro{};
        for (size_t axis = 0; axis < 3; ++axis) {
            acc[axis] = counts((set.gravity[axis] + noise(set.accelNoise)) * 4096);
            gyro[axis] = counts((set.bias[axis] + noise(set.rateNoise)) * kGyroCounts);
        }
        samples.append(CheckSample::fromRaw(acc, gyro, counts(set.motion * 100), kGyroCounts));
    }
    return samples;
}

SampleSet tilted(double degrees)
{
    const double r = degrees * 3.14159265358979 / 180;
    SampleSet set;
    set.gravity = {0, std::cos(r), std::sin(r)}; // face 3, leaning towards +z
    return set;
}

} // namespace

Q_DECLARE_METATYPE(SampleSet)

class CheckMeasureTest : public QObject
{
    Q_OBJECT

private slots:
    void judgesSampleSets_data()
    {
        QTest::addColumn<SampleSet>("set");
        QTest::addColumn<int>("reason");
        QTest::addColumn<int>("face");
        // The measurement looked at, its expected value and how close it must come.
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("within");

        SampleSet sound;
        QTest::newRow("sound gimbal, face 5") << sound << int(CheckOutcome::Passed) << 5 << "accel_norm" << 1.0 << 0.002;
        SampleSet upsideDown;
        upsideDown.gravity = {-1, 0, 0};
        QTest::newRow("sound gimbal, face 2") << upsideDown << int(CheckOutcome::Passed) << 2 << "gyro_bias" << 0.0 << 0.12;
        QTest::newRow("sound gimbal leaning 5 deg") << tilted(5) << int(CheckOutcome::Passed) << 3 << "tilt" << 5.0 << 0.2;
        SampleSet uncalibrated;
        uncalibrated.gravity = {0.04, -0.03, 1.06}; // offsets and a scale error left in
        QTest::newRow("uncalibrated accelerometer") << uncalibrated << int(CheckOutcome::Failed) << 5 << "accel_norm" << 1.0612 << 0.002;
        SampleSet noisy;
        noisy.accelNoise = 0.05; // a uniform spread of 0.05 has a deviation of 0.029
        QTest::newRow("noisy accelerometer") << noisy << int(CheckOutcome::Failed) << 5 << "accel_noise" << 0.029 << 0.008;
        SampleSet drift;
        drift.bias = {0.6, 0, -0.8};
        QTest::newRow("gyroscope drift") << drift << int(CheckOutcome::Failed) << 5 << "gyro_bias" << 1.0 << 0.05;
        SampleSet shaky;
        shaky.rateNoise = 1.5;
        shaky.count = 40;
        QTest::newRow("noisy gyroscope") << shaky << int(CheckOutcome::Failed) << 5 << "gyro_noise" << 0.5 << 0.2;
        QTest::newRow("resting on no face") << tilted(40) << int(CheckOutcome::Failed) << 3 << "tilt" << 40.0 << 0.2;
        SampleSet moving;
        moving.motion = 1.0;
        QTest::newRow("never still") << moving << int(CheckOutcome::NotStill) << 0 << "" << 0.0 << 0.0;
        SampleSet few;
        few.count = CheckMeasure::MinSamples - 1;
        QTest::newRow("too few samples") << few << int(CheckOutcome::NotStill) << 0 << "" << 0.0 << 0.0;
    }

    void judgesSampleSets()
    {
        QFETCH(SampleSet, set);
        QFETCH(int, reason);
        QFETCH(int, face);
        QFETCH(QString, name);
        QFETCH(double, value);
        QFETCH(double, within);
        const CheckOutcome outcome = CheckMeasure::judge(record(set), CheckLimits::defaults(4));
        QCOMPARE(int(outcome.reason), reason);
        QCOMPARE(outcome.face, face);
        QCOMPARE(outcome.samples, set.count);
        if (reason == CheckOutcome::NotStill) {
            QVERIFY(outcome.measurements.isEmpty());
            return;
        }
        QStringList names;
        for (const CheckMeasurement &m : outcome.measurements)
            names.append(m.name + QLatin1Char(' ') + m.unit);
        QCOMPARE(names, QStringList({"accel_norm g", "accel_noise g", "gyro_bias deg/s", "gyro_noise deg/s", "tilt deg"}));
        const auto measured = std::find_if(outcome.measurements.cbegin(), outcome.measurements.cend(),
                                           [&](const CheckMeasurement &m) { return m.name == name; });
        QVERIFY2(std::fabs(measured->value - value) <= within, qPrintable(QString::number(measured->value)));
        // A failed check names the measurement the set was made to fail, first.
        if (reason == CheckOutcome::Failed)
            QCOMPARE(outcome.firstFailing()->name, name);
    }

    void readsTheLimitsFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("productRow");
        // An empty error: the file is taken, and `tilt` then has this high limit.
        QTest::addColumn<QString>("error");
        QTest::addColumn<double>("tiltHigh");

        QTest::newRow("comments only: the defaults") << "# nothing\n\n   # set\n" << 4 << "" << 10.0;
        const QString sectioned = "tilt = 0 8   # every product\n[product 4]\ntilt = 0 6\n[product 0]\naccel_noise = 0 0.02\n";
        QTest::newRow("a product's section wins") << sectioned << 4 << "" << 6.0;
        QTest::newRow("another product keeps the general line") << sectioned << 0 << "" << 8.0;
        QTest::newRow("unknown name") << "tilt = 0 8\ntlit = 0 8\n" << 4 << ":2: unknown measurement \"tlit\"" << 0.0;
        QTest::newRow("unknown product") << "[product 9]\ntilt = 0 8\n" << 4 << ":1: unknown product \"9\"" << 0.0;
        QTest::newRow("not a section") << "[delta]\n" << 4 << ":1: a section is written [product ROW]" << 0.0;
        QTest::newRow("low above high") << "tilt = 9 8\n" << 4 << ":1: tilt: low 9 is above high 8" << 0.0;
        QTest::newRow("not a number") << "\ntilt = 0 ten\n" << 4 << ":2: tilt: \"ten\" is not a number" << 0.0;
        QTest::newRow("infinite") << "tilt = 0 inf\n" << 4 << ":1: tilt: \"inf\" is not a number" << 0.0;
        QTest::newRow("duplicate") << "tilt = 0 8\ngyro_bias = 0 1\ntilt = 0 9\n" << 4 << ":3: tilt is set twice" << 0.0;
        QTest::newRow("duplicate in another product's section") << "[product 2]\ntilt = 0 8\ntilt = 0 9\n" << 4 << ":3: tilt is set twice" << 0.0;
        QTest::newRow("section twice") << "[product 2]\n[product 2]\n" << 4 << ":2: product 2 has a section already" << 0.0;
        QTest::newRow("missing value") << "tilt = 8\n" << 4 << ":1: tilt: missing value" << 0.0;
        QTest::newRow("too many values") << "tilt = 0 8 9\n" << 4 << ":1: tilt: more than two values" << 0.0;
        QTest::newRow("no equals sign") << "tilt 0 8\n" << 4 << ":1: expected \"name = low high\"" << 0.0;
    }

    void readsTheLimitsFile()
    {
        QFETCH(QString, text);
        QFETCH(int, productRow);
        QFETCH(QString, error);
        QFETCH(double, tiltHigh);
        QTemporaryDir dir;
        const QString path = dir.filePath("limits.conf");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
        file.close();

        QString why;
        const std::optional<CheckLimits> limits = CheckLimits::load(productRow, path, &why);
        if (!error.isEmpty()) {
            QVERIFY(!limits);
            QVERIFY2(why.startsWith(path + error), qPrintable(why));
            return;
        }
        QVERIFY2(limits, qPrintable(why));
        QCOMPARE(limits->limit("tilt").high, tiltHigh);
        QCOMPARE(limits->productRow(), productRow);
        // What the file does not set stays at the defaults.
        QCOMPARE(limits->limit("accel_norm").low, 0.97);
        QCOMPARE(limits->limit("gyro_bias").high, 0.5);
    }

    void refusesAMissingFileWithItsPath()
    {
        QString why;
        QVERIFY(!CheckLimits::load(4, "/nonexistent/limits.conf", &why));
        QVERIFY2(why.startsWith("/nonexistent/limits.conf: "), qPrintable(why));
    }
};

QTEST_GUILESS_MAIN(CheckMeasureTest)
#include "tst_check_measure.moc"
