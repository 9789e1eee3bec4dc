// velmora-cli flash against the simulator: each exit status comes from the fault that must cause
// it, the JSON reason and the English lines name what went wrong.
#include "CliProcess.h"
#include "FlashSession.h"
#include "MinisignTool.h"
#include "SimulatorProcess.h"
#include "UpdateHost.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QDir>
#include <QTemporaryDir>

namespace {

constexpr int kRunMs = 120000;

// The "reason" of the summary line of a --json run.
QString summaryReason(const QStringList &lines)
{
    for (const QString &line : lines) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        if (object.value(QLatin1String("event")).toString() == QLatin1String("summary"))
            return object.value(QLatin1String("reason")).toString();
    }
    return QString();
}

// The last request the simulated bootloader took, without the chip number of GET_INFO and the like.
QString lastRequest(SimulatorProcess &sim)
{
    const QStringList lines = sim.bootloaderLines();
    return lines.isEmpty() ? QString() : lines.constLast().section(QLatin1Char(' '), 0, 1);
}

bool hasChinese(const QString &text)
{
    return text.contains(QRegularExpression(QStringLiteral("[\\x{2E80}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]")));
}

} // namespace

class CliOutcomesTest : public QObject
{
    Q_OBJECT

private slots:
    void exitStatusFollowsTheFault_data()
    {
        QTest::addColumn<QStringList>("simulator");
        QTest::addColumn<int>("images");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("product");
        QTest::newRow("silent gimbal") << QStringList{QStringLiteral("--silent")} << 2 << 4 << "no-bootloader" << "" << QString();
        QTest::newRow("chain that comes round") << QStringList{QStringLiteral("--next-fault"), QStringLiteral("wrap")} << 2 << 4
                                                << "list-failed" << "" << QString();
        QTest::newRow("chip closed after the listing") << QStringList{QStringLiteral("--multi-chip"), QStringLiteral("--next-fault"),
                                                                      QStringLiteral("stuck")}
                                                       << 2 << 6 << "chip-info-failed" << "" << QStringLiteral("4");
        QTest::newRow("other hardware") << QStringList{QStringLiteral("--hardware"), QStringLiteral("0x0101,0x0201")} << 2 << 5
                                        << "hardware-mismatch" << "chip 2: hardware 0201, package 0102" << QString();
        QTest::newRow("more images than chips") << QStringList{QStringLiteral("--chips"), QStringLiteral("1")} << 2 << 5
                                                << "count-mismatch" << "package has 2 images, the gimbal has 1 chip" << QString();
        QTest::newRow("image larger than the flash") << QStringList{QStringLiteral("--page-count"), QStringLiteral("2")} << 2 << 5
                                                     << "flash-overflow" << "chip 1: image 3008 bytes, flash 2048 bytes" << QString();
        QTest::newRow("chain reordered after the listing") << QStringList{QStringLiteral("--reorder-after-listing")} << 2 << 6
                                                           << "chip-changed" << "chip 1: listed cpuid" << QString();
        QTest::newRow("stuck chain") << QStringList{QStringLiteral("--next-fault"), QStringLiteral("stuck")} << 2 << 6
                                     << "write-failed" << "writing chip 2 failed" << QString();
    }
    void exitStatusFollowsTheFault()
    {
        QFETCH(QStringList, simulator);
        QFETCH(int, images);
        QFETCH(int, exitCode);
        QFETCH(QString, reason);
        QFETCH(QString, detail);
        QFETCH(QString, product);
        QTemporaryDir dir;
        const QString package = dir.filePath(QStringLiteral("p.ptz"));
        QCOMPARE(writeTestPackage(package, QList<int>{3000, 1000}.mid(0, images), 9).size(), images);
        SimulatorProcess sim;
        QVERIFY(sim.start(QStringList{QStringLiteral("--role"), QStringLiteral("bootloader")} + simulator));
        const QStringList common{QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                                 product.isEmpty() ? QStringLiteral("0") : product, QStringLiteral("--connect-timeout"), QStringLiteral("5"), package};
        CliProcess json;
        const QString journal = dir.filePath(QStringLiteral("journal.sqlite"));
        json.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journal);
        QCOMPARE(json.run(common + QStringList{QStringLiteral("--json")}, kRunMs), exitCode);
        QCOMPARE(summaryReason(json.outputLines()), reason);
        QVERIFY2(json.output().contains(detail), qPrintable(json.output()));
        QVERIFY(!sim.bootloaderLines().contains(QStringLiteral("B RUN")));
        if (exitCode == 5) // refused before anything was written
            QVERIFY(sim.bootloaderLines().filter(QStringLiteral("WRITE_PAGE")).isEmpty());
        // A failed write leaves the gimbal restarted into its bootloader: RESTART is the last
        // request, and it left the port before the port was closed.
        if (exitCode == 6)
            QTRY_COMPARE(lastRequest(sim), QStringLiteral("B RESTART"));
        // One record, with the same reason word, and RESTART where the chips' turn had come.
        const QList<QJsonObject> records = journalRecords(journal);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first()[QStringLiteral("outcome")].toString(), reason);
        const bool restarted = exitCode == 6 || reason == QLatin1String("flash-overflow");
        QCOMPARE(records.first()[QStringLiteral("endCommand")].toString(), restarted ? QStringLiteral("restart") : QString());
        if (restarted)
            QTRY_VERIFY(sim.bootloaderLines().contains(QStringLiteral("B RESTART")));
    }

    // A package refused by its signature is refused before the port is opened: the gimbal hears
    // nothing. A good signature is named, and recorded with the update.
    void signaturesDecideBeforeAnythingIsSent_data()
    {
        QTest::addColumn<QString>("signer");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QString>("required");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("reason");
        // Said on standard error; ETC and USER stand for the two trusted-key folders.
        QTest::addColumn<QString>("words");
        QTest::newRow("trusted signer") << "maker" << false << "" << 0 << "signed" << "";
        QTest::newRow("trusted signer beside a file that is not a key") << "maker" << false << "" << 0 << "signed"
                                                                       << "trusted key skipped: USER/broken.pub: ";
        QTest::newRow("changed after signing") << "maker" << true << "" << 3 << "signature-invalid" << "p.ptz.minisig: ";
        QTest::newRow("untrusted signer") << "stranger" << false << "" << 3 << "signature-untrusted-key"
                                          << "trusted keys go in ETC or USER\n";
        QTest::newRow("user's key, signatures required by the system") << "maker" << false << "system" << 3
                                                                       << "signature-untrusted-key" << "trusted keys go in ETC\n";
        QTest::newRow("unsigned, signatures required by the flag") << "" << false << "flag" << 3 << "unsigned" << "";
        QTest::newRow("unsigned, signatures required by the system") << "" << false << "system" << 3 << "unsigned" << "";
    }
    void signaturesDecideBeforeAnythingIsSent()
    {
        QFETCH(QString, signer);
        QFETCH(bool, changed);
        QFETCH(QString, required);
        QFETCH(int, exitCode);
        QFETCH(QString, reason);
        QFETCH(QString, words);
        QTemporaryDir dir;
        const QDir keys(dir.path());
        const QString trustedFolder = dir.filePath(QStringLiteral("config/Velmora/trusted-keys"));
        QVERIFY(QDir().mkpath(trustedFolder) && QDir().mkpath(dir.filePath(QStringLiteral("etc"))));
        QVERIFY(MinisignTool::makeKey(keys, QStringLiteral("maker")) && MinisignTool::makeKey(keys, QStringLiteral("stranger")));
        QVERIFY(QFile::copy(keys.filePath(QStringLiteral("maker.pub")), trustedFolder + QStringLiteral("/maker.pub")));
        if (words.contains(QLatin1String("broken.pub"))) {
            QFile broken(trustedFolder + QStringLiteral("/broken.pub"));
            QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a key\n") > 0);
        }
        words.replace(QLatin1String("ETC"), dir.filePath(QStringLiteral("etc/trusted-keys")))
            .replace(QLatin1String("USER"), trustedFolder);
        const QString package = dir.filePath(QStringLiteral("p.ptz"));
        QCOMPARE(writeTestPackage(package, {3000, 1000}, 9).size(), 2);
        if (!signer.isEmpty())
            QVERIFY(MinisignTool::sign(keys, signer, package, QStringLiteral("K5 1.05 for the line")));
        if (changed) // the same size and still a valid package: only its signature can tell
            QCOMPARE(writeTestPackage(package, {3000, 1000}, 10).size(), 2);
        if (required == QLatin1String("system"))
            QVERIFY(QFile(dir.filePath(QStringLiteral("etc/require-signed"))).open(QIODevice::WriteOnly));

        SimulatorProcess sim;
        QVERIFY(sim.start({QStringLiteral("--role"), QStringLiteral("bootloader")}));
        CliProcess cli;
        cli.extraEnvironment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_SYSTEM_CONFIG_DIR"), dir.filePath(QStringLiteral("etc")));
        const QString journal = dir.filePath(QStringLiteral("journal.sqlite"));
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journal);
        QStringList arguments{QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                              QStringLiteral("0"), QStringLiteral("--json"), package};
        if (required == QLatin1String("flag"))
            arguments << QStringLiteral("--require-signed");
        QCOMPARE(cli.run(arguments, kRunMs), exitCode);
        QVERIFY2(cli.errors().contains(words), qPrintable(cli.errors()));
        const QJsonObject first = QJsonDocument::fromJson(cli.outputLines().value(0).toUtf8()).object();
        if (exitCode == 3) {
            QCOMPARE(first[QStringLiteral("event")].toString(), QStringLiteral("refused"));
            QCOMPARE(first[QStringLiteral("reason")].toString(), reason);
            QVERIFY(sim.bootloaderLines().isEmpty());
            // Recorded all the same: which package, refused why and by whose key; no chips.
            const QList<QJsonObject> records = journalRecords(journal);
            QCOMPARE(records.size(), 1);
            QCOMPARE(records.first()[QStringLiteral("outcome")].toString(), reason);
            const QJsonObject recorded = records.first()[QStringLiteral("package")].toObject();
            QCOMPARE(recorded[QStringLiteral("name")].toString(), QStringLiteral("p.ptz"));
            QCOMPARE(recorded[QStringLiteral("sha256")].toString().size(), 64);
            QCOMPARE(recorded[QStringLiteral("signatureKey")].toString(), first[QStringLiteral("keyId")].toString());
            QVERIFY(records.first()[QStringLiteral("chips")].toArray().isEmpty());
            return;
        }
        QCOMPARE(first[QStringLiteral("signature")].toString(), reason);
        MinisignKey maker;
        QString why;
        QVERIFY(TrustedKeys::loadFile(keys.filePath(QStringLiteral("maker.pub")), &maker, &why));
        QCOMPARE(first[QStringLiteral("keyId")].toString(), maker.idText());
        QCOMPARE(first[QStringLiteral("trustedComment")].toString(), QStringLiteral("K5 1.05 for the line"));
        const QList<QJsonObject> records = journalRecords(journal);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first()[QStringLiteral("package")].toObject()[QStringLiteral("signatureKey")].toString(), maker.idText());
    }

    void unpluggedDuringTheWriteIsAWriteFailure()
    {
        QTemporaryDir dir;
        const QString package = dir.filePath(QStringLiteral("big.ptz"));
        QCOMPARE(writeTestPackage(package, {60000, 60000}, 5).size(), 2);
        SimulatorProcess sim;
        QVERIFY(sim.start({QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--page-write-ms"),
                           QStringLiteral("20")}));
        CliProcess cli;
        const QString journal = dir.filePath(QStringLiteral("journal.sqlite"));
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journal);
        QVERIFY(cli.start({QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                           QStringLiteral("0"), QStringLiteral("--json"), package}));
        QTRY_VERIFY_WITH_TIMEOUT(!sim.bootloaderLines().filter(QStringLiteral("WRITE_PAGE")).isEmpty(), kRunMs);
        sim.stop();
        QCOMPARE(cli.finish(10000), 6);
        QCOMPARE(summaryReason(cli.outputLines()), QStringLiteral("port-lost"));
        // The lost adapter is named as the user named it, not by the terminal behind the link.
        QVERIFY2(cli.errors().contains(QStringLiteral("\"%1\" lost").arg(sim.path())), qPrintable(cli.errors()));
        QVERIFY(!cli.errors().contains(QLatin1String("/dev/pts/")));
        // Recorded as the session saw it: the first chip begun and failed, nothing sent at the end.
        const QList<QJsonObject> records = journalRecords(journal);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first()[QStringLiteral("outcome")].toString(), QStringLiteral("port-lost"));
        QCOMPARE(records.first()[QStringLiteral("endCommand")].toString(), QString());
        const QJsonArray chips = records.first()[QStringLiteral("chips")].toArray();
        QCOMPARE(chips.size(), 2);
        QCOMPARE(chips.at(0).toObject()[QStringLiteral("result")].toString(), QStringLiteral("failed"));
        QCOMPARE(chips.at(1).toObject()[QStringLiteral("result")].toString(), QStringLiteral("not-reached"));
    }

    void everyLineIsEnglishAndAnUpToDateChipSaysSo()
    {
        QTemporaryDir dir;
        const QString package = dir.filePath(QStringLiteral("p.ptz"));
        const QString flash = dir.filePath(QStringLiteral("flash"));
        QCOMPARE(writeTestPackage(package, {2000, 1000}, 4).size(), 2);
        const QStringList simulator{QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--flash-dir"), flash};
        for (int run = 0; run < 2; ++run) {
            SimulatorProcess sim;
            QVERIFY(sim.start(simulator));
            CliProcess cli;
            QCOMPARE(cli.run({QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"),
                              QStringLiteral("0"), package},
                             kRunMs),
                     0);
            const QString output = cli.output();
            QVERIFY2(!hasChinese(output), qPrintable(output));
            QVERIFY2(output.contains(QLatin1String("image 2: structure 4B35, hardware 0102, firmware V1.00")), qPrintable(output));
            // The second run finds both chips already holding their images.
            QCOMPARE(output.contains(QLatin1String("chip 1: already up to date")), run == 1);
            QCOMPARE(output.contains(QLatin1String("chip 2: already up to date")), run == 1);
            // A run that wrote nothing ends saying so, not that it wrote the new firmware.
            const QString last = cli.outputLines().constLast();
            QVERIFY2(last.contains(QLatin1String("UP TO DATE")) == (run == 1), qPrintable(last));
            QVERIFY2(last.contains(QLatin1String("nothing written")) == (run == 1), qPrintable(last));
            QVERIFY2(last.contains(QLatin1String("RUN")) == (run == 0), qPrintable(last));
            // The new firmware was started: RUN left the port before the port was closed.
            QTRY_COMPARE(lastRequest(sim), QStringLiteral("B RUN"));
        }
    }
};

QTEST_GUILESS_MAIN(CliOutcomesTest)
#include "tst_cli_outcomes.moc"
