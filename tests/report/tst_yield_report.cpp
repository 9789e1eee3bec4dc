// The yield report over a line's day worked out by hand: the same records in SQLite and in a
// PostgreSQL server of the test's own (read by a stations' role that may only read and insert)
// give the same figures, and those are the hand-worked ones.
#include "JournalStore.h"
#include "PgCluster.h"
#include "YieldReport.h"
#include "YieldSamples.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <ctime>

namespace {

// Every field `expected` names holds in `actual`; numbers to 1e-5, arrays element by element.
bool matches(const QJsonValue &expected, const QJsonValue &actual, const QString &path, QString *why)
{
    if (expected.isObject()) {
        const QJsonObject e = expected.toObject(), a = actual.toObject();
        for (auto it = e.begin(); it != e.end(); ++it)
            if (!a.contains(it.key()) || !matches(it.value(), a.value(it.key()), path + QLatin1Char('.') + it.key(), why)) {
                if (why->isEmpty())
                    *why = path + QLatin1Char('.') + it.key() + QStringLiteral(" missing");
                return false;
            }
        return true;
    }
    bool same = false;
    if (expected.isArray()) {
        const QJsonArray e = expected.toArray(), a = actual.toArray();
        same = actual.isArray() && e.size() == a.size();
        for (qsizetype i = 0; same && i < e.size(); ++i)
            same = matches(e.at(i), a.at(i), QStringLiteral("%1[%2]").arg(path).arg(i), why);
        if (!same && why->isEmpty())
            *why = QStringLiteral("%1 has %2 items, not %3").arg(path).arg(a.size()).arg(e.size());
        return same;
    }
    same = expected.isDouble() ? actual.isDouble() && qAbs(expected.toDouble() - actual.toDouble()) < 1e-5 : expected == actual;
    if (!same && why->isEmpty())
        *why = QStringLiteral("%1 is %2, not %3")
                   .arg(path, QString::fromUtf8(QJsonDocument(QJsonArray{actual}).toJson(QJsonDocument::Compact)),
                        QString::fromUtf8(QJsonDocument(QJsonArray{expected}).toJson(QJsonDocument::Compact)));
    return same;
}

} // namespace

class YieldReportTest : public QObject
{
    Q_OBJECT

    PgCluster pg;
    QTemporaryDir dir;
    JournalStore local, shared;
    // The same records written by the program before the stored yield values, then upgraded.
    JournalStore upgradedLocal, upgradedShared;

    // Copies `table`'s `columns` (all when empty) from the file `from` into an older file.
    static bool copyInto(JournalStore &older, const QString &from, const QString &table, const QString &columns)
    {
        QSqlQuery q(older.database());
        const QString insert = columns.isEmpty() ? QStringLiteral("INSERT INTO %1 SELECT * FROM f.%1").arg(table)
                                                 : QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM f.%1").arg(table, columns);
        return q.exec(QStringLiteral("ATTACH '%1' AS f").arg(from)) && q.exec(insert) && q.exec(QStringLiteral("DETACH f"));
    }

    QString pgColumns(const QString &table, const QString &database)
    {
        QString out;
        pg.exec(QStringLiteral("SELECT string_agg(column_name, ',' ORDER BY ordinal_position) FROM information_schema.columns "
                               "WHERE table_name = '%1'").arg(table),
                &out, database);
        return out;
    }

    // The journal version before the yield values, which the upgrade derives (and whose gimbal
    // it fills).
    static constexpr int BeforeYieldValues = 4;

