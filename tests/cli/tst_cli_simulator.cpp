// velmora-cli against the simulator program over pseudo-terminals: every command, several
// gimbals flashed at once, and Ctrl-C in the middle of a calibration and of a flash.
#include "CliProcess.h"
#include "MinisignTool.h"
#include "SimulatorProcess.h"
#include "UpdateHost.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Device delays shortened so that a calibration takes seconds.
const QStringList kFast = {QStringLiteral("--time-scale"), QStringLiteral("0.3")};
// Calibrated from the start: the readings show the gimbal as it lies, without the sensor's errors.
const QStringList kFastCalibrated = kFast + QStringList{QStringLiteral("--calibrated")};
constexpr int kRunMs = 120000;

// The JSON objects of a --json run, one per line.
QList<QJsonObject> jsonLines(const QStringList &lines)
{
    QList<QJsonObject> objects;
    for (const QString &line : lines)
        objects.append(QJsonDocument::fromJson(line.toUtf8()).object());
    return objects;
}


} // namespace

class CliSimulatorTest : public QObject
{
    Q_OBJECT

private slots:
    void portsListsTheVirtualPorts()
    {
        SimulatorProcess first;
        SimulatorProcess second;
        QVERIFY(first.start({}));
        QVERIFY(second.start({}));
        const QString both = first.path() + QLatin1Char(':') + second.path();

        CliProcess plain;
        QCOMPARE(plain.run({QStringLiteral("ports")}, 30000, both), 0);
        QVERIFY2(plain.output().contains(first.path()) && plain.output().contains(second.path()), qPrintable(plain.output()));

        CliProcess json;
        QCOMPARE(json.run({QStringLiteral("ports"), QStringLiteral("--json")}, 30000, first.path()), 0);
        const QJsonObject listing = QJsonDocument::fromJson(json.output().toUtf8()).object();
        QStringList names;
        for (const QJsonValue &port : listing.value(QLatin1String("ports")).toArray())
            names.append(port.toObject().value(QLatin1String("name")).toString());
        QVERIFY2(names.contains(first.path()), qPrintable(json.output()));
        QVERIFY(!names.contains(second.path()));
        // The help names the very fields the JSON has.
        CliProcess help;
        QCOMPARE(help.run({QStringLiteral("ports"), QStringLiteral("--help")}), 0);
        const QJsonObject port = listing.value(QLatin1String("ports")).toArray().first().toObject();
        QCOMPARE(port.keys(), (QStringList{"description", "name", "serialNumber"}));
        for (const QString &key : port.keys())
            QVERIFY2(help.output().contains(key), qPrintable(key));
        QVERIFY(help.output().contains(QLatin1String("{\"ports\": [...]}")));
    }

