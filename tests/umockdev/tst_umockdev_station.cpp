// velmora-cli station on a mocked bench: 10C4:EA60 adapters plugged in and pulled out by udev
// events, a simulated gimbal in its bootloader behind each /dev/ttyUSBn, the journal read back.
#include "CliProcess.h"
#include "BenchSlot.h"
#include "JournalStore.h"
#include "UdevTestbed.h"
#include "../common/TestPackages.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>

#include <csignal>

namespace {

constexpr int kStepMs = 60000;
const QString kRun = BenchSlot::Run;
const QString kRestart = QStringLiteral("B RESTART");

// A station run with its own journal file and station name.
struct StationRun
{
    explicit StationRun(const QTemporaryDir &dir)
        : journalFile(dir.filePath(QStringLiteral("journal%1.sqlite").arg(++runs)))
    {
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journalFile);
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_STATION"), QStringLiteral("bench-7"));
    }
    bool start(const QString &package, const QStringList &more = {QStringLiteral("--json")})
    {
        return cli.start(QStringList{QStringLiteral("station"), QStringLiteral("--package"), package, QStringLiteral("--product"),
                                     QStringLiteral("0"), QStringLiteral("--connect-timeout"), QStringLiteral("10")}
                         + more);
    }
    // The JSON events of `kind` so far.
    QList<QJsonObject> events(const QString &kind)
    {
        QList<QJsonObject> found;
        for (const QString &text : cli.outputLines()) {
            const QJsonObject object = QJsonDocument::fromJson(text.toUtf8()).object();
            if (object.value(QLatin1String("event")).toString() == kind)
                found.append(object);
        }
        return found;
    }
    int exitStatus()
    {
        QProcess &process = cli.qprocess();
        if (process.state() != QProcess::NotRunning) {
            QSignalSpy finished(&process, &QProcess::finished);
            if (!finished.wait(kStepMs))
                return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    // Oldest first: (port, adapter serial, outcome, failed chip, end command, station).
    QList<QStringList> journalRows()
    {
        JournalStore store;
        QString error;
        if (!store.open(JournalStore::Backend::Local, journalFile, 2000, &error)) {
            qWarning("journal: %s", qPrintable(error));
            return {};
        }
        QList<QStringList> rows;
        for (const JournalRecord &r : store.find(JournalFilter{}, &error))
            rows.prepend({r.port, r.adapterSerial, r.outcome, QString::number(r.failedChip), r.endCommand, r.station});
        return rows;
    }

    static inline int runs = 0;
    QString journalFile;
    CliProcess cli;
};

// What a gimbal with the two default chips hears in a whole update in single-address mode
// with images of these sizes: the listing, then each chip's check, pages and check, then RUN.
QStringList wholeUpdate(int firstSize, int secondSize)
{
    QStringList requests{"B GET_INFO 1", "B RESTART", "B GET_INFO 1", "B NEXT 1", "B GET_INFO 2", "B NEXT 2 refused 3", "B RESTART"};
    int chip = 1;
    for (int size : {firstSize, secondSize}) {
        const QString crc = QStringLiteral("B READ_CRC %1 %2").arg(chip).arg((size + 15) / 16 * 16);
        if (chip == 2)
            requests << QStringLiteral("B NEXT 1") << QStringLiteral("B GET_INFO 2");
        else
            requests << QStringLiteral("B GET_INFO 1");
        requests << crc;
        for (int page = 0; page < (size + 1023) / 1024; ++page)
            requests << QStringLiteral("B WRITE_PAGE %1 %2").arg(chip).arg(page);
        requests << crc;
        if (chip == 1)
            requests << QStringLiteral("B GET_INFO 1");
        ++chip;
    }
    return requests << kRun;
}

// Whether `requests` is the start of a whole update cut after a page of chip 1, then `last`.
bool cutInFirstChip(const QStringList &requests, const QString &last)
{
    const QStringList whole = wholeUpdate(12000, 5000);
    const QStringList before = last.isEmpty() ? requests : requests.mid(0, requests.size() - 1);
    return !before.isEmpty() && before.last().startsWith(QLatin1String("B WRITE_PAGE 1 ")) && whole.mid(0, before.size()) == before
           && (last.isEmpty() || requests.last() == last);
}

QStringList row(const QString &port, const BenchSlot &slot, const char *outcome, int failedChip, const char *endCommand)
{
    return {port, slot.serial, QLatin1String(outcome), QString::number(failedChip), QLatin1String(endCommand),
            QStringLiteral("bench-7")};
}

} // namespace

class UmockdevStationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!UdevTestbed::preloaded())
            QSKIP(qPrintable(UdevTestbed::notPreloadedReason()));
        qunsetenv("VELMORA_VIRTUAL_PORTS");
        QVERIFY(dir.isValid());
        package = dir.filePath(QStringLiteral("two.ptz"));
        images = writeTestPackage(package, {12000, 5000}, 11);
        QCOMPARE(images.size(), 2);
    }

    // One adapter is there at the start, another is plugged in while the first stays: each is
    // updated once, and the first is not taken again when the second appears.
    void adaptersPresentAndPluggedAreEachUpdatedOnce()
    {
        UdevTestbed testbed;
        BenchSlot first(testbed, 0, dir.filePath(QStringLiteral("once0")));
        BenchSlot second(testbed, 1, dir.filePath(QStringLiteral("once1")));
        QVERIFY(first.plug());
        StationRun station(dir);
        QVERIFY(station.start(package));
        QTRY_VERIFY_WITH_TIMEOUT(first.ended(kRun), kStepMs);
        QVERIFY(second.plug());
        QTRY_VERIFY_WITH_TIMEOUT(station.events(QStringLiteral("done")).size() == 2, kStepMs);
        station.cli.signal(SIGINT);
        QCOMPARE(station.exitStatus(), 0);

        for (BenchSlot *slot : {&first, &second}) {
            QCOMPARE(slot->powerUps(), QList<QStringList>{wholeUpdate(12000, 5000)});
            QString mismatch;
            QVERIFY2(flashHoldsImages(dir.filePath(QStringLiteral("once%1").arg(slot == &first ? 0 : 1)), images, &mismatch),
                     qPrintable(mismatch));
        }
        QCOMPARE(station.journalRows(), (QList<QStringList>{row(first.tty, first, "success", 0, "run"), row(second.tty, second, "success", 0, "run")}));
        const QJsonObject exit = station.events(QStringLiteral("exit")).value(0);
        QCOMPARE(exit.value(QLatin1String("updated")).toInt(), 2);
        QCOMPARE(exit.value(QLatin1String("failed")).toInt(), 0);
    }

    // Pulled out in the middle of its first chip, the gimbal ends as failed at chip 1; plugged
    // in again, it is updated from the start, and the run counts it as updated.
    void adapterPulledMidWriteStartsOverWhenPluggedAgain()
    {
        UdevTestbed testbed;
        BenchSlot slot(testbed, 2, dir.filePath(QStringLiteral("pulled")));
        StationRun station(dir);
        QVERIFY(station.start(package, {QStringLiteral("--json"), QStringLiteral("--count"), QStringLiteral("1")}));
        QTRY_VERIFY_WITH_TIMEOUT(!station.events(QStringLiteral("started")).isEmpty(), kStepMs);
        QVERIFY(slot.plug());
        QTRY_VERIFY_WITH_TIMEOUT(slot.pagesWritten() >= 3, kStepMs);
        slot.pull();
        QTRY_VERIFY_WITH_TIMEOUT(station.events(QStringLiteral("done")).size() == 1, kStepMs);
        const QJsonObject cut = station.events(QStringLiteral("done")).first();
        QCOMPARE(cut.value(QLatin1String("result")).toString(), QStringLiteral("failed"));
        QCOMPARE(cut.value(QLatin1String("reason")).toString(), QStringLiteral("port-lost"));
        QCOMPARE(cut.value(QLatin1String("chip")).toInt(), 1);
        const QString firstPort = slot.tty;
        QVERIFY(slot.plug());
        QCOMPARE(station.exitStatus(), 0);

        const QList<QStringList> powerUps = slot.powerUps();
        QCOMPARE(powerUps.size(), 2);
        QVERIFY2(cutInFirstChip(powerUps.first(), QString()), qPrintable(powerUps.first().join(QLatin1String(", "))));
        QCOMPARE(powerUps.last(), wholeUpdate(12000, 5000));
        QString mismatch;
        QVERIFY2(flashHoldsImages(dir.filePath(QStringLiteral("pulled")), images, &mismatch), qPrintable(mismatch));
        const QList<QStringList> rows = station.journalRows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0), row(firstPort, slot, "port-lost", 1, ""));
        QCOMPARE(rows.at(1), row(slot.tty, slot, "success", 0, "run"));
    }

    // The first Ctrl-C lets the write finish with RUN and takes no gimbal plugged in after it;
    // a second one cancels the write, which ends with RESTART.
    void interruptDuringWrite_data()
    {
        QTest::addColumn<int>("interrupts");
        QTest::addColumn<QString>("last");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("once: the write finishes") << 1 << kRun << 0 << QStringLiteral("success");
        QTest::newRow("twice: the write is cancelled") << 2 << kRestart << 130 << QStringLiteral("cancelled");
    }
    void interruptDuringWrite()
    {
        QFETCH(int, interrupts);
        QFETCH(QString, last);
        QFETCH(int, exitStatus);
        QFETCH(QString, outcome);
        UdevTestbed testbed;
        BenchSlot writing(testbed, 3, dir.filePath(QStringLiteral("ctrlc%1").arg(interrupts)));
        BenchSlot late(testbed, 4, dir.filePath(QStringLiteral("late%1").arg(interrupts)));
        QVERIFY(writing.plug());
        StationRun station(dir);
        QVERIFY(station.start(package));
        QTRY_VERIFY_WITH_TIMEOUT(writing.pagesWritten() >= 1, kStepMs);
        station.cli.signal(SIGINT);
        QTRY_VERIFY_WITH_TIMEOUT(!station.events(QStringLiteral("stopping")).isEmpty(), kStepMs);
        QVERIFY(late.plug());
        if (interrupts == 2)
            station.cli.signal(SIGINT);
        QCOMPARE(station.exitStatus(), exitStatus);

        QTRY_VERIFY_WITH_TIMEOUT(writing.ended(last), kStepMs);
        const QList<QStringList> powerUps = writing.powerUps();
        QCOMPARE(powerUps.size(), 1);
        if (interrupts == 1)
            QCOMPARE(powerUps.first(), wholeUpdate(12000, 5000));
        else
            QVERIFY2(cutInFirstChip(powerUps.first(), kRestart), qPrintable(powerUps.first().join(QLatin1String(", "))));
        QCOMPARE(late.device->bytesReceived(), 0);
        const QList<QStringList> rows = station.journalRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().value(2), outcome);
        QCOMPARE(rows.first().value(4), interrupts == 2 ? QStringLiteral("restart") : QStringLiteral("run"));
        // The station names the end with the journal's word.
        QCOMPARE(station.events(QStringLiteral("done")).value(0).value(QLatin1String("reason")).toString(), outcome);
    }

    // --check: after RUN the same port is asked in the runtime protocol whether the new
    // firmware runs; only a running one counts as updated, and the journal keeps the result.
    void checkTellsWhetherTheNewFirmwareRuns_data()
    {
        QTest::addColumn<int>("afterRun");
        QTest::addColumn<QString>("check");
        QTest::addColumn<int>("exitStatus");
        QTest::newRow("starts") << int(RoleSettings::NewFirmware::Starts) << QStringLiteral("running") << 0;
        QTest::newRow("never answers") << int(RoleSettings::NewFirmware::Silent) << QStringLiteral("no-answer") << 1;
        QTest::newRow("reads 3 g at rest") << int(RoleSettings::NewFirmware::Nonsense) << QStringLiteral("implausible") << 1;
        QTest::newRow("stays in its bootloader") << int(RoleSettings::NewFirmware::None) << QStringLiteral("no-answer") << 1;
    }
    void checkTellsWhetherTheNewFirmwareRuns()
    {
        QFETCH(int, afterRun);
        QFETCH(QString, check);
        QFETCH(int, exitStatus);
        UdevTestbed testbed;
        BenchSlot slot(testbed, 7, dir.filePath(QStringLiteral("check%1").arg(afterRun)), RoleSettings::NewFirmware(afterRun));
        QVERIFY(slot.plug());
        StationRun station(dir);
        QVERIFY(station.start(package, {QStringLiteral("--json"), QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--check")}));
        QCOMPARE(station.exitStatus(), exitStatus);

        QCOMPARE(slot.powerUps(), QList<QStringList>{wholeUpdate(12000, 5000)});
        const QJsonObject done = station.events(QStringLiteral("done")).value(0);
        QCOMPARE(done.value(QLatin1String("check")).toString(), check);
        QCOMPARE(done.value(QLatin1String("result")).toString(), exitStatus == 0 ? QStringLiteral("updated") : QStringLiteral("failed"));
        JournalStore store;
        QString error;
        QVERIFY2(store.open(JournalStore::Backend::Local, station.journalFile, 2000, &error), qPrintable(error));
        const QList<JournalRecord> records = store.find(JournalFilter{}, &error);
        QCOMPARE(records.size(), 1);
        // A gimbal whose new firmware does not run is no success on record either.
        QCOMPARE(records.first().outcome, exitStatus == 0 ? QStringLiteral("success") : QStringLiteral("not-running"));
        QCOMPARE(records.first().checkResult, check);
        QCOMPARE(records.first().toJson().value(QLatin1String("check")).toString(), check);
    }

    // Piped, the station prints plain lines: the adapter, its end and the tally after it.
    void plainLinesWhenPiped()
    {
        UdevTestbed testbed;
        BenchSlot slot(testbed, 8, dir.filePath(QStringLiteral("plain")));
        QVERIFY(slot.plug());
        StationRun station(dir);
        QVERIFY(station.start(package, {QStringLiteral("--count"), QStringLiteral("1")}));
        QCOMPARE(station.exitStatus(), 0);
        const QStringList lines = station.cli.outputLines();
        QVERIFY2(lines.filter(QRegularExpression(QStringLiteral("^ttyUSB8 +A008 +plugged in$"))).size() == 1, qPrintable(lines.join('\n')));
        QVERIFY(lines.filter(QRegularExpression(QStringLiteral("^ttyUSB8 +A008 +chip 2/2 +UPDATED "))).size() == 1);
        QCOMPARE(lines.filter(QStringLiteral("updated 1  already up to date 0  failed 0")).size(), 2);
        QCOMPARE(lines.last(), QStringLiteral("Station ended: updated 1  already up to date 0  failed 0 (exit 0)"));
        QVERIFY(!station.cli.output().contains(QLatin1Char('\x1b')));
    }

    // The package file is replaced (by another valid package) while the first gimbal is being
    // written: both gimbals get the package as it was read at the start.
    void packageReplacedOnDiskIsNotWritten()
    {
        const QString changing = dir.filePath(QStringLiteral("changing.ptz"));
        const QList<QByteArray> original = writeTestPackage(changing, {9000, 4000}, 21);
        UdevTestbed testbed;
        BenchSlot first(testbed, 5, dir.filePath(QStringLiteral("replaced0")));
        BenchSlot second(testbed, 6, dir.filePath(QStringLiteral("replaced1")));
        QVERIFY(first.plug());
        StationRun station(dir);
        QVERIFY(station.start(changing, {QStringLiteral("--json"), QStringLiteral("--count"), QStringLiteral("2")}));
        QTRY_VERIFY_WITH_TIMEOUT(first.pagesWritten() >= 1, kStepMs);
        QCOMPARE(writeTestPackage(changing, {9000, 4000}, 22).size(), 2);
        QVERIFY(second.plug());
        QCOMPARE(station.exitStatus(), 0);

        for (const QString &flash : {QStringLiteral("replaced0"), QStringLiteral("replaced1")}) {
            QString mismatch;
            QVERIFY2(flashHoldsImages(dir.filePath(flash), original, &mismatch), qPrintable(flash + QLatin1Char(' ') + mismatch));
        }
        QCOMPARE(first.powerUps(), QList<QStringList>{wholeUpdate(9000, 4000)});
        QCOMPARE(second.powerUps(), QList<QStringList>{wholeUpdate(9000, 4000)});
    }

private:
    QTemporaryDir dir;
    QString package;
    QList<QByteArray> images;
};

QTEST_GUILESS_MAIN(UmockdevStationTest)
#include "tst_umockdev_station.moc"