    // A journal at the version before the yield values, holding the sample line, opened (and so
    // upgraded) by this program.
    void openUpgraded()
    {
        QString error;
        const QString oldFile = dir.filePath(QStringLiteral("old.sqlite"));
        {
            JournalStore older;
            QVERIFY2(older.openAtVersion(JournalStore::Backend::Local, oldFile, 2000, BeforeYieldValues, &error),
                     qPrintable(error));
            QSqlQuery q(older.database());
            QStringList columns;
            QVERIFY(q.exec(QStringLiteral("PRAGMA table_info(records)")));
            while (q.next())
                columns.append(q.value(1).toString());
            q.finish();
            QVERIFY(copyInto(older, dir.filePath(QStringLiteral("j.sqlite")), QStringLiteral("records"), columns.join(QLatin1Char(','))));
            QVERIFY(copyInto(older, dir.filePath(QStringLiteral("j.sqlite")), QStringLiteral("chips"), QString()));
        }
        QVERIFY2(upgradedLocal.open(JournalStore::Backend::Local, oldFile, 2000, &error), qPrintable(error));
        QCOMPARE(upgradedLocal.versionFound(), BeforeYieldValues);
        // The measurements came later than that version: added once the journal is upgraded.
        QVERIFY(copyInto(upgradedLocal, dir.filePath(QStringLiteral("j.sqlite")), QStringLiteral("measurements"), QString()));

        QVERIFY(pg.exec(QStringLiteral("CREATE DATABASE older OWNER velmora"), nullptr, QStringLiteral("postgres")));
        {
            JournalStore older;
            QVERIFY2(older.openAtVersion(JournalStore::Backend::Shared, pg.uri(QStringLiteral("velmora"), QStringLiteral("older")), 2000,
                                         BeforeYieldValues, &error),
                     qPrintable(error));
        }
        for (const QString &table : {QStringLiteral("records"), QStringLiteral("chips")}) {
            const QString columns = pgColumns(table, QStringLiteral("older"));
            const QString file = dir.filePath(table + QStringLiteral(".copy"));
            QVERIFY(pg.exec(QStringLiteral("\\copy (SELECT %1 FROM %2) TO '%3'").arg(columns, table, file)));
            QVERIFY(pg.exec(QStringLiteral("\\copy %1 (%2) FROM '%3'").arg(table, columns, file), nullptr, QStringLiteral("older")));
        }
        QVERIFY2(upgradedShared.open(JournalStore::Backend::Shared, pg.uri(QStringLiteral("velmora"), QStringLiteral("older")), 2000,
                                     &error),
                 qPrintable(error));
        QCOMPARE(upgradedShared.versionFound(), BeforeYieldValues);
        const QString measurements = dir.filePath(QStringLiteral("measurements.copy"));
        QVERIFY(pg.exec(QStringLiteral("\\copy measurements TO '%1'").arg(measurements)));
        QVERIFY(pg.exec(QStringLiteral("\\copy measurements FROM '%1'").arg(measurements), nullptr, QStringLiteral("older")));
    }

    // A new, empty journal in each database, for a test's own records.
    void openFreshPair(JournalStore &file, JournalStore &server)
    {
        static int made = 0;
        const QString database = QStringLiteral("own_%1").arg(++made);
        QString error;
        QVERIFY(pg.exec(QStringLiteral("CREATE DATABASE %1 OWNER velmora").arg(database), nullptr, QStringLiteral("postgres")));
        QVERIFY2(server.open(JournalStore::Backend::Shared, pg.uri(QStringLiteral("velmora"), database), 2000, &error), qPrintable(error));
        QVERIFY2(file.open(JournalStore::Backend::Local, dir.filePath(database + QStringLiteral(".sqlite")), 2000, &error),
                 qPrintable(error));
    }

