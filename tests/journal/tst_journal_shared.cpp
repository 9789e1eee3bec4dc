// The shared journal on a real PostgreSQL server: every record reaches it exactly once, through
// a restart, a killed writer and a resend, and a server that refuses or does not answer never
// costs more than its budget or shows a password.
#include "Journal.h"
#include "JournalSamples.h"
#include "JournalStore.h"
#include "PgCluster.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <memory>

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

    // velmora-cli with `arguments` on the journal of `c`; its exit status, and what it printed.
    int cli(const JournalConfig &c, const QStringList &arguments, QString *out, QString *err = nullptr)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), c.localPath);
        env.remove(QStringLiteral("VELMORA_JOURNAL"));
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
    void initTestCase() { QVERIFY2(pg.start(), qPrintable(pg.error)); }

    void init()
    {
        pg.writePassFile(QString::fromLatin1(PgCluster::Password));
        if (onServer() > 0)
            QVERIFY(pg.exec(QStringLiteral("TRUNCATE chips, records")));
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
        QVERIFY(journal.record(JournalSamples::calibration()));
        QString error;
        QCOMPARE(journal.sendWaiting(2500, &error), 2);
        QVERIFY(QSqlQuery(journal.local(&error)->database()).exec(QStringLiteral("UPDATE records SET sent_at = NULL")));
        QCOMPARE(journal.sendWaiting(2500, &error), 2);
        QCOMPARE(onServer(), 2);
        QCOMPARE(pg.count(QStringLiteral("SELECT count(*) FROM chips")), 2);
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
        }
        const QStringList shared{QStringLiteral("--journal"), pg.uri()};
        QString out;
        QCOMPARE(cli(c, QStringList{QStringLiteral("journal"), QStringLiteral("status")} + shared, &out), 0);
        QVERIFY2(out.contains(QLatin1String("waiting to be sent: 2")), qPrintable(out));
        QString err;
        QCOMPARE(cli(c, QStringList{QStringLiteral("journal"), QStringLiteral("sync")} + shared, &out, &err), 0);
        QVERIFY2(out.contains(QLatin1String("sent 2 records; 0 wait")), qPrintable(out));
        // A sync that went well says nothing on standard error.
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QCOMPARE(onServer(), 2);
        // The local copy is gone: the listing can only have come from the server.
        QVERIFY(QFile::remove(c.localPath));
        QCOMPARE(cli(c, QStringList{QStringLiteral("journal"), QStringLiteral("--json"), QStringLiteral("--cpuid"), QStringLiteral("5a3f0012")} + shared, &out), 0);
        const QJsonObject record = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(record[QStringLiteral("chips")].toArray().at(0).toObject()[QStringLiteral("cpuid")].toString(), QStringLiteral("5A3F0012"));
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