    void monitorJsonShowsTheGimbalLyingStill()
    {
        // The simulator lies level and still: about 1 g on Z only, rates near 0.
        SimulatorProcess sim;
        QVERIFY(sim.start(kFastCalibrated));
        CliProcess cli;
        QVERIFY(cli.start({QStringLiteral("monitor"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                           QStringLiteral("6"), QStringLiteral("--rate"), QStringLiteral("20"), QStringLiteral("--json")}));
        QVERIFY(cli.waitForOutput(QStringLiteral("\"connected\":true"), 10000));
        // Twenty samples after the link came up, so every register has been read.
        QTRY_VERIFY_WITH_TIMEOUT(cli.output().count(QLatin1String("\"event\":\"sample\"")) >= 20, 10000);
        cli.signal(SIGINT);
        QCOMPARE(cli.finish(10000), 0);

        int samples = 0;
        for (const QJsonObject &line : jsonLines(cli.outputLines())) {
            if (line.value(QLatin1String("event")).toString() != QLatin1String("sample"))
                continue;
            if (++samples <= 10)
                continue; // the first polls may still show registers not read yet
            QVERIFY2(qAbs(line.value(QLatin1String("az")).toDouble() - 1.0) < 0.05, qPrintable(QJsonDocument(line).toJson()));
            QVERIFY(qAbs(line.value(QLatin1String("amod")).toDouble() - 1.0) < 0.05);
            for (const char *key : {"ax", "ay"})
                QVERIFY(qAbs(line.value(QLatin1String(key)).toDouble()) < 0.05);
            for (const char *key : {"gx", "gy", "gz"})
                QVERIFY(qAbs(line.value(QLatin1String(key)).toDouble()) < 2.0);
        }
        QVERIFY(samples >= 20);
    }

    // --csv: standard output is the table alone (header, then rows of nine numbers in the
    // recording's units, time rising), the open and link lines go to standard error.
    void monitorCsvPrintsTheRecordingColumns()
    {
        SimulatorProcess sim;
        QVERIFY(sim.start(kFastCalibrated));
        CliProcess cli;
        QVERIFY(cli.start({QStringLiteral("monitor"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                           QStringLiteral("6"), QStringLiteral("--rate"), QStringLiteral("20"), QStringLiteral("--csv")}));
        QTRY_VERIFY_WITH_TIMEOUT(cli.outputLines().size() >= 21, 10000);
        cli.signal(SIGINT);
        QCOMPARE(cli.finish(10000), 0);

        const QStringList lines = cli.outputLines();
        QCOMPARE(lines.first(), QStringLiteral("time_s,gyro_x_dps,gyro_y_dps,gyro_z_dps,acc_x_g,acc_y_g,acc_z_g,"
                                               "gyro_mod_dps,acc_mod_g"));
        QVERIFY2(cli.errors().contains(QLatin1String("已连接！")) || cli.errors().contains(QLatin1String("Connected!")),
                 qPrintable(cli.errors()));
        double previousTime = -1.0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QStringList fields = lines.at(i).split(QLatin1Char(','));
            QCOMPARE(fields.size(), 9);
            QList<double> v;
            for (qsizetype f = 0; f < fields.size(); ++f) {
                // Decimals as the read-out boxes show them: time 3, rates 1, accelerations 3.
                const int decimals = (f >= 1 && f <= 3) || f == 7 ? 1 : 3;
                QCOMPARE(fields.at(f).size() - fields.at(f).indexOf(QLatin1Char('.')) - 1, decimals);
                bool ok = false;
                v.append(fields.at(f).toDouble(&ok));
                QVERIFY(ok);
            }
            QVERIFY(v[0] > previousTime);
            previousTime = v[0];
            if (i <= 10)
                continue; // the first polls may still show registers not read yet
            // Lying level and still: about 1 g on Z only, rates near 0; the moduli agree with the axes.
            QVERIFY2(qAbs(v[6] - 1.0) < 0.05 && qAbs(v[4]) < 0.05 && qAbs(v[5]) < 0.05, qPrintable(lines.at(i)));
            for (int f : {1, 2, 3})
                QVERIFY(qAbs(v[f]) < 2.0);
            QVERIFY(qAbs(v[8] - std::sqrt(v[4] * v[4] + v[5] * v[5] + v[6] * v[6])) < 0.003);
            QVERIFY(qAbs(v[7] - std::sqrt(v[1] * v[1] + v[2] * v[2] + v[3] * v[3])) < 0.2);
        }
    }

    // The package is read and checked once: replacing it and its signature during the write
    // changes nothing of what reaches the gimbal.
    void theCheckedBytesAreWrittenWhateverTheFileBecomes()
    {
        QTemporaryDir dir;
        const QDir keys(dir.path());
        const QString trusted = dir.filePath(QStringLiteral("config/Velmora/trusted-keys"));
        QVERIFY(QDir().mkpath(trusted) && MinisignTool::makeKey(keys, QStringLiteral("maker")));
        QVERIFY(QFile::copy(keys.filePath(QStringLiteral("maker.pub")), trusted + QStringLiteral("/maker.pub")));
        const QString package = dir.filePath(QStringLiteral("p.ptz"));
        const QList<QByteArray> images = writeTestPackage(package, {6000, 3000}, 7);
        QVERIFY(MinisignTool::sign(keys, QStringLiteral("maker"), package, QStringLiteral("the one checked")));
        SimulatorProcess sim;
        const QString flashDir = dir.filePath(QStringLiteral("flash"));
        // Slow answers: the file is replaced once it was checked, long before the listing ends.
        QVERIFY(sim.start({QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--flash-dir"), flashDir,
                           QStringLiteral("--reply-delay-ms"), QStringLiteral("150")}));
        CliProcess cli;
        cli.extraEnvironment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        QVERIFY(cli.start({QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                           QStringLiteral("0"), QStringLiteral("--require-signed"), package}));
        QVERIFY(cli.waitForOutput(QStringLiteral("signed by key"), kRunMs));
        QVERIFY(bootloaderLines(sim).filter(QStringLiteral("WRITE_PAGE")).isEmpty());
        QCOMPARE(writeTestPackage(package, {6000, 3000}, 8).size(), 2);
        QFile signature(package + QStringLiteral(".minisig"));
        QVERIFY(signature.open(QIODevice::WriteOnly | QIODevice::Truncate));
        signature.close();
        QCOMPARE(cli.finish(kRunMs), 0);
        QVERIFY2(cli.output().contains(QLatin1String("signed by key")), qPrintable(cli.output()));
        QString mismatch;
        QVERIFY2(flashHoldsImages(flashDir, images, &mismatch), qPrintable(mismatch));
    }

    void calibrateWithTheUserSucceedsWithTheWindowsWrites()
    {
        SimulatorProcess sim;
        QVERIFY(sim.start(QStringList(kFast) << QStringLiteral("--user")));
        CliProcess cli;
        QTemporaryDir dir;
        const QString journal = dir.filePath(QStringLiteral("journal.sqlite"));
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journal);
        QCOMPARE(cli.run({QStringLiteral("calibrate"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                          QStringLiteral("6")},
                         kRunMs),
                 0);
        const QList<QJsonObject> records = journalRecords(journal);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first()[QStringLiteral("kind")].toString(), QStringLiteral("calibration"));
        QCOMPARE(records.first()[QStringLiteral("outcome")].toString(), QStringLiteral("success"));
        // A run now ends with the check after the save.
        QCOMPARE(records.first()[QStringLiteral("stepReached")].toString(), QStringLiteral("check"));
        QCOMPARE(records.first()[QStringLiteral("saveAcknowledged")].toBool(), true);
        // Each face was taken where gravity pointed along its axis.
        const QJsonArray faces = records.first()[QStringLiteral("faces")].toArray();
        QCOMPARE(faces.size(), 6);
        for (int face = 0; face < 6; ++face)
            QVERIFY2(qAbs(qAbs(faces.at(face).toArray().at(face / 2).toDouble()) - 1.0) < 0.3, qPrintable(QString::number(face)));
        const QString output = cli.output();
        for (int face = 1; face <= 6; ++face)
            QVERIFY2(output.contains(QStringLiteral("Step %1: ").arg(face)), qPrintable(output));
        // The window's words for each step, in English.
        QVERIFY2(output.contains(QLatin1String("Step 3: lay it on its right side, camera forward\n")), qPrintable(output));
        QVERIFY(output.contains(QLatin1String("Step 5: stand it upright on its handle, camera forward\n")));
        QVERIFY(output.contains(QLatin1String("Gyroscope: keep it still\n")));
        QVERIFY(output.indexOf(QLatin1String("Step 6: ")) < output.indexOf(QLatin1String("Gyroscope: keep it still")));
        // The opened port by the name it was given; the calibration's own step lines only
        // with --verbose (calibrateReportsAFailedSolve asks for them).
        QVERIFY2(output.startsWith(QStringLiteral("Opened %1\n").arg(sim.path())), qPrintable(output));
        QVERIFY(!output.contains(QLatin1String("accelerometer 1 ok")));
        QVERIFY(output.trimmed().endsWith(QLatin1String("Calibration success!")));
        // Exactly what the window sends for this product (mode 0x0009, command 0x0010).
        const QStringList expected = {
            "W 0009 0002", "C C004 55AA", "W 0010 0000", "W 0010 0001", "W 0010 0002", "W 0010 0003",
            "W 0010 0004", "W 0010 0005", "W 0010 0006", "W 0010 0007", "W 0010 0008", "W 0010 0000",
            "W 0009 0000", "C C005 A151",
        };
        QTRY_COMPARE(sim.requestedWrites(), expected);
    }