    // This process's zone set to `zone` until the returned guard ends, then back to the test's own.
    static auto inZone(const QByteArray &zone)
    {
        qputenv("TZ", zone);
        tzset();
        return qScopeGuard([] {
            qputenv("TZ", "Asia/Shanghai");
            tzset();
        });
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(pg.start(), qPrintable(pg.error));
        QString error;
        {
            // The owner makes the tables and the views; the stations get what the README grants.
            JournalStore owner;
            QVERIFY2(owner.open(JournalStore::Backend::Shared, pg.uri(), 2000, &error), qPrintable(error));
            QVERIFY2(owner.append(YieldSamples::line(), &error), qPrintable(error));
        }
        QVERIFY(pg.exec(QStringLiteral("CREATE ROLE station LOGIN"), nullptr, QStringLiteral("postgres")));
        QVERIFY(pg.exec(QStringLiteral("GRANT CONNECT ON DATABASE velmora TO station; GRANT USAGE ON SCHEMA public TO station; "
                                       "GRANT SELECT, INSERT ON records, chips, measurements, velmora_schema TO station; "
                                       "GRANT SELECT ON update_attempts, gimbal_yield, station_yield, failure_pareto, "
                                       "firmware_written, calibration_failures, check_measurements TO station")));
        QVERIFY2(shared.open(JournalStore::Backend::Shared, pg.uri(QStringLiteral("station")), 2000, &error), qPrintable(error));
        QVERIFY2(local.open(JournalStore::Backend::Local, dir.filePath(QStringLiteral("j.sqlite")), 2000, &error), qPrintable(error));
        QVERIFY2(local.append(YieldSamples::line(), &error), qPrintable(error));
        openUpgraded();
    }

