// velmora-cli check, and the check after calibrate's save, against the simulator program over
// a pseudo-terminal: exit statuses, the figures against their limits, the records.
#include "CliProcess.h"
#include "SimulatorProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList kFast = {QStringLiteral("--time-scale"), QStringLiteral("0.3")};
// A simulated gimbal whose sensor errors are already corrected, as after a sound calibration.
const QStringList kCalibrated = kFast + QStringList{QStringLiteral("--calibrated")};

QStringList fault(const char *name)
{
    return kCalibrated + QStringList{QStringLiteral("--imu-fault"), QLatin1String(name)};
}
constexpr int kRunMs = 120000;

} // namespace

class CliCheckTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    // A command line with its own journal and no machine limits file.
    void prepare(CliProcess &cli)
    {
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), dir.filePath(QStringLiteral("journal.sqlite")));
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_LIMITS_FILE"), dir.filePath(QStringLiteral("no-limits.conf")));
    }

    QString writeLimits(const QString &name, const QByteArray &text)
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(text);
        return file.fileName();
    }

private slots:
    void init()
    {
        QFile::remove(dir.filePath(QStringLiteral("journal.sqlite")));
    }

    // Each way a check ends, with its status, the outcome word of --json and of the record.
    void checkEndsWithItsStatus_data()
    {
        QTest::addColumn<QStringList>("simulator");
        QTest::addColumn<QByteArray>("limits");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QStringList>("failing");
        QTest::newRow("calibrated gimbal passes") << kCalibrated << QByteArray() << 0 << "success" << QStringList();
        QTest::newRow("outside a tightened limit") << kCalibrated << QByteArray("# level to a thousandth\n[product 4]\ntilt = 0 0.001\n")
                                                   << 1 << "check-failed" << QStringList{"tilt"};
        QTest::newRow("uncalibrated gimbal") << kFast << QByteArray() << 1 << "check-failed"
                                             << QStringList{"accel_norm", "gyro_bias"};
        QTest::newRow("noisy accelerometer") << fault("noisy-accel") << QByteArray() << 1 << "check-failed"
                                             << QStringList{"accel_noise"};
        QTest::newRow("never still") << fault("never-still") << QByteArray() << 4 << "not-still" << QStringList();
        QTest::newRow("silent port") << QStringList{QStringLiteral("--silent")} << QByteArray() << 4 << "no-answer" << QStringList();
    }

    void checkEndsWithItsStatus()
    {
        QFETCH(QStringList, simulator);
        QFETCH(QByteArray, limits);
        QFETCH(int, status);
        QFETCH(QString, outcome);
        QFETCH(QStringList, failing);
        SimulatorProcess sim;
        QVERIFY(sim.start(simulator));
        CliProcess cli;
        prepare(cli);
        QStringList arguments{QStringLiteral("check"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                              QStringLiteral("4"), QStringLiteral("--json")};
        if (!limits.isEmpty())
            arguments << QStringLiteral("--limits") << writeLimits(QStringLiteral("limits.conf"), limits);
        QCOMPARE(cli.run(arguments, kRunMs), status);

        const QStringList lines = cli.outputLines();
        QCOMPARE(lines.size(), 1); // one object
        const QJsonObject object = QJsonDocument::fromJson(lines.first().toUtf8()).object();
        QCOMPARE(object[QStringLiteral("outcome")].toString(), outcome);
        const QJsonArray measurements = object[QStringLiteral("measurements")].toArray();
        QCOMPARE(measurements.size(), status == 4 ? 0 : 5);
        for (const QJsonValue &m : measurements) {
            const QJsonObject one = m.toObject();
            QVERIFY2(one[QStringLiteral("passed")].toBool() != failing.contains(one[QStringLiteral("name")].toString()),
                     qPrintable(lines.first()));
        }
        if (status == 4)
            QVERIFY(!object[QStringLiteral("reason")].toString().isEmpty());
        else
            QCOMPARE(object[QStringLiteral("face")].toInt(), 5); // the simulator lies level

        const QList<QJsonObject> records = journalRecords(dir.filePath(QStringLiteral("journal.sqlite")));
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first()[QStringLiteral("kind")].toString(), QStringLiteral("check"));
        QCOMPARE(records.first()[QStringLiteral("outcome")].toString(), outcome);
    }

    void checkPrintsEachFigureAndTheVerdict()
    {
        SimulatorProcess sim;
        QVERIFY(sim.start(kCalibrated));
        CliProcess cli;
        prepare(cli);
        QCOMPARE(cli.run({QStringLiteral("check"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"), QStringLiteral("4")},
                         kRunMs),
                 0);
        const QString output = cli.output();
        for (const char *line : {"  pass  Gravity reading: ", "  pass  Accelerometer noise: ", "  pass  Gyroscope bias: ",
                                 "  pass  Gyroscope noise: ", "  pass  Tilt: "})
            QVERIFY2(output.contains(QLatin1String(line)), qPrintable(output));
        QVERIFY(output.contains(QLatin1String("(limits 0.97 to 1.03 g)")));
        QVERIFY(output.trimmed().endsWith(QLatin1String("Calibration looks good")));
        // The gimbal was only read: nothing was written to it.
        QVERIFY(sim.requestedWrites().isEmpty());
    }

    void aLimitsFileWithAMistakeIsRefusedWhole()
    {
        CliProcess cli;
        prepare(cli);
        const QString file = writeLimits(QStringLiteral("bad.conf"), "tilt = 0 8\ngyro_bias = 1 0.5\n");
        QCOMPARE(cli.run({QStringLiteral("check"), QStringLiteral("--port"), QStringLiteral("/dev/null"), QStringLiteral("--product"),
                          QStringLiteral("4"), QStringLiteral("--limits"), file}),
                 2);
        QVERIFY2(cli.errors().contains(file + QStringLiteral(":2: gyro_bias: low 1 is above high 0.5")), qPrintable(cli.errors()));
        // The machine's file is read the same way.
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_LIMITS_FILE"), file);
        QCOMPARE(cli.run({QStringLiteral("calibrate"), QStringLiteral("--port"), QStringLiteral("/dev/null"), QStringLiteral("--product"),
                          QStringLiteral("4")}),
                 2);
        QVERIFY(cli.errors().contains(file + QStringLiteral(":2: ")));
    }

    // The uncalibrated gimbal's calibration removes its errors and passes its check; one whose
    // save is acknowledged but not kept, or whose gyroscope drifts once calibrated, ends
    // check-failed.
    void calibrateEndsWithItsCheck_data()
    {
        QTest::addColumn<QStringList>("simulator");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("sound calibration") << QStringList() << 0 << "success" << "Calibration looks good\nCalibration success!";
        QTest::newRow("save not kept") << QStringList{QStringLiteral("--imu-fault"), QStringLiteral("save-not-kept")} << 1
                                       << "check-failed" << "Calibration needed\nCheck failed: ";
        QTest::newRow("gyroscope drifts after its step") << QStringList{QStringLiteral("--imu-fault"), QStringLiteral("gyro-drift")} << 1
                                                         << "check-failed" << "Calibration needed\nCheck failed: Gyroscope bias: ";
    }

    void calibrateEndsWithItsCheck()
    {
        QFETCH(QStringList, simulator);
        QFETCH(int, status);
        QFETCH(QString, outcome);
        QFETCH(QString, verdict);
        SimulatorProcess sim;
        QVERIFY(sim.start(kFast + simulator + QStringList{QStringLiteral("--user")}));
        CliProcess cli;
        prepare(cli);
        QCOMPARE(cli.run({QStringLiteral("calibrate"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                          QStringLiteral("4")},
                         kRunMs),
                 status);
        const QString output = cli.output();
        // The check comes after the gyroscope step, its figures before the result.
        QVERIFY(output.indexOf(QLatin1String("Gyroscope: keep it still")) < output.indexOf(QLatin1String("Tilt: ")));
        QVERIFY2(output.contains(verdict), qPrintable(output));
        if (status != 0)
            QVERIFY(output.contains(QLatin1String("calibrate again with the gimbal on a firm, level surface"), Qt::CaseInsensitive));
        const QList<QJsonObject> records = journalRecords(dir.filePath(QStringLiteral("journal.sqlite")));
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first()[QStringLiteral("outcome")].toString(), outcome);
        QCOMPARE(records.first()[QStringLiteral("stepReached")].toString(), QStringLiteral("check"));
        QCOMPARE(records.first()[QStringLiteral("saveAcknowledged")].toBool(), true);
    }
};

QTEST_GUILESS_MAIN(CliCheckTest)
#include "tst_cli_check.moc"