    void withoutPortTheOnlyAdapterIsTaken()
    {
        SimulatorProcess sim;
        QVERIFY(sim.start(kFast));
        CliProcess cli;
        QVERIFY(cli.start({QStringLiteral("monitor"), QStringLiteral("--product"), QStringLiteral("4"), QStringLiteral("--json")},
                          sim.path()));
        QVERIFY(cli.waitForOutput(QStringLiteral("\"connected\":true"), 10000));
        QVERIFY2(cli.errors().contains(QStringLiteral("using %1, the only gimbal adapter listed").arg(sim.path())),
                 qPrintable(cli.errors()));
        cli.signal(SIGINT);
        QCOMPARE(cli.finish(10000), 0);
    }

    void silentGimbalMonitorFailsAndDebugLinesShowOnlyWhenAsked()
    {
        // Two silent gimbals, one watched with debug lines asked for, one without, side by side.
        SimulatorProcess quietSim;
        SimulatorProcess askedSim;
        QVERIFY(quietSim.start(QStringList(kFast) << QStringLiteral("--silent")));
        QVERIFY(askedSim.start(QStringList(kFast) << QStringLiteral("--silent")));
        const auto arguments = [](const QString &port) {
            return QStringList{QStringLiteral("monitor"), QStringLiteral("--port"), port, QStringLiteral("--product"),
                               QStringLiteral("4")};
        };
        CliProcess quiet;
        CliProcess asked;
        asked.extraEnvironment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("velmora.stars.debug=true"));
        QVERIFY(quiet.start(arguments(quietSim.path())));
        QVERIFY(asked.start(arguments(askedSim.path())));
        // The first register's tries run out after about 3 s: a debug line for those who asked.
        QTRY_VERIFY_WITH_TIMEOUT(asked.errors().contains(QLatin1String("velmora.stars: ERROR")), 20000);
        for (CliProcess *cli : {&quiet, &asked}) {
            cli->signal(SIGINT);
            QCOMPARE(cli->finish(10000), 4);
            QVERIFY2(cli->errors().contains(QLatin1String("no answer from the gimbal")), qPrintable(cli->errors()));
        }
        QVERIFY2(!quiet.errors().contains(QLatin1String("ERROR")), qPrintable(quiet.errors()));
        QVERIFY(!asked.errors().contains(QLatin1String("velmora.transport")));
    }

    void calibrateReportsAFailedSolve()
    {
        SimulatorProcess sim;
        QVERIFY(sim.start(QStringList(kFast) << QStringLiteral("--user") << QStringLiteral("--solve-fails")));
        CliProcess cli;
        QTemporaryDir dir;
        const QString journal = dir.filePath(QStringLiteral("journal.sqlite"));
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journal);
        QCOMPARE(cli.run({QStringLiteral("calibrate"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                          QStringLiteral("6"), QStringLiteral("--verbose")},
                         kRunMs),
                 1);
        QVERIFY2(cli.output().contains(QLatin1String("accelerometer 1 ok")), qPrintable(cli.output()));
        QVERIFY(cli.output().contains(QLatin1String("Calibration fails, please recalibrate the Gimbal!")));
        QVERIFY(!cli.output().contains(QLatin1String("Calibration success!")));
        QVERIFY(!sim.writes().contains(QStringLiteral("C C005 A151")));
        const QList<QJsonObject> records = journalRecords(journal);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first()[QStringLiteral("outcome")].toString(), QStringLiteral("step-failed"));
        QCOMPARE(records.first()[QStringLiteral("failedStep")].toString(), QStringLiteral("solve"));
        QCOMPARE(records.first()[QStringLiteral("saveAcknowledged")].toBool(), false);
    }

    void ctrlCDuringCalibrationWritesNothingMore()
    {
        // Nobody turns the gimbal: the run waits at face 1.
        SimulatorProcess sim;
        QVERIFY(sim.start(kFast));
        CliProcess cli;
        QTemporaryDir dir;
        const QString journal = dir.filePath(QStringLiteral("journal.sqlite"));
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journal);
        QVERIFY(cli.start({QStringLiteral("calibrate"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                           QStringLiteral("6")}));
        QVERIFY(cli.waitForOutput(QStringLiteral("Step 1: "), kRunMs));
        const QStringList expected = {"W 0009 0002", "C C004 55AA", "W 0010 0000"};
        QTRY_COMPARE(sim.requestedWrites(), expected);

        QElapsedTimer clock;
        clock.start();
        cli.signal(SIGINT);
        QCOMPARE(cli.finish(5000), 130);
        qInfo("calibrate ended %lld ms after SIGINT", clock.elapsed());
        QVERIFY(cli.errors().contains(QLatin1String("Calibration cancelled.")));
        const QList<QJsonObject> records = journalRecords(journal);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first()[QStringLiteral("outcome")].toString(), QStringLiteral("cancelled"));
        QVERIFY(!cli.output().contains(QLatin1String("Calibration success!")));
        // The gimbal stays where the window leaves it when closed mid-run: nothing more was sent.
        // The simulator answers in line order, so once a later reader has been answered, any
        // write still on the line would have been traced.
        CliProcess reader;
        QVERIFY(reader.start({QStringLiteral("monitor"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                              QStringLiteral("6"), QStringLiteral("--json")}));
        QVERIFY(reader.waitForOutput(QStringLiteral("\"connected\":true"), 10000));
        reader.signal(SIGINT);
        QCOMPARE(reader.finish(10000), 0);
        QCOMPARE(sim.requestedWrites(), expected);
    }

    void threeGimbalsAtOnceWithOneFaulty_data()
    {
        QTest::addColumn<QStringList>("faultyArguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("silent") << QStringList{QStringLiteral("--silent")} << 4;
        QTest::newRow("mismatching chip") << QStringList{QStringLiteral("--hardware"), QStringLiteral("0x0101,0x0201")} << 5;
    }
    void threeGimbalsAtOnceWithOneFaulty()
    {
        QFETCH(QStringList, faultyArguments);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString package = dir.filePath(QStringLiteral("two.ptz"));
        const QList<QByteArray> images = writeTestPackage(package, {6000, 3000}, 7);
        QCOMPARE(images.size(), 2);

        SimulatorProcess sims[3];
        QStringList flashDirs;
        for (int i = 0; i < 3; ++i) {
            flashDirs.append(dir.filePath(QStringLiteral("flash%1").arg(i)));
            QStringList arguments{QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--flash-dir"), flashDirs[i]};
            if (i == 1) // the faulty one in the middle, so the status is not just the last port's
                arguments += faultyArguments;
            QVERIFY(sims[i].start(arguments));
        }
        CliProcess cli;
        const QString journal = dir.filePath(QStringLiteral("journal.sqlite"));
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journal);
        const QStringList arguments{QStringLiteral("flash"), QStringLiteral("--port"), sims[0].path(), QStringLiteral("--port"),
                                    sims[1].path(), QStringLiteral("--port"), sims[2].path(), QStringLiteral("--product"),
                                    QStringLiteral("0"), QStringLiteral("--connect-timeout"), QStringLiteral("3"),
                                    QStringLiteral("--json"), package};
        QCOMPARE(cli.run(arguments, kRunMs), exitCode);

        QHash<QString, QJsonObject> summaries;
        int exitEvents = 0;
        for (const QJsonObject &line : jsonLines(cli.outputLines())) {
            QVERIFY2(!line.isEmpty(), qPrintable(cli.output()));
            if (line.value(QLatin1String("event")).toString() == QLatin1String("summary"))
                summaries.insert(line.value(QLatin1String("port")).toString(), line);
            if (line.value(QLatin1String("event")).toString() == QLatin1String("exit")) {
                ++exitEvents;
                QCOMPARE(line.value(QLatin1String("exit")).toInt(), exitCode);
            }
        }
        QCOMPARE(exitEvents, 1);
        QCOMPARE(summaries.size(), 3);
        for (int i : {0, 2}) {
            QCOMPARE(summaries.value(sims[i].path()).value(QLatin1String("result")).toString(), QStringLiteral("RUN"));
            QString mismatch;
            QVERIFY2(flashHoldsImages(flashDirs[i], images, &mismatch), qPrintable(mismatch));
            QTRY_VERIFY(bootloaderLines(sims[i]).contains(QStringLiteral("B RUN")));
        }
        const QJsonObject faulty = summaries.value(sims[1].path());
        QCOMPARE(faulty.value(QLatin1String("result")).toString(), QStringLiteral("failed"));
        QCOMPARE(faulty.value(QLatin1String("exit")).toInt(), exitCode);
        QVERIFY(!bootloaderLines(sims[1]).contains(QStringLiteral("B RUN")));
        QVERIFY(bootloaderLines(sims[1]).filter(QStringLiteral("WRITE_PAGE")).isEmpty());

        // Each port's attempt is one record of the package that was checked.
        QFile file(package);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString sha256 = QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
        QHash<QString, QJsonObject> records;
        for (const QJsonObject &record : journalRecords(journal))
            records.insert(record[QStringLiteral("port")].toString(), record);
        QCOMPARE(records.size(), 3);
        for (int i : {0, 2}) {
            const QJsonObject record = records.value(sims[i].path());
            QCOMPARE(record[QStringLiteral("outcome")].toString(), QStringLiteral("success"));
            QCOMPARE(record[QStringLiteral("endCommand")].toString(), QStringLiteral("run"));
            QCOMPARE(record[QStringLiteral("package")].toObject()[QStringLiteral("sha256")].toString(), sha256);
            QVERIFY(record[QStringLiteral("pagesWritten")].toInt() > 0);
            const QJsonArray chips = record[QStringLiteral("chips")].toArray();
            QCOMPARE(chips.size(), 2);
            for (const QJsonValue &chip : chips) {
                QCOMPARE(chip.toObject()[QStringLiteral("result")].toString(), QStringLiteral("written"));
                QCOMPARE(chip.toObject()[QStringLiteral("cpuid")].toString().size(), 8);
                QVERIFY(!chip.toObject()[QStringLiteral("firmwareAfter")].toString().isEmpty());
            }
        }
        QCOMPARE(records.value(sims[1].path())[QStringLiteral("outcome")].toString(),
                 exitCode == 4 ? QStringLiteral("no-bootloader") : QStringLiteral("hardware-mismatch"));
        QCOMPARE(journalRecords(journal, {QStringLiteral("--outcome"), QStringLiteral("success")}).size(), 2);
    }

    void plainProgressWhenNotATerminal()
    {
        QTemporaryDir dir;
        const QString package = dir.filePath(QStringLiteral("one.ptz"));
        QCOMPARE(writeTestPackage(package, {2000, 1000}, 3).size(), 2);
        SimulatorProcess sim;
        QVERIFY(sim.start({QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip")}));
        CliProcess cli;
        QCOMPARE(cli.run({QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                          QStringLiteral("4"), package},
                         kRunMs),
                 0);
        const QString output = cli.output();
        // No cursor movement in a log; one line per event, then the summary.
        QVERIFY(!output.contains(QLatin1Char('\x1b')));
        QVERIFY(output.contains(QLatin1String("Device 2 firmware updating")));
        QVERIFY(output.contains(QLatin1String("chip 2/2")));
        // Progress in percent, as people read it (the JSON keeps per mille).
        QVERIFY2(output.contains(QRegularExpression(QStringLiteral("chip 2/2 +100%  "))), qPrintable(output));
        QVERIFY(!output.contains(QChar(0x2030)));
        QVERIFY(output.contains(QLatin1String("Summary:")));
        QVERIFY(cli.outputLines().last().contains(QLatin1String("RUN")));
    }

    void infoListsTheChips()
    {
        SimulatorProcess sim;
        QVERIFY(sim.start({QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip"),
                           QStringLiteral("--chips"), QStringLiteral("3")}));
        CliProcess cli;
        QCOMPARE(cli.run({QStringLiteral("info"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                          QStringLiteral("4"), QStringLiteral("--json")},
                         kRunMs),
                 0);
        const QJsonObject chips = QJsonDocument::fromJson(cli.outputLines().last().toUtf8()).object();
        const QJsonArray list = chips.value(QLatin1String("chips")).toArray();
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.at(0).toObject().value(QLatin1String("structure")).toString(), QStringLiteral("4B35"));
        QCOMPARE(list.at(1).toObject().value(QLatin1String("hardware")).toString(), QStringLiteral("0102"));
        // Listed only: nothing written, the chips left in the bootloader.
        QVERIFY(bootloaderLines(sim).filter(QStringLiteral("WRITE_PAGE")).isEmpty());
        QVERIFY(!bootloaderLines(sim).contains(QStringLiteral("B RUN")));
    }

    // A chain that says nothing gets the window's hint: the product, or a gimbal not in its
    // bootloader; one that answers gets none.
    void infoOnASilentChainSaysWhatToCheck_data()
    {
        QTest::addColumn<QStringList>("simulator");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("hint");
        QTest::newRow("silent chain") << QStringList{QStringLiteral("--silent")} << 4 << true;
        QTest::newRow("chain that answers") << QStringList{} << 0 << false;
    }
    void infoOnASilentChainSaysWhatToCheck()
    {
        QFETCH(QStringList, simulator);
        QFETCH(int, exitCode);
        QFETCH(bool, hint);
        SimulatorProcess sim;
        QVERIFY(sim.start(QStringList{QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip")} + simulator));
        CliProcess cli;
        QCOMPARE(cli.run({QStringLiteral("info"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                          QStringLiteral("4"), QStringLiteral("--connect-timeout"), QStringLiteral("1")},
                         kRunMs),
                 exitCode);
        QCOMPARE(cli.errors().contains(QLatin1String("K5-Delta: is the product right?")), hint);
        QCOMPARE(cli.errors().contains(QLatin1String("not in its bootloader")), hint);
    }

    void ctrlCDuringFlashRestartsTheChipsAndReportsNoSuccess()
    {
        QTemporaryDir dir;
        const QString package = dir.filePath(QStringLiteral("big.ptz"));
        QCOMPARE(writeTestPackage(package, {60000, 60000}, 5).size(), 2);
        SimulatorProcess sim;
        QVERIFY(sim.start({QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip")}));
        CliProcess cli;
        QVERIFY(cli.start({QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                           QStringLiteral("4"), QStringLiteral("--json"), package}));
        QVERIFY(cli.waitForOutput(QStringLiteral("\"event\":\"progress\""), kRunMs));
        QTRY_VERIFY(!bootloaderLines(sim).filter(QStringLiteral("WRITE_PAGE")).isEmpty());

        QElapsedTimer clock;
        clock.start();
        cli.signal(SIGINT);
        QCOMPARE(cli.finish(5000), 130);
        qInfo("flash ended %lld ms after SIGINT", clock.elapsed());
        // The write was cancelled as the window's cancel does: the chips restart into the bootloader.
        QTRY_VERIFY(bootloaderLines(sim).contains(QStringLiteral("B RESTART")));
        const QStringList lines = bootloaderLines(sim);
        QVERIFY(!lines.contains(QStringLiteral("B RUN")));
        QVERIFY(lines.lastIndexOf(QStringLiteral("B RESTART")) > lines.lastIndexOf(QRegularExpression(QStringLiteral("^B WRITE_PAGE"))));
        for (const QJsonObject &line : jsonLines(cli.outputLines())) {
            QVERIFY(line.value(QLatin1String("result")).toString() != QLatin1String("RUN"));
            if (line.value(QLatin1String("event")).toString() == QLatin1String("done"))
                QCOMPARE(line.value(QLatin1String("exit")).toInt(), 130);
        }
    }

    // A port that another velmora-cli holds by its own path, opened through the simulator's
    // link: refused as in use, with status 7 and the reason in the JSON line. The holder goes
    // on undisturbed.
    void aPortHeldUnderAnotherNameExitsSevenAsInUse()
    {
        SimulatorProcess sim;
        QVERIFY(sim.start(kFast));
        const QString target = QFileInfo(sim.path()).symLinkTarget();
        QVERIFY(target.startsWith(QLatin1String("/dev/pts/")));
        CliProcess holder;
        QVERIFY(holder.start({QStringLiteral("monitor"), QStringLiteral("--port"), target, QStringLiteral("--product"), QStringLiteral("6")}));
        QVERIFY2(holder.waitForOutput(QStringLiteral("Opened %1").arg(target), 30000), qPrintable(holder.errors()));

        CliProcess second;
        QCOMPARE(second.run({QStringLiteral("monitor"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                             QStringLiteral("6"), QStringLiteral("--json")}),
                 7);
        const QList<QJsonObject> lines = jsonLines(second.outputLines());
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().value(QLatin1String("event")).toString(), QStringLiteral("error"));
        QCOMPARE(lines.first().value(QLatin1String("openError")).toString(), QStringLiteral("in-use"));
        QCOMPARE(lines.first().value(QLatin1String("exit")).toInt(), 7);
        QVERIFY2(second.errors().contains(QLatin1String("another program is using it")), qPrintable(second.errors()));

        // The bootloader commands report it the same way.
        CliProcess info;
        QCOMPARE(info.run({QStringLiteral("info"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                           QStringLiteral("6"), QStringLiteral("--json")}),
                 7);
        const QList<QJsonObject> infoLines = jsonLines(info.outputLines());
        QCOMPARE(infoLines.size(), 1);
        QCOMPARE(infoLines.first().value(QLatin1String("openError")).toString(), QStringLiteral("in-use"));

        QVERIFY(holder.qprocess().state() == QProcess::Running);
        // A monitor whose gimbal never answered fails; this one has its gimbal.
        QVERIFY(holder.waitForOutput(QStringLiteral("Connected!"), 30000));
        holder.signal(SIGINT);
        QCOMPARE(holder.finish(30000), 0);
    }

    // A user who may not use the device: as root, the command runs as nobody (root passes every
    // permission check); otherwise the device's mode bits are cleared. Status 7, and the text
    // says what to do.
    void aPortTheUserMayNotOpenExitsSevenAsPermissionDenied()
    {
        SimulatorProcess sim;
        QVERIFY(sim.start(kFast));
        const QString target = QFileInfo(sim.path()).symLinkTarget();
        QProcess cli;
        QStringList arguments{QStringLiteral("monitor"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                              QStringLiteral("6"), QStringLiteral("--json")};
        if (::geteuid() == 0) {
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (setpriv.isEmpty())
                QSKIP("running as root without setpriv: no way to be a user the device refuses");
            cli.setProgram(setpriv);
            cli.setArguments(QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                         QStringLiteral("--clear-groups"), QStringLiteral("--"), CliProcess::program()}
                             + arguments);
            QVERIFY(::chmod(QFile::encodeName(target).constData(), 0600) == 0);
        } else {
            QVERIFY(::chmod(QFile::encodeName(target).constData(), 0) == 0);
            cli.setProgram(CliProcess::program());
            cli.setArguments(arguments);
        }
        cli.start();
        QVERIFY(cli.waitForFinished(30000));
        const QString output = QString::fromUtf8(cli.readAllStandardOutput());
        const QString errors = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(cli.exitCode(), 7);
        const QList<QJsonObject> lines = jsonLines(output.split(QLatin1Char('\n'), Qt::SkipEmptyParts));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().value(QLatin1String("openError")).toString(), QStringLiteral("permission-denied"));
        const QString message = lines.first().value(QLatin1String("message")).toString();
        QVERIFY2(message.contains(QLatin1String("60-velmora.rules")) && message.contains(QLatin1String("dialout")), qPrintable(message));
        QVERIFY2(errors.contains(QLatin1String("permission denied")), qPrintable(errors));
    }

    void aMissingPortStaysStatusFour()
    {
        CliProcess cli;
        QCOMPARE(cli.run({QStringLiteral("monitor"), QStringLiteral("--port"), QStringLiteral("/nonexistent/velmora-port"),
                          QStringLiteral("--product"), QStringLiteral("6"), QStringLiteral("--json")}),
                 4);
        const QList<QJsonObject> lines = jsonLines(cli.outputLines());
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().value(QLatin1String("openError")).toString(), QStringLiteral("not-found"));
    }
};

QTEST_GUILESS_MAIN(CliSimulatorTest)
#include "tst_cli_simulator.moc"