    void sameHandWorkedFiguresInBothDatabases_data()
    {
        QTest::addColumn<QString>("since");
        QTest::addColumn<QString>("until");
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("cpuid");
        QTest::addColumn<QString>("expected");
        // F passed and then failed: failed in the final yield. F's chip was written with firmware
        // its record does not name: unknown, not "0.00". D's unsigned package and the port that
        // could not be opened are the line's refusals: no attempt, no failure of a gimbal.
        QTest::newRow("whole journal") << "" << "" << "" << ""
            << R"({"empty":false,"attempts":12,"gimbals":6,"firstPassYield":0.166667,"finalYield":0.5,"medianSeconds":35,"p90Seconds":60,
               "failures":[{"outcome":"write-failed","count":4,"share":0.5,"cumulative":0.5},
                           {"outcome":"not-running","count":2,"share":0.25,"cumulative":0.75},
                           {"outcome":"hardware-mismatch","count":1,"cumulative":0.875},
                           {"outcome":"no-bootloader","count":1,"cumulative":1}],
               "refusals":[{"outcome":"port-unavailable","count":1},{"outcome":"unsigned","count":1}],
               "byDay":[{"day":"2026-11-30","attempts":1,"gimbals":1,"firstPassYield":0,"medianSeconds":35,"gimbalsPerHour":0},
                        {"day":"2026-12-01","attempts":7,"gimbals":4,"firstPassYield":0.5,"medianSeconds":35,"gimbalsPerHour":0.5},
                        {"day":"2026-12-02","attempts":4,"gimbals":3,"firstPassYield":0,"medianSeconds":45,"gimbalsPerHour":0.333333}],
               "byStation":[{"station":"s1","attempts":5,"gimbals":3,"firstPassYield":0,"medianSeconds":30,"gimbalsPerHour":0.2},
                            {"station":"s2","attempts":5,"gimbals":4,"firstPassYield":0.25,"medianSeconds":50,"gimbalsPerHour":0.5},
                            {"station":"s3","attempts":2,"gimbals":1,"firstPassYield":1,"medianSeconds":35,"gimbalsPerHour":1}],
               "firmware":[{"firmware":"1.05","chips":7},{"firmware":"1.04","chips":2},{"firmware":null,"chips":1}],
               "calibrations":{"runs":5,"successes":2,"failures":[{"step":"check","count":1},{"step":"none","count":1},{"step":"solve","count":1}],
                               "checks":{"runs":2,"passed":1,"passRate":0.5},"onDemandChecks":{"runs":2,"passed":1,"passRate":0.5},
                               "measurements":[
                                 {"name":"accel_norm","unit":"g","low":0.97,"high":1.03,"count":2,"outside":0,
                                  "min":0.98,"p10":0.98,"median":0.98,"p90":1.01,"max":1.01,"worst":0.98},
                                 {"name":"accel_noise","unit":"g","low":0,"high":0.01,"count":2,"outside":0,
                                  "median":0.002,"p90":0.003,"worst":0.003},
                                 {"name":"gyro_bias","unit":"deg/s","low":0,"high":0.6,"count":2,"outside":1,"median":0.1,"p90":0.8,
                                  "worst":0.8}]}})";
        // A's failed attempt falls out of the range: A now passed first time.
        QTest::newRow("since a day") << "2026-12-01T00:00:00Z" << "" << "" << ""
            << R"({"attempts":11,"gimbals":6,"firstPassYield":0.333333,"finalYield":0.5,"medianSeconds":40,"p90Seconds":60,
               "failures":[{"outcome":"write-failed","count":3,"cumulative":0.428571},{"outcome":"not-running","count":2,"cumulative":0.714286},
                           {"outcome":"hardware-mismatch"},{"outcome":"no-bootloader","cumulative":1}],
               "byDay":[{"day":"2026-12-01","attempts":7},{"day":"2026-12-02","attempts":4}],
               "byStation":[{"station":"s1","attempts":4,"gimbals":3,"firstPassYield":0.333333,"medianSeconds":10,"gimbalsPerHour":0.25},
                            {"station":"s2","attempts":5},{"station":"s3","attempts":2}],
               "calibrations":{"runs":4,"successes":2,"failures":[{"step":"check","count":1},{"step":"solve","count":1}],
                               "checks":{"runs":2,"passed":1}}})";
        // Up to C's first attempt (23:50 local), which the range's end leaves out: A and B passed
        // on their second attempts, F passed and then failed.
        QTest::newRow("until an attempt's start") << "" << "2026-12-01T15:50:00Z" << "" << ""
            << R"({"attempts":7,"gimbals":3,"firstPassYield":0.333333,"finalYield":0.666667,
               "byDay":[{"day":"2026-11-30","attempts":1},{"day":"2026-12-01","attempts":6,"gimbals":3}],
               "calibrations":{"runs":5,"successes":2}})";
        QTest::newRow("one station") << "" << "" << "s2" << ""
            << R"({"attempts":5,"gimbals":4,"firstPassYield":0.25,"finalYield":0.5,"medianSeconds":50,"p90Seconds":70,
               "failures":[{"outcome":"not-running","count":2,"share":0.666667},{"outcome":"write-failed","count":1,"cumulative":1}],
               "refusals":[{"outcome":"port-unavailable","count":1},{"outcome":"unsigned","count":1}],
               "byStation":[{"station":"s2","attempts":5}],"firmware":[{"firmware":"1.05","chips":7}],
               "calibrations":{"runs":0,"checks":{"runs":0,"passRate":null},"measurements":[],"onDemandChecks":{"runs":0}}})";
        QTest::newRow("one chip's gimbal") << "" << "" << "" << "0x401"
            << R"({"attempts":2,"gimbals":1,"firstPassYield":0,"finalYield":1,"failures":[{"outcome":"not-running","count":1}]})";
        QTest::newRow("empty range says so") << "2027-01-01T00:00:00Z" << "" << "" << ""
            << R"({"empty":true,"attempts":0,"gimbals":0,"firstPassYield":null,"finalYield":null,"medianSeconds":null,
               "p90Seconds":null,"failures":[],"refusals":[],"byDay":[],"byStation":[],"firmware":[],
               "calibrations":{"runs":0,"successes":0,"failures":[],"checks":{"runs":0,"passed":0,"passRate":null},"measurements":[],
                               "onDemandChecks":{"runs":0,"passed":0,"passRate":null}}})";
    }

    void sameHandWorkedFiguresInBothDatabases()
    {
        QFETCH(QString, since);
        QFETCH(QString, until);
        QFETCH(QString, station);
        QFETCH(QString, cpuid);
        QFETCH(QString, expected);
        JournalFilter filter;
        filter.since = QDateTime::fromString(since, Qt::ISODate);
        filter.until = QDateTime::fromString(until, Qt::ISODate);
        filter.station = station;
        if (!cpuid.isEmpty())
            filter.cpuid = cpuid.toUInt(nullptr, 16);
        QString error;
        const auto fromFile = YieldReport::compute(local, filter, &error);
        QVERIFY2(fromFile, qPrintable(error));
        const auto fromServer = YieldReport::compute(shared, filter, &error);
        QVERIFY2(fromServer, qPrintable(error));
        QCOMPARE(QJsonDocument(fromServer->toJson()).toJson(), QJsonDocument(fromFile->toJson()).toJson());
        for (JournalStore *upgraded : {&upgradedLocal, &upgradedShared}) {
            const auto fromUpgraded = YieldReport::compute(*upgraded, filter, &error);
            QVERIFY2(fromUpgraded, qPrintable(error));
            QCOMPARE(QJsonDocument(fromUpgraded->toJson()).toJson(), QJsonDocument(fromFile->toJson()).toJson());
        }
        QJsonParseError parse;
        const QJsonDocument want = QJsonDocument::fromJson(expected.toUtf8(), &parse);
        QVERIFY2(want.isObject(), qPrintable(parse.errorString()));
        QString why;
        QVERIFY2(matches(want.object(), fromFile->toJson(), QStringLiteral("report"), &why), qPrintable(why));
    }

    // A line's dashboard reads the views: their figures are the report's, in both databases.
    void viewsHoldTheReportsFigures()
    {
        for (JournalStore *store : {&local, &shared, &upgradedLocal, &upgradedShared}) {
            QString error;
            const auto report = YieldReport::compute(*store, {}, &error);
            QVERIFY2(report, qPrintable(error));
            QSqlQuery q(store->database());
            QVERIFY(q.exec(QStringLiteral("SELECT count(*), sum(first_passed), sum(final_passed) FROM gimbal_yield")) && q.next());
            QCOMPARE(q.value(0).toInt(), report->total.gimbals);
            QCOMPARE(q.value(1).toInt(), report->total.firstPassed);
            QCOMPARE(q.value(2).toInt(), report->total.finalPassed);
            QVERIFY(q.exec(QStringLiteral("SELECT sum(attempts) FROM station_yield")) && q.next());
            QCOMPARE(q.value(0).toInt(), report->total.attempts);
            // The gimbals' failures, then the line's refusals.
            QStringList pareto, reported;
            QVERIFY(q.exec(QStringLiteral("SELECT outcome, count FROM failure_pareto ORDER BY failure_class, count DESC, outcome")));
            while (q.next())
                pareto.append(QStringLiteral("%1 %2").arg(q.value(0).toString()).arg(q.value(1).toInt()));
            for (const YieldFailure &f : report->failures + report->refusals)
                reported.append(QStringLiteral("%1 %2").arg(f.outcome).arg(f.count));
            QCOMPARE(pareto, reported);
            // The calibrations' checks, one row a measurement.
            int measured = 0, outside = 0;
            for (const MeasurementSpread &m : report->measurements) {
                measured += m.count;
                outside += m.outside;
            }
            QVERIFY(q.exec(QStringLiteral("SELECT count(*), sum(CASE WHEN passed THEN 0 ELSE 1 END) FROM check_measurements "
                                          "WHERE kind = 'calibration'")) && q.next());
            QCOMPARE(q.value(0).toInt(), measured);
            QCOMPARE(q.value(1).toInt(), outside);
        }
    }

    // Another program that adds records through the README's tables, writing only the columns a
    // writer fills, is counted as this program's own records are: the database derives the rest.
    void recordsAddedThroughTheDocumentedTablesAreCountedRight()
    {
        JournalStore file, server;
        openFreshPair(file, server);
        for (JournalStore *store : {&file, &server}) {
            QSqlQuery record(store->database()), chip(store->database()), measurement(store->database());
            QVERIFY(record.prepare(QStringLiteral("INSERT INTO records (id, kind, started, ended, station, version, outcome, "
                                                  "failed_step, check_result, gimbal) VALUES (?, ?, ?, ?, ?, 'other', ?, ?, ?, ?)")));
            QVERIFY(chip.prepare(QStringLiteral("INSERT INTO chips (record_id, position, cpuid, firmware_after, result) "
                                                "VALUES (?, ?, ?, ?, ?)")));
            QVERIFY(measurement.prepare(QStringLiteral("INSERT INTO measurements (record_id, name, value, low, high, unit, passed) "
                                                       "VALUES (?, ?, ?, ?, ?, ?, ?)")));
            for (const JournalRecord &r : YieldSamples::line()) {
                QStringList gimbal;
                for (const JournalChip &c : r.chips)
                    gimbal.append(QString::number(c.cpuid));
                const QString id = r.id.toString(QUuid::WithoutBraces);
                for (const QVariant &v : {QVariant(id), QVariant(JournalRecord::kindName(r.kind)),
                                          QVariant(r.started.toString(Qt::ISODateWithMs)), QVariant(r.ended.toString(Qt::ISODateWithMs)),
                                          QVariant(r.station), QVariant(r.outcome), QVariant(r.failedStep), QVariant(r.checkResult),
                                          gimbal.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(gimbal.join(QLatin1Char(',')))})
                    record.addBindValue(v);
                QVERIFY2(record.exec(), qPrintable(record.lastError().text()));
                for (const JournalChip &c : r.chips) {
                    for (const QVariant &v : {QVariant(id), QVariant(c.position), QVariant(qint64(c.cpuid)),
                                              c.firmwareAfter < 0 ? QVariant(QMetaType(QMetaType::Int)) : QVariant(c.firmwareAfter),
                                              QVariant(c.result)})
                        chip.addBindValue(v);
                    QVERIFY2(chip.exec(), qPrintable(chip.lastError().text()));
                }
                for (const CheckMeasurement &m : r.measurements) {
                    for (const QVariant &v : {QVariant(id), QVariant(m.name), QVariant(m.value), QVariant(m.low), QVariant(m.high),
                                              QVariant(m.unit), QVariant(m.passed())})
                        measurement.addBindValue(v);
                    QVERIFY2(measurement.exec(), qPrintable(measurement.lastError().text()));
                }
            }
            QString error;
            const auto added = YieldReport::compute(*store, {}, &error), own = YieldReport::compute(local, {}, &error);
            QVERIFY2(added && own, qPrintable(error));
            QCOMPARE(QJsonDocument(added->toJson()).toJson(), QJsonDocument(own->toJson()).toJson());
        }
    }

    // An attempt every half hour for two and a half days (at :10 and :40 of each UTC hour, so
    // that a half-hour zone's midnight splits an hour), across a change of the zone's offset,
    // each lasting its own number of milliseconds: days, attempts, hours of activity, gimbals
    // and medians (rounded half up to a tenth) are those Qt's own zone conversion gives, in both
    // databases.
    void localDaysFollowTheZoneAcrossItsChanges_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("from");
        QTest::newRow("west, summer time ends") << QByteArray("America/New_York") << "2026-10-31T00:00:00Z";
        QTest::newRow("half-hour east, summer time begins") << QByteArray("Australia/Lord_Howe") << "2026-10-03T00:00:00Z";
        QTest::newRow("half-hour west, summer time ends") << QByteArray("America/St_Johns") << "2026-10-31T00:00:00Z";
        QTest::newRow("three quarters east") << QByteArray("Asia/Kathmandu") << "2026-12-01T00:00:00Z";
    }

    void localDaysFollowTheZoneAcrossItsChanges()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, from);
        const auto restoreZone = inZone(zone);
        QList<JournalRecord> records;
        QMap<QString, QList<qint64>> durations;
        QMap<QString, QSet<qint64>> hours;
        for (int i = 0; i < 120; ++i) {
            const qint64 ms = 20000 + (i * 7919) % 60000 + (i % 7 == 0 ? 50 - (i * 7919) % 100 : 0);
            JournalRecord r = YieldSamples::attempt("2026-01-01T00:00:00Z", 0, i % 3 ? "s1" : "s2", "success", "", {uint32_t(0x1000 + i)});
            r.started = QDateTime::fromString(from, Qt::ISODate).addSecs(i * 1800 + 600);
            r.ended = r.started.addMSecs(ms);
            const QString day = r.started.toLocalTime().date().toString(Qt::ISODate);
            durations[day].append(ms);
            hours[day].insert(r.started.toSecsSinceEpoch() / 3600);
            records.append(r);
        }
        QString error;
        JournalStore file, server;
        openFreshPair(file, server);
        if (QTest::currentTestFailed())
            return;
        for (JournalStore *store : {&file, &server}) {
            QVERIFY2(store->append(records, &error), qPrintable(error));
            const auto report = YieldReport::compute(*store, {}, &error);
            QVERIFY2(report, qPrintable(error));
            QCOMPARE(report->byDay.size(), durations.size());
            for (const YieldGroup &g : report->byDay) {
                QList<qint64> ms = durations.value(g.key);
                std::sort(ms.begin(), ms.end());
                QCOMPARE(g.attempts, ms.size());
                QCOMPARE(g.gimbals, ms.size());
                QCOMPARE(g.activeHours, hours.value(g.key).size());
                QCOMPARE(g.medianSeconds.value_or(-1), double((ms.at((ms.size() + 1) / 2 - 1) + 50) / 100) / 10);
            }
        }
    }

    // Gimbals tried more than twice, across local midnight and at both stations, next to one
    // tried twice: the report counts each day's and each station's first attempt whichever
    // way a gimbal's attempts are gathered, in both databases.
    void gimbalsTriedMoreThanTwice_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("expected");
        QTest::newRow("four attempts and two") << "Asia/Shanghai" << ""
            << R"({"attempts":6,"gimbals":2,"firstPassYield":0,"finalYield":1,"medianSeconds":30,"p90Seconds":60,
               "failures":[{"outcome":"write-failed","count":2},{"outcome":"not-running","count":1}],
               "byDay":[{"day":"2026-12-03","attempts":3,"gimbals":2,"firstPassYield":0,"medianSeconds":20,"gimbalsPerHour":0},
                        {"day":"2026-12-04","attempts":3,"gimbals":2,"firstPassYield":1,"medianSeconds":40,"gimbalsPerHour":0.666667}],
               "byStation":[{"station":"s1","attempts":3,"gimbals":2,"firstPassYield":0.5,"medianSeconds":30,"gimbalsPerHour":0.666667},
                            {"station":"s2","attempts":3,"gimbals":2,"firstPassYield":0,"medianSeconds":40,"gimbalsPerHour":0}],
               "firmware":[{"firmware":"1.05","chips":4}]})";
        QTest::newRow("one station: two attempts and one") << "Asia/Shanghai" << "s1"
            << R"({"attempts":3,"gimbals":2,"firstPassYield":0.5,"finalYield":1,"medianSeconds":30,"p90Seconds":60,
               "byDay":[{"day":"2026-12-03","attempts":1,"gimbals":1,"firstPassYield":0},
                        {"day":"2026-12-04","attempts":2,"gimbals":2,"firstPassYield":1,"gimbalsPerHour":1}]})";
        // UTC+5:30: the last attempt begins 00:10 local in a UTC hour begun the day before.
        QTest::newRow("half-hour zone") << "Asia/Kolkata" << ""
            << R"({"attempts":6,"gimbals":2,"firstPassYield":0,"finalYield":1,"medianSeconds":30,"p90Seconds":60,
               "byDay":[{"day":"2026-12-03","attempts":5,"gimbals":2,"firstPassYield":0,"medianSeconds":30,"gimbalsPerHour":0.4},
                        {"day":"2026-12-04","attempts":1,"gimbals":1,"firstPassYield":1,"medianSeconds":40,"gimbalsPerHour":0}]})";
    }

    void gimbalsTriedMoreThanTwice()
    {
        QFETCH(QString, zone);
        QFETCH(QString, station);
        QFETCH(QString, expected);
        const auto restoreZone = inZone(zone.toLatin1());
        using YieldSamples::attempt;
        const QList<JournalRecord> records{
            attempt("2026-12-03T01:00:00Z", 10, "s1", "write-failed", "", {0x900}, "failed"),
            attempt("2026-12-03T02:00:00Z", 20, "s2", "write-failed", "", {0x900}, "failed"),
            attempt("2026-12-03T17:00:00Z", 30, "s1", "success", "", {0x900}), // 01:00 local, the next day
            attempt("2026-12-03T18:40:00Z", 40, "s2", "success", "", {0x900}),
            attempt("2026-12-03T03:00:00Z", 50, "s2", "success", "no-answer", {0xa00}),
            attempt("2026-12-03T16:30:00Z", 60, "s1", "success", "", {0xa00}),
        };
        QString error;
        JournalStore file, server;
        openFreshPair(file, server);
        if (QTest::currentTestFailed())
            return;
        JournalFilter filter;
        filter.station = station;
        for (JournalStore *store : {&file, &server}) {
            QVERIFY2(store->append(records, &error), qPrintable(error));
            const auto report = YieldReport::compute(*store, filter, &error);
            QVERIFY2(report, qPrintable(error));
            QString why;
            QVERIFY2(matches(QJsonDocument::fromJson(expected.toUtf8()).object(), report->toJson(), QStringLiteral("report"), &why),
                     qPrintable(why));
        }
    }

    // A unit's scanned serial names its gimbal: a unit whose board was changed after it failed
    // (other chips, the same label) is one gimbal, not two; units without a scan keep their chips.
    void aUnitSerialNamesItsGimbal()
    {
        using YieldSamples::attempt;
        QList<JournalRecord> records{
            attempt("2026-12-03T01:00:00Z", 10, "s1", "write-failed", "", {0x900}, "failed"),
            attempt("2026-12-03T02:00:00Z", 20, "s1", "success", "", {0xb00}),
            attempt("2026-12-03T03:00:00Z", 30, "s1", "success", "", {0xa00}),
        };
        records[0].unitSerial = records[1].unitSerial = QStringLiteral("SN-1");
        QString error;
        JournalStore file, server;
        openFreshPair(file, server);
        if (QTest::currentTestFailed())
            return;
        for (JournalStore *store : {&file, &server}) {
            QVERIFY2(store->append(records, &error), qPrintable(error));
            const auto report = YieldReport::compute(*store, JournalFilter(), &error);
            QVERIFY2(report, qPrintable(error));
            QString why;
            QVERIFY2(matches(QJsonObject{{"attempts", 3}, {"gimbals", 2}, {"firstPassYield", 0.5}, {"finalYield", 1}}, report->toJson(),
                             QStringLiteral("report"), &why),
                     qPrintable(why));
        }
    }
};

int main(int argc, char *argv[])
{
    // Local days in UTC+8, so that some UTC days and local days differ.
    qputenv("TZ", "Asia/Shanghai");
    tzset();
    QCoreApplication app(argc, argv);
    YieldReportTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_yield_report.moc"
