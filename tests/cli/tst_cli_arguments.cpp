// velmora-cli's argument handling: every mistake gets a one-line reason and its exit status.
#include "CliProcess.h"
#include "PtzFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>

#include <sys/stat.h>

class CliArgumentsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString validPackage;
    QString invalidPackage;
    QString crcPackage;
    QString pipePackage;
    QString hugePackage;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        // Refusals and failed opens are recorded: in a journal of this test's own.
        qputenv("VELMORA_JOURNAL_FILE", QFile::encodeName(dir.filePath(QStringLiteral("journal.sqlite"))));
        PtzFile package;
        QVERIFY(package.addImage(0x0101, 100, QByteArray(64, 'x')));
        QFile valid(dir.filePath(QStringLiteral("valid.ptz")));
        QVERIFY(valid.open(QIODevice::WriteOnly));
        valid.write(package.build(1, 0x0100, 0x4B35, 1));
        validPackage = valid.fileName();
        QByteArray changed = package.build(1, 0x0100, 0x4B35, 1);
        changed[20] = char(changed.at(20) ^ 1);
        QFile crc(dir.filePath(QStringLiteral("crc.ptz")));
        QVERIFY(crc.open(QIODevice::WriteOnly) && crc.write(changed) == changed.size());
        crcPackage = crc.fileName();
        QFile invalid(dir.filePath(QStringLiteral("invalid.ptz")));
        QVERIFY(invalid.open(QIODevice::WriteOnly));
        invalid.write("PTZ but not really a package");
        invalidPackage = invalid.fileName();
        pipePackage = dir.filePath(QStringLiteral("pipe.ptz"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipePackage).constData(), 0600), 0);
        // Sparse: five GiB that take no disk space.
        QFile huge(dir.filePath(QStringLiteral("huge.ptz")));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(5LL << 30));
        hugePackage = huge.fileName();
    }

    void mistakesGetOneLineAndTheirStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("reason");
        const QString noPort = dir.filePath(QStringLiteral("no-such-port"));
        const QString missing = dir.filePath(QStringLiteral("missing.ptz"));

        QTest::newRow("no command") << QStringList() << 2 << "no command";
        QTest::newRow("unknown command") << QStringList{"erase"} << 2 << "unknown command 'erase'";
        QTest::newRow("unknown option") << QStringList{"ports", "--fast"} << 2 << "fast";
        QTest::newRow("monitor without port") << QStringList{"monitor", "--product", "4"} << 2 << "--port is required";
        QTest::newRow("flash without port") << QStringList{"flash", "--product", "4", validPackage} << 2 << "--port is required";
        QTest::newRow("monitor with two ports") << QStringList{"monitor", "--port", "a", "--port", "b", "--product", "4"} << 2
                                               << "only one --port";
        QTest::newRow("same port twice") << QStringList{"flash", "--port", "a", "--port", "a", "--product", "4", validPackage}
                                         << 2 << "given twice";
        QTest::newRow("without product") << QStringList{"calibrate", "--port", "a"} << 2 << "--product is required";
        QTest::newRow("product row too high") << QStringList{"calibrate", "--port", "a", "--product", "9"} << 2 << "no product row '9'";
        QTest::newRow("negative product row") << QStringList{"info", "--port", "a", "--product", "-1"} << 2 << "no product row";
        QTest::newRow("unknown product name") << QStringList{"info", "--port", "a", "--product", "K9"} << 2 << "no product row 'K9'";
        QTest::newRow("rate zero") << QStringList{"monitor", "--port", "a", "--product", "4", "--rate", "0"} << 2 << "--rate";
        QTest::newRow("json and csv") << QStringList{"monitor", "--port", "a", "--product", "4", "--json", "--csv"} << 2
                                      << "exclude each other";
        QTest::newRow("csv outside monitor") << QStringList{"info", "--port", "a", "--product", "4", "--csv"} << 2 << "csv";
        QTest::newRow("rate not a number") << QStringList{"monitor", "--port", "a", "--product", "4", "--rate", "fast"} << 2 << "--rate";
        QTest::newRow("bad connect time-out") << QStringList{"flash", "--port", "a", "--product", "4", "--connect-timeout", "-3", validPackage}
                                              << 2 << "--connect-timeout";
        QTest::newRow("flash without package") << QStringList{"flash", "--port", "a", "--product", "4"} << 2 << "no package";
        QTest::newRow("flash with two packages") << QStringList{"flash", "--port", "a", "--product", "4", validPackage, validPackage}
                                                 << 2 << "one package only";
        QTest::newRow("stray argument") << QStringList{"info", "--port", "a", "--product", "4", "extra"} << 2 << "unexpected argument";
        // The package is checked before any port is touched.
        QTest::newRow("missing package") << QStringList{"flash", "--port", noPort, "--product", "4", missing} << 3
                                         << "Firmware does not exist!";
        // The package's own check is named, as velmora-ptz names it.
        QTest::newRow("invalid package") << QStringList{"flash", "--port", noPort, "--product", "4", invalidPackage} << 3
                                         << "Firmware format invalid! (file size error)";
        QTest::newRow("package CRC off") << QStringList{"flash", "--port", noPort, "--product", "4", crcPackage} << 3
                                         << "Firmware format invalid! (file check crc error)";
        // Refused at once: neither waited on like a file nor read into memory; there, so
        // never said to be missing.
        QTest::newRow("pipe as package") << QStringList{"flash", "--port", noPort, "--product", "4", pipePackage} << 3
                                         << ": not a regular file";
        QTest::newRow("device as package") << QStringList{"flash", "--port", noPort, "--product", "4", "/dev/zero"} << 3
                                           << ": not a regular file";
        QTest::newRow("folder as package") << QStringList{"flash", "--port", noPort, "--product", "4", dir.path()} << 3
                                           << ": not a regular file";
        QTest::newRow("huge package") << QStringList{"flash", "--port", noPort, "--product", "4", hugePackage} << 3
                                      << "Firmware format invalid! (larger than 64 MiB";
        QTest::newRow("station without package") << QStringList{"station", "--product", "4"} << 2 << "one --package is required";
        QTest::newRow("station without product") << QStringList{"station", "--package", validPackage} << 2 << "--product is required";
        QTest::newRow("station with a port") << QStringList{"station", "--port", "a", "--package", validPackage, "--product", "4"} << 2
                                             << "port";
        QTest::newRow("station, package as argument") << QStringList{"station", "--product", "4", validPackage} << 2
                                                      << "unexpected argument";
        QTest::newRow("station, count zero") << QStringList{"station", "--package", validPackage, "--product", "4", "--count", "0"}
                                             << 2 << "--count";
        QTest::newRow("station, count not whole") << QStringList{"station", "--package", validPackage, "--product", "4", "--count", "2.5"}
                                                  << 2 << "--count";
        // Refused before any adapter is taken, where a running station could not say it.
        QTest::newRow("station, invalid package") << QStringList{"station", "--package", invalidPackage, "--product", "4"} << 3
                                                  << "Firmware format invalid!";
        QTest::newRow("station, pipe as package") << QStringList{"station", "--package", pipePackage, "--product", "4"} << 3
                                                  << ": not a regular file";
        QTest::newRow("station, package CRC off") << QStringList{"station", "--package", crcPackage, "--product", "4"} << 3
                                                  << "(file check crc error)";
        QTest::newRow("station, unsigned package, signatures required")
            << QStringList{"station", "--package", validPackage, "--product", "4", "--require-signed"} << 3
            << "not signed, and only signed packages are accepted";
        QTest::newRow("flash, catalogue and a package file")
            << QStringList{"flash", "--port", "a", "--product", "4", "--from-catalogue", "latest", validPackage} << 2 << "exclude each other";
        QTest::newRow("flash, catalogue version not a version")
            << QStringList{"flash", "--port", "a", "--product", "4", "--from-catalogue", "1.x"} << 2 << "latest or a version";
        QTest::newRow("flash, catalogue option without the catalogue")
            << QStringList{"flash", "--port", "a", "--product", "4", "--offline", validPackage} << 2 << "--offline goes with --from-catalogue";
        QTest::newRow("flash, unsigned package, signatures required")
            << QStringList{"flash", "--port", noPort, "--product", "4", "--require-signed", validPackage} << 3
            << "not signed, and only signed packages are accepted";
        QTest::newRow("journal, cpuid not hex") << QStringList{"journal", "--cpuid", "5A3G"} << 2 << "--cpuid";
        QTest::newRow("station, a unit serial for many gimbals") << QStringList{"station", "--package", "p.ptz", "--product", "4", "--unit-serial", "SN-1"} << 2 << "--count 1";
        QTest::newRow("flash, a unit serial for two ports") << QStringList{"flash", "--port", "a", "--port", "b", "--product", "4", "--unit-serial", "SN-1", "p.ptz"} << 2 << "one --port";
        QTest::newRow("flash, a unit serial with a space") << QStringList{"flash", "--port", "a", "--product", "4", "--unit-serial", "SN 1", "p.ptz"} << 2 << "--unit-serial";
        QTest::newRow("station, catalogue and package") << QStringList{"station", "--package", "p.ptz", "--from-catalogue", "latest", "--product", "4"} << 2 << "exclude";
        // A word no record carries would list nothing: refused, naming the words there are.
        QTest::newRow("journal, outcome misspelt") << QStringList{"journal", "--outcome", "sucess"} << 2 << "not-running";
        QTest::newRow("journal, outcome of another case") << QStringList{"journal", "--outcome", "Success"} << 2
                                                          << "signature-untrusted-key";
        QTest::newRow("journal, unknown kind") << QStringList{"journal", "--kind", "x"} << 2 << "update, calibration or check";
        QTest::newRow("journal, no such day") << QStringList{"journal", "--since", "2026-13-01"} << 2 << "--since";
        QTest::newRow("journal, unknown action") << QStringList{"journal", "purge"} << 2 << "no action 'purge'";
        QTest::newRow("journal, --html outside report") << QStringList{"journal", "--html", "r.html"} << 2 << "--html";
        QTest::newRow("journal report, --html with --json") << QStringList{"journal", "report", "--json", "--html", "r.html"} << 2
                                                            << "--html";
        QTest::newRow("journal, password in the URI")
            << QStringList{"journal", "sync", "--journal", "postgresql://velmora:hunter2@db/velmora"} << 2 << "~/.pgpass";
        QTest::newRow("flash, port cannot be opened") << QStringList{"flash", "--port", noPort, "--product", "4", validPackage} << 4
                                                      << "";
        QTest::newRow("monitor, port cannot be opened") << QStringList{"monitor", "--port", noPort, "--product", "4"} << 4
                                                        << "Unable to open the serial port!";
        QTest::newRow("calibrate, port cannot be opened") << QStringList{"calibrate", "--port", noPort, "--product", "4"} << 4
                                                          << "Unable to open the serial port!";
        QTest::newRow("info, port cannot be opened") << QStringList{"info", "--port", noPort, "--product", "4"} << 4
                                                     << "Unable to open the serial port!";
    }
    void mistakesGetOneLineAndTheirStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, reason);
        CliProcess cli;
        QCOMPARE(cli.run(arguments), exitCode);
        const QString errors = cli.errors();
        QVERIFY2(errors.contains(reason), qPrintable(errors));
        if (exitCode == 3 && !reason.contains(QLatin1String("does not exist")))
            QVERIFY2(!errors.contains(QLatin1String("does not exist")), qPrintable(errors));
        if (exitCode == 2) {
            QCOMPARE(errors.count(QLatin1Char('\n')), 1);
            QVERIFY(cli.output().isEmpty());
        }
        // Nothing that failed may look like a success.
        QVERIFY(!cli.output().contains(QLatin1String("RUN")) || cli.output().contains(QLatin1String("FAILED")));
    }

    void everyCommandHasHelp_data()
    {
        QTest::addColumn<QString>("command");
        for (const char *command : {"ports", "monitor", "calibrate", "flash", "info", "station"})
            QTest::newRow(command) << QString::fromLatin1(command);
    }
    void everyCommandHasHelp()
    {
        QFETCH(QString, command);
        CliProcess cli;
        QCOMPARE(cli.run({command, QStringLiteral("--help")}), 0);
        const QString help = cli.output();
        QVERIFY2(help.startsWith(QStringLiteral("Usage: velmora-cli ") + command), qPrintable(help));
        // The exit statuses are documented with every command.
        QVERIFY(help.contains(QLatin1String("5    the package does not match")));
        QVERIFY(help.contains(QLatin1String("4    no answer from the gimbal")));
        QVERIFY(help.contains(QLatin1String("7    the port exists but cannot be opened")));
        if (command != QLatin1String("ports"))
            QVERIFY(help.contains(QLatin1String("4  K5-Delta")));
    }

    // A package refused for its signature is recorded by flash and station alike, before any
    // port is touched: the package, the word for why, and no chips.
    void aSignatureRefusalLeavesARecord_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("port");
        QTest::newRow("flash") << "flash" << dir.filePath(QStringLiteral("no-such-port"));
        QTest::newRow("station") << "station" << "";
    }
    void aSignatureRefusalLeavesARecord()
    {
        QFETCH(QString, command);
        QFETCH(QString, port);
        const QString journal = dir.filePath(command + QStringLiteral("-refusals.sqlite"));
        CliProcess cli;
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journal);
        QStringList arguments{command, QStringLiteral("--product"), QStringLiteral("4"), QStringLiteral("--require-signed")};
        if (!port.isEmpty())
            arguments << QStringLiteral("--port") << port << validPackage;
        else
            arguments << QStringLiteral("--package") << validPackage;
        QCOMPARE(cli.run(arguments), 3);
        const QList<QJsonObject> records = journalRecords(journal);
        QCOMPARE(records.size(), 1);
        const QJsonObject record = records.first();
        QCOMPARE(record[QStringLiteral("outcome")].toString(), QStringLiteral("unsigned"));
        QCOMPARE(record[QStringLiteral("port")].toString(), port);
        QCOMPARE(record[QStringLiteral("productRow")].toInt(), 4);
        const QJsonObject package = record[QStringLiteral("package")].toObject();
        QCOMPARE(package[QStringLiteral("name")].toString(), QStringLiteral("valid.ptz"));
        QCOMPARE(package[QStringLiteral("size")].toInteger(), QFileInfo(validPackage).size());
        QCOMPARE(package[QStringLiteral("sha256")].toString().size(), 64);
        QVERIFY(record[QStringLiteral("chips")].toArray().isEmpty());
        // Found by the word a person would filter on.
        QCOMPARE(journalRecords(journal, {QStringLiteral("--outcome"), QStringLiteral("unsigned")}).size(), 1);
    }

    void portsWithoutAdapterSaysSoOnStandardError()
    {
        CliProcess cli;
        QCOMPARE(cli.run({QStringLiteral("ports")}), 0);
        QCOMPARE(cli.output(), QString());
        QCOMPARE(cli.errors(), QStringLiteral("velmora-cli: no gimbal adapter found\n"));
    }

    void withoutPortSeveralAdaptersAreNamed()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a")), b = dir.filePath(QStringLiteral("b"));
        for (const QString &path : {a, b}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        CliProcess cli;
        QCOMPARE(cli.run({QStringLiteral("monitor"), QStringLiteral("--product"), QStringLiteral("4")}, 30000,
                         a + QLatin1Char(':') + b),
                 2);
        QCOMPARE(cli.errors(), QStringLiteral("velmora-cli: monitor: --port is required: 2 gimbal adapters are listed (%1, %2)\n")
                                   .arg(a, b));
    }

    void helpSaysHowToSeeDebugLines()
    {
        CliProcess cli;
        QCOMPARE(cli.run({QStringLiteral("--help")}), 0);
        QVERIFY(cli.output().contains(QLatin1String("--verbose")));
        QVERIFY(cli.output().contains(QLatin1String("QT_LOGGING_RULES")));
        CliProcess monitor;
        QCOMPARE(monitor.run({QStringLiteral("monitor"), QStringLiteral("--help")}), 0);
        QVERIFY(monitor.output().contains(QLatin1String("--verbose")));
    }

    void overviewListsTheCommands()
    {
        CliProcess cli;
        QCOMPARE(cli.run({QStringLiteral("--help")}), 0);
        for (const char *command : {"ports", "monitor", "calibrate", "flash", "info", "station"})
            QVERIFY(cli.output().contains(QStringLiteral("velmora-cli %1").arg(QLatin1String(command))));
    }
};

QTEST_GUILESS_MAIN(CliArgumentsTest)
#include "tst_cli_arguments.moc"
