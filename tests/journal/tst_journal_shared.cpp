// The shared journal on a real PostgreSQL server: every record reaches it exactly once, through
// a restart, a killed writer, a refused insert and a resend; a station's role that may only
// insert and read does all a station does; a server that refuses or does not answer never costs
// more than its budget or shows a password.
#include "Journal.h"
#include "JournalSamples.h"
#include "JournalSender.h"
#include "JournalStore.h"
#include "PgCluster.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <csignal>
#include <memory>
#include <utility>

namespace {

QString writerProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/journal_writer");
}

} // namespace

class JournalSharedTest : public QObject
{
    Q_OBJECT

private:
    PgCluster pg;
    QTemporaryDir dir;
    int fileNumber = 0;

    JournalConfig config()
    {
        JournalConfig c;
        c.localPath = dir.filePath(QStringLiteral("journal-%1.sqlite").arg(++fileNumber));
        c.sharedUri = pg.uri();
        c.station = QStringLiteral("bench-1");
        return c;
    }

    std::unique_ptr<QProcess> writer(const JournalConfig &c, const QStringList &arguments)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), c.localPath);
        env.insert(QStringLiteral("VELMORA_JOURNAL"), c.sharedUri);
        process->setProcessEnvironment(env);
        process->start(writerProgram(), arguments);
        return process;
    }

    int onServer() { return pg.count(QStringLiteral("SELECT count(*) FROM records")); }

    // What a line grants its stations, as the README says; the yield views once they are made.
    bool grantStation(const QString &database, bool views = true)
    {
        return pg.exec(QStringLiteral("GRANT CONNECT ON DATABASE %1 TO station; GRANT USAGE ON SCHEMA public TO station; "
                                      "GRANT SELECT, INSERT ON records, chips, velmora_schema TO station")
                           .arg(database)
                           + (views ? QStringLiteral("; GRANT SELECT, INSERT ON measurements TO station; "
                                                     "GRANT SELECT ON update_attempts, gimbal_yield, station_yield, failure_pareto, "
                                                     "firmware_written, calibration_failures, check_measurements TO station")
                                    : QString()),
                       nullptr, database);
    }

    // velmora-cli with `arguments` on the journal of `c`; its exit status, and what it printed.
    int cli(const JournalConfig &c, const QStringList &arguments, QString *out, QString *err = nullptr,
            const QString &tz = QString())
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), c.localPath);
        env.remove(QStringLiteral("VELMORA_JOURNAL"));
        if (!tz.isEmpty())
            env.insert(QStringLiteral("TZ"), tz);
        process.setProcessEnvironment(env);
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/velmora-cli"), arguments);
        if (!process.waitForFinished(30000))
            return -1;
        *out = QString::fromUtf8(process.readAllStandardOutput());
        if (err)
            *err = QString::fromUtf8(process.readAllStandardError());
        return process.exitCode();
    }

private slots:
    // The database's owner makes the tables; the stations' role may only insert and read them.
    void initTestCase()
    {
        QVERIFY2(pg.start(), qPrintable(pg.error));
        JournalStore owner;
        QString error;
        QVERIFY2(owner.open(JournalStore::Backend::Shared, pg.uri(), 2000, &error), qPrintable(error));
        QVERIFY(pg.exec(QStringLiteral("CREATE ROLE station LOGIN"), nullptr, QStringLiteral("postgres")));
        QVERIFY(grantStation(QStringLiteral("velmora")));
        // A role that may read the journal but add nothing to it.
        QVERIFY(pg.exec(QStringLiteral("CREATE ROLE reader LOGIN"), nullptr, QStringLiteral("postgres")));
        QVERIFY(pg.exec(QStringLiteral("GRANT USAGE ON SCHEMA public TO reader; "
                                       "GRANT SELECT ON records, chips, velmora_schema TO reader")));
    }

    void init()
    {
        pg.writePassFile(QString::fromLatin1(PgCluster::Password));
        if (onServer() > 0)
            QVERIFY(pg.exec(QStringLiteral("TRUNCATE measurements, chips, records")));
    }

    void everyRecordArrivesOnceThroughAServerRestart()
    {
        const JournalConfig c = config();
        constexpr int Writers = 4, Each = 25;
        std::vector<std::unique_ptr<QProcess>> writers;
        for (int i = 0; i < Writers; ++i)
            writers.push_back(writer(c, {QString::number(Each), QStringLiteral("--send"), QStringLiteral("--spread"), QStringLiteral("20")}));
        // Down once some records have arrived, up again while the writers go on.
        QTRY_VERIFY_WITH_TIMEOUT(onServer() >= 10, 30000);
        QVERIFY(pg.stopServer());
        QVERIFY(pg.startServer());
        for (auto &process : writers) {
            QVERIFY(process->waitForFinished(60000));
            QVERIFY2(process->exitCode() == 0, process->readAllStandardError().right(3000).constData());
        }
        QCOMPARE(onServer(), Writers * Each);
        QCOMPARE(pg.count(QStringLiteral("SELECT count(DISTINCT id) FROM records")), Writers * Each);
        QCOMPARE(pg.count(QStringLiteral("SELECT count(*) FROM chips")), Writers * (Each / 2 + 1) * 2);
        JournalStore local;
        QString error;
        QVERIFY(local.open(JournalStore::Backend::Local, c.localPath, 1000, &error));
        QCOMPARE(local.waitingCount(&error), 0);
        QCOMPARE(local.find({}, &error).size(), Writers * Each);
    }

    void aWriterKilledBeforeSendingLosesNothing()
    {
        const JournalConfig c = config();
        auto held = writer(c, {QStringLiteral("5"), QStringLiteral("--send"), QStringLiteral("--hold")});
        QVERIFY(held->waitForReadyRead(30000));
        QCOMPARE(held->readAllStandardOutput().trimmed(), QByteArray("written 5"));
        held->kill();
        held->waitForFinished();
        QCOMPARE(onServer(), 0);
        Journal journal(c);
        QString error;
        QCOMPARE(journal.sendWaiting(2500, &error), 5);
        QCOMPARE(onServer(), 5);
    }

    // The server committed, then the sender died before it marked the records sent.
    void aResendAfterTheServerCommittedDoesNotDouble()
    {
        const JournalConfig c = config();
        Journal journal(c);
        QVERIFY(journal.record(JournalSamples::update()));
        QVERIFY(journal.record(JournalSamples::checkedCalibration(false)));
        JournalRecord check = JournalSamples::check();
        check.measurements[0].value = std::nan("");
        QVERIFY(journal.record(check));
        QString error;
        QCOMPARE(journal.sendWaiting(2500, &error), 3);
        QVERIFY(QSqlQuery(journal.local(&error)->database()).exec(QStringLiteral("UPDATE records SET sent_at = NULL")));
        QCOMPARE(journal.sendWaiting(2500, &error), 3);
        QCOMPARE(onServer(), 3);
        QCOMPARE(pg.count(QStringLiteral("SELECT count(*) FROM chips")), 2);
        // The measurements came with their records, once, and read back from the server as written.
        QCOMPARE(pg.count(QStringLiteral("SELECT count(*) FROM measurements")), 10);
        QCOMPARE(pg.count(QStringLiteral("SELECT count(*) FROM check_measurements WHERE NOT passed")), 2);
        JournalStore server;
        QVERIFY2(server.open(JournalStore::Backend::Shared, pg.uri(), 2000, &error), qPrintable(error));
        const QList<JournalRecord> here = journal.local(&error)->find({}, &error), there = server.find({}, &error);
        QCOMPARE(there.size(), here.size());
        for (qsizetype i = 0; i < here.size(); ++i)
            QCOMPARE(there.at(i).toJson(), here.at(i).toJson());
    }

    // Everything a station does, through a role that may only insert and read: nothing is
    // made or changed on opening, a resend is passed over, and history cannot be rewritten.
    void aStationRoleThatMayOnlyInsertAndReadDoesAllAStationDoes()
    {
        JournalStore station;
        QString error;
        QVERIFY2(station.open(JournalStore::Backend::Shared, pg.uri(QStringLiteral("station")), 2000, &error), qPrintable(error));
        QCOMPARE(station.schemaVersion(&error), JournalSchema::latest());
        JournalRecord update = JournalSamples::update(0x5A3F0012);
        update.unitSerial = QStringLiteral("SN-0042");
        QVERIFY2(station.append({update, JournalSamples::calibration()}, &error), qPrintable(error));
        QVERIFY2(station.append({update}, &error), qPrintable(error));
        JournalFilter byChip;
        byChip.cpuid = 0x5A3F0012;
        QCOMPARE(station.find(byChip, &error).value(0).toJson(), update.toJson());
        JournalFilter byText;
        byText.text = QStringLiteral("3f001");
        QCOMPARE(station.find(byText, &error).size(), 1);
        QCOMPARE(station.find({}, &error).size(), 2);
        for (const char *sql : {"UPDATE records SET outcome = 'success'", "DELETE FROM chips", "DELETE FROM records"}) {
            QSqlQuery change(station.database());
            QVERIFY2(!change.exec(QLatin1String(sql)), sql);
            QVERIFY2(change.lastError().databaseText().contains(QLatin1String("permission denied")), sql);
        }
        QCOMPARE(onServer(), 2);

        // The sender and every journal command, through the same role, say nothing amiss.
        JournalConfig c = config();
        c.sharedUri = pg.uri(QStringLiteral("station"));
        {
            JournalConfig offline = c;
            offline.sharedUri.clear();
            Journal journal(offline);
            QVERIFY(journal.record(JournalSamples::calibration()));
        }
        Journal journal(c);
        QVERIFY(journal.record(JournalSamples::update()));
        QCOMPARE(journal.sendWaiting(2500, &error), 2);
        QVERIFY(journal.record(JournalSamples::update()));
        const QStringList shared{QStringLiteral("--journal"), c.sharedUri};
        for (const QString &action : {QStringLiteral("status"), QStringLiteral("sync"), QStringLiteral("list")}) {
            QString out, err;
            QCOMPARE(cli(c, QStringList{QStringLiteral("journal"), action} + shared, &out, &err), 0);
            QVERIFY2(err.isEmpty(), qPrintable(err));
        }
        QCOMPARE(onServer(), 5);
    }

    // A journal that needs tables or an upgrade the role may not make is refused untouched, with
    // the remedy; the owner's 'journal init' makes it, and the station goes on.
    void aRoleThatMayNotUpgradeIsToldToRunInitAndChangesNothing_data()
    {
        QTest::addColumn<int>("ownerMade");
        QTest::addColumn<QString>("said");
        QTest::newRow("no tables yet") << 0 << QStringLiteral("tables made, journal version %1").arg(JournalSchema::latest());
        QTest::newRow("tables at version 3") << 3 << QStringLiteral("upgraded from journal version 3 to %1").arg(JournalSchema::latest());
        QTest::newRow("tables at version 5") << 5 << QStringLiteral("upgraded from journal version 5 to %1").arg(JournalSchema::latest());
    }

    void aRoleThatMayNotUpgradeIsToldToRunInitAndChangesNothing()
    {
        QFETCH(int, ownerMade);
        QFETCH(QString, said);
        const QString database = QStringLiteral("older_%1").arg(ownerMade);
        QVERIFY(pg.exec(QStringLiteral("CREATE DATABASE %1 OWNER velmora").arg(database), nullptr, QStringLiteral("postgres")));
        QString error;
        if (ownerMade > 0) {
            JournalStore owner;
            QVERIFY2(owner.openAtVersion(JournalStore::Backend::Shared, pg.uri(QStringLiteral("velmora"), database), 2000,
                                         ownerMade, &error),
                     qPrintable(error));
            QVERIFY(grantStation(database, false));
        }
        const QString tables = QStringLiteral("SELECT count(*) FROM information_schema.columns WHERE table_schema = 'public'");
        const int columnsBefore = pg.count(tables, database);

        JournalStore station;
        QVERIFY(!station.open(JournalStore::Backend::Shared, pg.uri(QStringLiteral("station"), database), 2000, &error));
        QVERIFY2(error.contains(QLatin1String("'velmora-cli journal init'")) && error.contains(QLatin1String("may not")),
                 qPrintable(error));
        QCOMPARE(pg.count(tables, database), columnsBefore);
        if (ownerMade > 0)
            QCOMPARE(pg.count(QStringLiteral("SELECT max(version) FROM velmora_schema"), database), ownerMade);

        JournalConfig c = config();
        QString out, err;
        QCOMPARE(cli(c, {QStringLiteral("journal"), QStringLiteral("init"), QStringLiteral("--journal"), pg.uri(QStringLiteral("velmora"), database)},
                     &out, &err),
                 0);
        QVERIFY2(out.contains(said), qPrintable(out + err));
        QCOMPARE(cli(c, {QStringLiteral("journal"), QStringLiteral("init"), QStringLiteral("--journal"), pg.uri(QStringLiteral("velmora"), database)},
                     &out),
                 0);
        QVERIFY2(out.contains(QStringLiteral("already at journal version %1").arg(JournalSchema::latest())), qPrintable(out));
        if (ownerMade > 0) {
            // The upgrade let the stations that may add chips add the measurements too.
            error.clear();
            QVERIFY2(station.open(JournalStore::Backend::Shared, pg.uri(QStringLiteral("station"), database), 2000, &error),
                     qPrintable(error));
            QCOMPARE(station.mayAppend(&error), 1);
            QVERIFY2(station.append({JournalSamples::check()}, &error), qPrintable(error));
            QCOMPARE(station.find({}, &error).value(0).measurements.size(), 5);
        }
        QVERIFY(grantStation(database));
        error.clear();
        QVERIFY2(station.open(JournalStore::Backend::Shared, pg.uri(QStringLiteral("station"), database), 2000, &error), qPrintable(error));
        QVERIFY2(station.append({JournalSamples::update()}, &error), qPrintable(error));
    }

    // An upgrade rewrites every record: a line's journal takes longer than a station's statement
    // time-out allows one write, and the upgrade still completes (and derives every record's values).
    void anUpgradeOfManyRecordsOutlastsTheStatementTimeout()
    {
        QVERIFY(pg.exec(QStringLiteral("CREATE DATABASE many_records OWNER velmora"), nullptr, QStringLiteral("postgres")));
        const QString uri = pg.uri(QStringLiteral("velmora"), QStringLiteral("many_records"));
        QString error;
        {
            JournalStore older;
            QVERIFY2(older.openAtVersion(JournalStore::Backend::Shared, uri, 2000, 4, &error), qPrintable(error));
        }
        QVERIFY(pg.exec(QStringLiteral("INSERT INTO records (id, kind, started, ended, station, version, outcome) SELECT 'r' || i, "
                                       "'update', now(), now() + interval '30 seconds', 's1', '1', 'success' FROM "
                                       "generate_series(1, 60000) AS i"),
                        nullptr, QStringLiteral("many_records")));
        JournalStore owner;
        QVERIFY2(owner.open(JournalStore::Backend::Shared, uri, 150, &error), qPrintable(error));
        QCOMPARE(pg.count(QStringLiteral("SELECT count(*) FROM records WHERE started_ms IS NOT NULL AND passed = 1"),
                          QStringLiteral("many_records")),
                 60000);
    }

    // Without a shared journal, 'journal init' brings the local file up to date, and refuses one
    // a newer program wrote.
    void journalInitWithoutASharedJournalTakesTheLocalFile_data()
    {
        QTest::addColumn<int>("made");
        QTest::addColumn<int>("stamped");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        const int latest = JournalSchema::latest();
        QTest::newRow("older file") << 3 << 3 << 0 << QStringLiteral("upgraded from journal version 3 to %1").arg(latest);
        QTest::newRow("file of a newer program") << latest << latest + 1 << 8 << "newer Velmora";
        // A development build numbered its own tables 5 to 8: the same number is not the same tables.
        QTest::newRow("file of a development build") << 4 << 5 << 8 << "development build";
        QTest::newRow("file of a development build at 6") << 5 << 6 << 8 << "development build";
        QTest::newRow("file at version 5") << 5 << 5 << 0 << QStringLiteral("upgraded from journal version 5 to %1").arg(latest);
    }

    void journalInitWithoutASharedJournalTakesTheLocalFile()
    {
        QFETCH(int, made);
        QFETCH(int, stamped);
        QFETCH(int, status);
        QFETCH(QString, said);
        const JournalConfig c = config();
        QString error;
        {
            JournalStore old;
            QVERIFY(old.openAtVersion(JournalStore::Backend::Local, c.localPath, 1000, made, &error));
            QVERIFY(QSqlQuery(old.database()).exec(QStringLiteral("PRAGMA user_version=%1").arg(stamped)));
        }
        QString out, err;
        QCOMPARE(cli(c, {QStringLiteral("journal"), QStringLiteral("init")}, &out, &err), status);
        QVERIFY2((out + err).contains(said), qPrintable(out + err));
        if (status == 0) {
            JournalStore after;
            QVERIFY(after.open(JournalStore::Backend::Local, c.localPath, 1000, &error));
            QCOMPARE(after.versionFound(), JournalSchema::latest());
        }
    }

    // Records kept while the server was away, or while it refused them, wait locally and reach
    // it once it takes them again, without a new record to wake the sender; the refusal is said
    // once, however often the sender retries.
    void recordsHeldBackArriveWhenTheServerTakesThemAgain_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("server stopped") << "stopped";
        QTest::newRow("role without INSERT") << "no-insert";
        QTest::newRow("a chip refused by a trigger") << "trigger";
    }

    void recordsHeldBackArriveWhenTheServerTakesThemAgain()
    {
        QFETCH(QString, fault);
        JournalConfig c = config();
        if (fault == QLatin1String("no-insert"))
            c.sharedUri = pg.uri(QStringLiteral("station"));
        bool faulty = true;
        const auto heal = [&] {
            if (!std::exchange(faulty, false))
                return true;
            if (fault == QLatin1String("stopped"))
                return pg.startServer();
            if (fault == QLatin1String("no-insert"))
                return pg.exec(QStringLiteral("GRANT INSERT ON records TO station"));
            return pg.exec(QStringLiteral("DROP TRIGGER refuse ON chips"));
        };
        const auto healed = qScopeGuard([&] { heal(); });
        if (fault == QLatin1String("stopped"))
            QVERIFY(pg.stopServer());
        else if (fault == QLatin1String("no-insert"))
            QVERIFY(pg.exec(QStringLiteral("REVOKE INSERT ON records FROM station")));
        else
            QVERIFY(pg.exec(QStringLiteral("CREATE OR REPLACE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
                                           "$$BEGIN RAISE EXCEPTION 'refused'; END$$; "
                                           "CREATE TRIGGER refuse BEFORE INSERT ON chips FOR EACH ROW EXECUTE FUNCTION refuse()")));

        JournalStore local;
        QString error;
        QVERIFY(local.open(JournalStore::Backend::Local, c.localPath, 1000, &error));
        QVERIFY(local.append({JournalSamples::update(), JournalSamples::calibration(), JournalSamples::update()}, &error));
        JournalSender sender(c, 1000);
        sender.setRetryDelays(50, 200);
        int failures = 0;
        connect(&sender, &JournalSender::failed, this, [&] { ++failures; }, Qt::QueuedConnection);
        sender.start();
        QTRY_COMPARE_WITH_TIMEOUT(failures, 1, 10000);
        QCOMPARE(local.waitingCount(&error), 3);
        QTRY_VERIFY_WITH_TIMEOUT(sender.attempts() >= 5, 10000);
        QCoreApplication::processEvents();
        QCOMPARE(failures, 1);
        QCOMPARE(local.waitingCount(&error), 3);
        if (fault != QLatin1String("stopped"))
            QCOMPARE(onServer(), 0);

        QVERIFY(heal());
        QTRY_COMPARE_WITH_TIMEOUT(onServer(), 3, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(local.waitingCount(&error), 0, 5000);
        QCOMPARE(pg.count(QStringLiteral("SELECT count(*) FROM chips")), 4);
        sender.stop();
        QVERIFY(sender.wait(5000));
    }

    void refusedCredentialsKeepRecordsWaitingAndShowNoPassword()
    {
        const JournalConfig c = config();
        pg.writePassFile(QStringLiteral("not-the-password"));
        Journal journal(c);
        QVERIFY(journal.record(JournalSamples::update()));
        QString error;
        QCOMPARE(journal.sendWaiting(2500, &error), -1);
        QVERIFY2(error.contains(QLatin1String("password authentication failed")), qPrintable(error));
        QVERIFY(!error.contains(QLatin1String("not-the-password")));
        QCOMPARE(journal.local(&error)->waitingCount(&error), 1);
        pg.writePassFile(QString::fromLatin1(PgCluster::Password));
        error.clear();
        QCOMPARE(journal.sendWaiting(2500, &error), 1);
        QCOMPARE(onServer(), 1);
    }

    void aServerThatDoesNotAnswerCostsAtMostTheBudget()
    {
        const JournalConfig c = config();
        Journal journal(c);
        QVERIFY(journal.record(JournalSamples::update()));
        QString postmaster;
        QVERIFY(pg.exec(QStringLiteral("SELECT setting FROM pg_settings WHERE name = 'data_directory'"), &postmaster));
        QFile pidFile(postmaster + QStringLiteral("/postmaster.pid"));
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const pid_t server = pid_t(pidFile.readLine().trimmed().toInt());
        QVERIFY(server > 0);
        ::kill(server, SIGSTOP);
        QElapsedTimer clock;
        clock.start();
        QString error;
        const int sent = journal.sendWaiting(2500, &error);
        const qint64 took = clock.elapsed();
        ::kill(server, SIGCONT);
        QCOMPARE(sent, -1);
        QVERIFY2(took < 3500, qPrintable(QString::number(took)));
        // Back again: the record that waited goes now (perhaps by the attempt that was given up).
        QTRY_VERIFY_WITH_TIMEOUT(journal.sendWaiting(2500, &error) >= 0 && journal.local(&error)->waitingCount(&error) == 0, 20000);
        QCOMPARE(onServer(), 1);
    }

    // What waits is sent by 'journal sync'; with a shared journal set, 'journal' lists the shared one.
    void theCommandLineSyncsAndListsTheSharedJournal()
    {
        const JournalConfig c = config();
        {
            JournalConfig offline = c;
            offline.sharedUri.clear();
            Journal journal(offline);
            QVERIFY(journal.record(JournalSamples::update(0x5A3F0012)));
            QVERIFY(journal.record(JournalSamples::calibration()));
            QVERIFY(journal.record(JournalSamples::check(QStringLiteral("check-failed"), JournalSamples::measured(0.61))));
        }
        const QStringList shared{QStringLiteral("--journal"), pg.uri()};
        QString out;
        QCOMPARE(cli(c, QStringList{QStringLiteral("journal"), QStringLiteral("status")} + shared, &out), 0);
        QVERIFY2(out.contains(QLatin1String("waiting to be sent: 3")), qPrintable(out));
        QString err;
        QCOMPARE(cli(c, QStringList{QStringLiteral("journal"), QStringLiteral("sync")} + shared, &out, &err), 0);
        QVERIFY2(out.contains(QLatin1String("sent 3 records; 0 wait")), qPrintable(out));
        // A sync that went well says nothing on standard error.
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QCOMPARE(onServer(), 3);
        // The local copy is gone: the listing can only have come from the server.
        QVERIFY(QFile::remove(c.localPath));
        QCOMPARE(cli(c, QStringList{QStringLiteral("journal"), QStringLiteral("--json"), QStringLiteral("--cpuid"), QStringLiteral("5a3f0012")} + shared, &out), 0);
        const QJsonObject record = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(record[QStringLiteral("chips")].toArray().at(0).toObject()[QStringLiteral("cpuid")].toString(), QStringLiteral("5A3F0012"));
        // The check, by its kind: its figures in JSON, its failing one in the listing's words.
        QCOMPARE(cli(c, QStringList{QStringLiteral("journal"), QStringLiteral("--json"), QStringLiteral("--kind"), QStringLiteral("check")} + shared,
                     &out),
                 0);
        const QJsonArray figures = QJsonDocument::fromJson(out.toUtf8()).object()[QStringLiteral("measurements")].toArray();
        QCOMPARE(figures.size(), 5);
        QCOMPARE(figures.at(2).toObject(), (QJsonObject{{"name", "gyro_bias"}, {"value", 0.61}, {"low", 0}, {"high", 0.5},
                                                         {"unit", "deg/s"}, {"passed", false}}));
        QCOMPARE(cli(c, QStringList{QStringLiteral("journal"), QStringLiteral("--kind"), QStringLiteral("check")} + shared, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("check-failed  check: gyro_bias 0.61 deg/s outside 0–0.5")), qPrintable(out));
    }

    // With a shared journal set, the listing reads it; when it is away, or with --local, this
    // machine's file, and a missing server is said on standard error, not hidden.
    void theListingFallsBackToThisMachinesRecords_data()
    {
        QTest::addColumn<bool>("serverThere");
        QTest::addColumn<bool>("localOnly");
        QTest::addColumn<QString>("outcomes"); // as listed, newest first
        QTest::addColumn<QString>("said");     // a word on standard error; empty: nothing
        QTest::addColumn<QString>("action");
        QTest::newRow("server there: its records") << true << false << "write-failed" << "" << "list";
        QTest::newRow("server there, --local: this machine's") << true << true << "port-lost" << "" << "list";
        QTest::newRow("server away: this machine's") << false << false << "port-lost" << "could not be reached" << "list";
        QTest::newRow("server away, --local: no word of it") << false << true << "port-lost" << "" << "list";
        QTest::newRow("report: the server's failures") << true << false << "write-failed" << "" << "report";
        QTest::newRow("report --local: this machine's") << true << true << "port-lost" << "" << "report";
    }
    void theListingFallsBackToThisMachinesRecords()
    {
        QFETCH(bool, serverThere);
        QFETCH(bool, localOnly);
        QFETCH(QString, outcomes);
        QFETCH(QString, said);
        QFETCH(QString, action);
        const JournalConfig c = config();
        {
            JournalConfig offline = c;
            offline.sharedUri.clear();
            Journal journal(offline);
            QVERIFY(journal.record(JournalSamples::update(0x11, QStringLiteral("port-lost"))));
        }
        JournalStore server;
        QString error;
        QVERIFY2(server.open(JournalStore::Backend::Shared, pg.uri(), 2000, &error), qPrintable(error));
        QVERIFY2(server.append({JournalSamples::update(0x22, QStringLiteral("write-failed"))}, &error), qPrintable(error));
        const QString uri = serverThere ? pg.uri() : pg.uri().replace(pg.socketDir(), dir.filePath(QStringLiteral("nowhere")));
        QStringList arguments{QStringLiteral("journal"), action, QStringLiteral("--json"), QStringLiteral("--journal"), uri};
        if (localOnly)
            arguments << QStringLiteral("--local");
        QString out, err;
        QCOMPARE(cli(c, arguments, &out, &err), 0);
        QStringList listed;
        for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            listed << QJsonDocument::fromJson(line.toUtf8()).object()[QStringLiteral("outcome")].toString();
        if (action == QLatin1String("report")) {
            listed.clear();
            for (const QJsonValue &failure : QJsonDocument::fromJson(out.toUtf8()).object()[QStringLiteral("failures")].toArray())
                listed << failure[QStringLiteral("outcome")].toString();
        }
        QCOMPARE(listed.join(QLatin1Char(' ')), outcomes);
        if (said.isEmpty())
            QVERIFY2(err.isEmpty(), qPrintable(err));
        else
            QVERIFY2(err.contains(said), qPrintable(err));
    }

    // 'journal status' asks the server itself; without a shared journal it speaks of none.
    void statusSaysWhatTheServerSays_data()
    {
        QTest::addColumn<QString>("role"); // empty: no shared journal; "away": a server not there
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("unsaid");
        QTest::newRow("no shared journal") << "" << 0 << QStringList{"shared journal: none"}
                                           << QStringList{"waiting", "reachable"};
        QTest::newRow("station role") << "station" << 0
                                      << QStringList{"reachable: yes", QStringLiteral("journal version: %1").arg(JournalSchema::latest()), "may add records: yes",
                                                     "waiting to be sent: 1"}
                                      << QStringList{};
        QTest::newRow("a role that may only read") << "reader" << 8
                                                   << QStringList{"reachable: yes", "may add records: no", "waiting to be sent: 1"}
                                                   << QStringList{};
        QTest::newRow("server away") << "away" << 8 << QStringList{"reachable: no (", "waiting to be sent: 1"}
                                     << QStringList{"may add records", "journal version"};
    }
    void statusSaysWhatTheServerSays()
    {
        QFETCH(QString, role);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, unsaid);
        JournalConfig c = config();
        c.sharedUri.clear();
        {
            Journal journal(c);
            QVERIFY(journal.record(JournalSamples::update()));
        }
        QStringList arguments{QStringLiteral("journal"), QStringLiteral("status")};
        if (role == QLatin1String("away"))
            arguments << QStringLiteral("--journal") << pg.uri().replace(pg.socketDir(), dir.filePath(QStringLiteral("nowhere")));
        else if (!role.isEmpty())
            arguments << QStringLiteral("--journal") << pg.uri(role);
        QString out;
        QCOMPARE(cli(c, arguments, &out), exitCode);
        const QStringList said = out.split(QLatin1Char('\n'));
        for (const QString &line : lines)
            QVERIFY2(!said.filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(line))).isEmpty(),
                     qPrintable(out));
        for (const QString &word : unsaid)
            QVERIFY2(!out.contains(word), qPrintable(out));
    }

    // The text listing shows local time with its offset, --utc shows UTC, --json keeps UTC with Z.
    void theListingShowsTheLocalTime_data()
    {
        QTest::addColumn<QString>("tz");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("first");
        QTest::newRow("east of UTC") << "XST-8" << QStringList{} << "2026-12-08 16:36:09 +08:00";
        QTest::newRow("west of UTC") << "YST5" << QStringList{} << "2026-12-08 03:36:09 -05:00";
        QTest::newRow("half an hour off") << "ZST-5:30" << QStringList{} << "2026-12-08 14:06:09 +05:30";
        QTest::newRow("--utc") << "XST-8" << QStringList{"--utc"} << "2026-12-08 08:36:09 +00:00";
        QTest::newRow("--since in local time, east") << "XST-8" << QStringList{"--since", "2026-12-08 16:36"}
                                                     << "2026-12-08 16:36:09 +08:00";
        QTest::newRow("--since in local time, west") << "YST5" << QStringList{"--since", "2026-12-08 03:36"}
                                                     << "2026-12-08 03:36:09 -05:00";
        QTest::newRow("--until in local time excludes it") << "XST-8" << QStringList{"--until", "2026-12-08 16:36"} << "";
        QTest::newRow("--json keeps UTC") << "XST-8" << QStringList{"--json"} << "{";
    }
    void theListingShowsTheLocalTime()
    {
        QFETCH(QString, tz);
        QFETCH(QStringList, options);
        QFETCH(QString, first);
        JournalConfig c = config();
        c.sharedUri.clear();
        {
            Journal journal(c);
            JournalRecord record = JournalSamples::update();
            record.started = QDateTime::fromString(QStringLiteral("2026-12-08T08:36:09.500Z"), Qt::ISODateWithMs);
            QVERIFY(journal.record(record));
        }
        QString out, err;
        QCOMPARE(cli(c, QStringList{QStringLiteral("journal")} + options, &out, &err, tz), 0);
        QCOMPARE(out.left(first.size()), first);
        if (first.isEmpty())
            QVERIFY2(err.contains(QLatin1String("no record matched")), qPrintable(err));
        if (options.contains(QLatin1String("--json")))
            QCOMPARE(QJsonDocument::fromJson(out.toUtf8()).object()[QStringLiteral("started")].toString(),
                     QStringLiteral("2026-12-08T08:36:09.500Z"));
    }

    void aPasswordOnTheCommandLineIsRefusedUnsaid()
    {
        const JournalConfig c = config();
        QString out, err;
        const QString uri = QStringLiteral("postgresql://velmora:%1@/velmora?host=%2").arg(QLatin1String(PgCluster::Password), pg.socketDir());
        QCOMPARE(cli(c, {QStringLiteral("journal"), QStringLiteral("sync"), QStringLiteral("--journal"), uri}, &out, &err), 2);
        QVERIFY2(err.contains(QLatin1String(".pgpass")), qPrintable(err));
        QVERIFY(!err.contains(QLatin1String(PgCluster::Password)) && !out.contains(QLatin1String(PgCluster::Password)));
    }
};

QTEST_GUILESS_MAIN(JournalSharedTest)
#include "tst_journal_shared.moc"
