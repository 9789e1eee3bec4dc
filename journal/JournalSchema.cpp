// The journal's schema steps in SQLite and PostgreSQL, and how each database is reached.
#include "JournalSchema.h"

#include "JournalConfig.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>

namespace {

// A schema step: what it adds, in each dialect.
struct SchemaStep
{
    QStringList local;
    QStringList shared;
};

QString recordColumns(const char *time, const char *extra)
{
    return QStringLiteral(
               "CREATE TABLE records ("
               "id TEXT PRIMARY KEY, kind TEXT NOT NULL, started %1 NOT NULL, ended %1 NOT NULL, "
               "station TEXT NOT NULL, version TEXT NOT NULL, port TEXT, adapter_serial TEXT, product_row INTEGER, "
               "outcome TEXT NOT NULL, failed_chip INTEGER, failed_step TEXT, "
               "package_name TEXT, package_size BIGINT, package_sha256 TEXT, package_arch INTEGER, "
               "pages_written INTEGER, end_command TEXT, step_reached TEXT, faces TEXT, save_acknowledged BOOLEAN%2)")
        .arg(QLatin1String(time), QLatin1String(extra));
}

const QString chipColumns = QStringLiteral(
    "CREATE TABLE chips (record_id TEXT NOT NULL REFERENCES records(id), position INTEGER NOT NULL, "
    "address INTEGER, cpuid BIGINT, serial BIGINT, hardware INTEGER, boot INTEGER, firmware_before INTEGER, "
    "firmware_after INTEGER, result TEXT, PRIMARY KEY (record_id, position))");

// The yield views: one row per update attempt with its duration, whether it passed (success,
// and the new firmware running where that was checked), its failure word and its gimbal (the
// chips' cpuids in listing order; NULL when no chip was listed), and the whole journal's figures
// built on it. Only the time arithmetic and the ordered string aggregate differ per database.
QStringList yieldViews(bool local)
{
    const QString seconds = local ? QStringLiteral("round((julianday(r.ended) - julianday(r.started)) * 86400.0, 3)")
                                  : QStringLiteral("round(extract(epoch FROM r.ended - r.started)::numeric, 3)::double precision");
    // SQLite 3.40 has no ORDER BY inside an aggregate: the chips are ordered in a subquery first.
    const QString gimbal = local ? QStringLiteral("(SELECT group_concat(cpuid, ',') FROM (SELECT c.cpuid FROM chips c "
                                                  "WHERE c.record_id = r.id ORDER BY c.position))")
                                 : QStringLiteral("(SELECT string_agg(c.cpuid::text, ',' ORDER BY c.position) FROM chips c "
                                                  "WHERE c.record_id = r.id)");
    const QString passed = QStringLiteral("r.outcome = 'success' AND coalesce(r.check_result, '') IN ('', 'running')");
    return {
        QStringLiteral("CREATE VIEW update_attempts AS SELECT r.id, r.kind, r.station, r.started, r.ended, r.outcome, "
                       "r.check_result, %1 AS seconds, CASE WHEN %2 THEN 1 ELSE 0 END AS passed, "
                       "CASE WHEN %2 THEN NULL WHEN r.outcome = 'success' AND r.check_result = 'cancelled' THEN 'cancelled' "
                       "WHEN r.outcome = 'success' THEN 'not-running' ELSE r.outcome END AS failure, "
                       "%3 AS gimbal FROM records r WHERE r.kind = 'update'")
            .arg(seconds, passed, gimbal),
        QStringLiteral("CREATE VIEW gimbal_yield AS SELECT gimbal, count(*) AS attempts, min(started) AS first_started, "
                       "max(ended) AS last_ended, max(CASE WHEN first_n = 1 THEN passed END) AS first_passed, "
                       "max(CASE WHEN last_n = 1 THEN passed END) AS final_passed FROM (SELECT gimbal, started, ended, passed, "
                       "row_number() OVER (PARTITION BY gimbal ORDER BY started, id) AS first_n, "
                       "row_number() OVER (PARTITION BY gimbal ORDER BY started DESC, id DESC) AS last_n "
                       "FROM update_attempts WHERE gimbal IS NOT NULL) t GROUP BY gimbal"),
        QStringLiteral("CREATE VIEW station_yield AS SELECT station, count(*) AS attempts, count(DISTINCT gimbal) AS gimbals, "
                       "sum(CASE WHEN n = 1 AND passed = 1 THEN 1 ELSE 0 END) AS first_passed FROM (SELECT station, gimbal, passed, "
                       "CASE WHEN gimbal IS NULL THEN 0 ELSE row_number() OVER (PARTITION BY station, gimbal ORDER BY started, id) END "
                       "AS n FROM update_attempts) t GROUP BY station"),
        QStringLiteral("CREATE VIEW failure_pareto AS SELECT failure AS outcome, count(*) AS count FROM update_attempts "
                       "WHERE failure IS NOT NULL GROUP BY failure"),
        QStringLiteral("CREATE VIEW firmware_written AS SELECT c.firmware_after AS firmware, count(*) AS chips FROM chips c "
                       "JOIN records r ON r.id = c.record_id WHERE r.kind = 'update' AND c.result = 'written' "
                       "GROUP BY c.firmware_after"),
        QStringLiteral("CREATE VIEW calibration_failures AS SELECT coalesce(nullif(failed_step, ''), 'none') AS step, "
                       "count(*) AS count FROM records WHERE kind = 'calibration' AND outcome <> 'success' "
                       "GROUP BY coalesce(nullif(failed_step, ''), 'none')"),
    };
}

QStringList catalogueColumns()
{
    return {QStringLiteral("ALTER TABLE records ADD COLUMN catalogue_url TEXT"),
            QStringLiteral("ALTER TABLE records ADD COLUMN catalogue_sequence BIGINT"),
            QStringLiteral("ALTER TABLE records ADD COLUMN catalogue_version TEXT"),
            QStringLiteral("ALTER TABLE records ADD COLUMN catalogue_channel TEXT")};
}

// Stored yield columns: an update's duration, whether it passed, its gimbal key and the chips it
// wrote by firmware ("105:2,104:1"; null when none was written) are filled when the record is
// written (JournalStore's column table) and, for the records already there, by the UPDATE below,
// so that a report reads them instead of working them out per row. `update_attempts` reads them;
// the server keeps the view (and its grants) with CREATE OR REPLACE. The indexes hold a gimbal's
// attempts in time order, and the attempts by station and outcome and (in SQLite, which only
// groups without a sort along an index) by hour, for the report's passes over them.
// Fills the stored yield values of update records: all of them, or those missing them.
QString fillYield(bool local, bool missingOnly)
{
    const QString seconds = local ? QStringLiteral("round((julianday(ended) - julianday(started)) * 86400.0, 3)")
                                  : QStringLiteral("round(extract(epoch FROM ended - started)::numeric, 3)::double precision");
    const QString gimbal = local ? QStringLiteral("(SELECT group_concat(cpuid, ',') FROM (SELECT c.cpuid FROM chips c "
                                                  "WHERE c.record_id = records.id ORDER BY c.position))")
                                 : QStringLiteral("(SELECT string_agg(c.cpuid::text, ',' ORDER BY c.position) FROM chips c "
                                                  "WHERE c.record_id = records.id)");
    const QString written = local ? QStringLiteral("(SELECT group_concat(coalesce(f, '') || ':' || n, ',') FROM (SELECT "
                                                   "c.firmware_after AS f, count(*) AS n FROM chips c WHERE c.record_id = records.id "
                                                   "AND c.result = 'written' GROUP BY c.firmware_after ORDER BY c.firmware_after))")
                                  : QStringLiteral("(SELECT string_agg(coalesce(f::text, '') || ':' || n, ',' ORDER BY f) FROM (SELECT "
                                                   "c.firmware_after AS f, count(*) AS n FROM chips c WHERE c.record_id = records.id "
                                                   "AND c.result = 'written' GROUP BY c.firmware_after) t)");
    return QStringLiteral("UPDATE records SET seconds = %1, passed = CASE WHEN outcome = 'success' AND coalesce(check_result, '') "
                          "IN ('', 'running') THEN 1 ELSE 0 END, gimbal = %2, firmware_written = %3 WHERE kind = 'update'%4")
        .arg(seconds, gimbal, written, missingOnly ? QStringLiteral(" AND passed IS NULL") : QString());
}

QStringList storedYield(bool local)
{
    const QString view = QStringLiteral(
        " VIEW update_attempts AS SELECT r.id, r.kind, r.station, r.started, r.ended, r.outcome, r.check_result, r.seconds, "
        "r.passed, CASE WHEN r.passed = 1 THEN NULL WHEN r.outcome = 'success' AND r.check_result = 'cancelled' THEN 'cancelled' "
        "WHEN r.outcome = 'success' THEN 'not-running' ELSE r.outcome END AS failure, r.gimbal FROM records r WHERE r.kind = 'update'");
    QStringList statements{
        QStringLiteral("ALTER TABLE records ADD COLUMN seconds DOUBLE PRECISION"),
        QStringLiteral("ALTER TABLE records ADD COLUMN passed INTEGER"),
        QStringLiteral("ALTER TABLE records ADD COLUMN gimbal TEXT"),
        QStringLiteral("ALTER TABLE records ADD COLUMN firmware_written TEXT"),
        fillYield(local, false),
        QStringLiteral("CREATE INDEX records_gimbal ON records (kind, gimbal, started, id, passed, station, seconds)"),
        QStringLiteral("CREATE INDEX records_outcome ON records (kind, station, passed, outcome, check_result, firmware_written)"),
    };
    // SQLite groups by an index's leading columns without sorting: the attempts by clock hour
    // (UTC; the report's expression, word for word), station and duration.
    if (local)
        statements << QStringLiteral("CREATE INDEX records_hour ON records (kind, ((unixepoch(started) + 3600000000000) / 3600), "
                                     "station, seconds)");
    if (local)
        statements << QStringLiteral("DROP VIEW update_attempts") << QStringLiteral("CREATE") + view;
    else
        statements << QStringLiteral("CREATE OR REPLACE") + view;
    return statements;
}

// The start in whole milliseconds since 1970 (UTC), as a record's column table works it out.
QString startMs(bool local)
{
    return local ? QStringLiteral("CAST(round((julianday(started) - 2440587.5) * 86400000) AS INTEGER)")
                 : QStringLiteral("CAST(round(extract(epoch FROM started) * 1000) AS BIGINT)");
}

// Every record's start stored as an integer, so that a report's hours and days are integer
// arithmetic rather than a date parsed per row. The indexes hand the report what it groups by in
// the order it groups (the attempts by UTC hour and station; by UTC day, station and tenth of a
// second; a gimbal's attempts by start; outcomes by station), each holding the columns that
// pass reads and the start a range is taken on, so that SQLite groups without sorting and
// either database can read the index alone. The old indexes go first: the fill then rewrites
// fewer of them.
QStringList storedStart(bool local)
{
    QStringList statements{QStringLiteral("DROP INDEX records_gimbal"), QStringLiteral("DROP INDEX records_outcome")};
    if (local)
        statements << QStringLiteral("DROP INDEX records_hour");
    statements << QStringLiteral("ALTER TABLE records ADD COLUMN started_ms BIGINT")
               << QStringLiteral("UPDATE records SET started_ms = %1").arg(startMs(local))
               << QStringLiteral("CREATE INDEX records_gimbal ON records (kind, gimbal, started_ms, station, passed)")
               << QStringLiteral("CREATE INDEX records_outcome ON records (kind, station, passed, outcome, check_result, "
                                 "firmware_written, started_ms)")
               << QStringLiteral("CREATE INDEX records_hour ON records (kind, %1, station, started_ms)").arg(JournalSchema::startHour)
               << QStringLiteral("CREATE INDEX records_duration ON records (kind, %1, station, %2, started_ms, seconds)")
                      .arg(JournalSchema::startDay, JournalSchema::durationTenths);
    // The server plans the report from statistics of the indexed expressions, which it has only
    // once the table has been analysed.
    if (!local)
        statements << QStringLiteral("ANALYZE records");
    return statements;
}

const QList<SchemaStep> &schemaSteps()
{
    static const QList<SchemaStep> steps{
        // 1: the records and their chips; locally, when the shared journal confirmed each one.
        {{recordColumns("TEXT", ", sent_at TEXT"), chipColumns},
         {recordColumns("TIMESTAMPTZ", ", received TIMESTAMPTZ NOT NULL DEFAULT now()"), chipColumns}},
        // 2: the lookups a service desk makes: a chip by cpuid or serial, records by time.
        {{QStringLiteral("CREATE INDEX chips_cpuid ON chips (cpuid)"),
          QStringLiteral("CREATE INDEX chips_serial ON chips (serial)"),
          QStringLiteral("CREATE INDEX records_started ON records (started)"),
          QStringLiteral("CREATE INDEX records_waiting ON records (sent_at) WHERE sent_at IS NULL")},
         {QStringLiteral("CREATE INDEX chips_cpuid ON chips (cpuid)"),
          QStringLiteral("CREATE INDEX chips_serial ON chips (serial)"),
          QStringLiteral("CREATE INDEX records_started ON records (started)")}},
        // 3: the package's signature, as it was checked before the update.
        {{QStringLiteral("ALTER TABLE records ADD COLUMN signature TEXT"),
          QStringLiteral("ALTER TABLE records ADD COLUMN signature_key TEXT")},
         {QStringLiteral("ALTER TABLE records ADD COLUMN signature TEXT"),
          QStringLiteral("ALTER TABLE records ADD COLUMN signature_key TEXT")}},
        // 4: whether the new firmware started after an update (checked by the station).
        {{QStringLiteral("ALTER TABLE records ADD COLUMN check_result TEXT")},
         {QStringLiteral("ALTER TABLE records ADD COLUMN check_result TEXT")}},
        // 5: a line's yield as views, read by the report and by a line's own dashboard alike.
        {yieldViews(true), yieldViews(false)},
        // 6: where a package came from when the maker's catalogue chose it.
        {catalogueColumns(), catalogueColumns()},
        // 7: the yield's per-record values stored, so a report over a million records stays quick.
        {storedYield(true), storedYield(false)},
        // 8: every record's start in milliseconds, and the indexes the report reads along.
        {storedStart(true), storedStart(false)},
    };
    return steps;
}

bool setLocalTarget(QSqlDatabase &db, const QString &target, int timeoutMs, QString *error)
{
    const QFileInfo file(target);
    if (!QDir().mkpath(file.absolutePath())) {
        *error = QStringLiteral("cannot make the folder %1").arg(file.absolutePath());
        return false;
    }
    db.setDatabaseName(target);
    // Several processes write one file: a writer waits for another's lock instead of failing.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(timeoutMs));
    return true;
}

bool settleLocal(QSqlDatabase &db, QString *error)
{
    QSqlQuery pragma(db);
    // WAL lets readers and one writer go on together; NORMAL syncs at checkpoints only,
    // which keeps a write well under a millisecond and loses nothing when a process dies.
    // The mode is kept in the file: it is set once, not by every connection, since setting
    // it while another process writes may be refused as busy.
    if (!pragma.exec(QStringLiteral("PRAGMA journal_mode")) || !pragma.next()) {
        *error = JournalDialect::errorText(pragma.lastError());
        return false;
    }
    const bool wal = pragma.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    pragma.finish();
    if ((!wal && !pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) || !pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))
        || !pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"))) {
        *error = JournalDialect::errorText(pragma.lastError());
        return false;
    }
    return true;
}

bool setSharedTarget(QSqlDatabase &db, const QString &uri, int timeoutMs, QString *error)
{
    // Qt's driver hands libpq keywords, not a URI: the URI's parts become the connection's
    // fields and its parameters (host=/run/postgresql, sslmode, service...) its options.
    const QUrl url(uri, QUrl::StrictMode);
    if (!JournalConfig::isConnectionUri(url)) {
        *error = QStringLiteral("not a postgresql:// connection URI");
        return false;
    }
    db.setHostName(url.host(QUrl::FullyDecoded));
    if (url.port() > 0)
        db.setPort(url.port());
    db.setUserName(url.userName(QUrl::FullyDecoded));
    db.setDatabaseName(url.path(QUrl::FullyDecoded).mid(1));
    QStringList options;
    const auto quoted = [](QString value) {
        return QLatin1Char('\'') + value.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"))
               + QLatin1Char('\'');
    };
    for (const auto &item : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (item.first == QLatin1String("host") && url.host().isEmpty())
            db.setHostName(item.second);
        else if (item.first == QLatin1String("port"))
            db.setPort(item.second.toInt());
        else if (item.first != QLatin1String("password") && !item.first.contains(QLatin1Char(';')))
            options.append(item.first + QLatin1Char('=') + quoted(item.second));
    }
    // Bounds on the wait for an unreachable server (libpq's least connect_timeout is 2 s)
    // and for each statement. Credentials come from libpq's own places (~/.pgpass...). The
    // server's notices (a table another station created a moment earlier...) are not shown:
    // libpq would print them on standard error.
    const int seconds = qMax(2, (timeoutMs + 999) / 1000);
    options << QStringLiteral("connect_timeout=%1").arg(seconds) << QStringLiteral("tcp_user_timeout=%1").arg(timeoutMs)
            << QStringLiteral("application_name=velmora")
            << QStringLiteral("options='-c statement_timeout=%1 -c lock_timeout=%1 -c client_min_messages=warning'").arg(timeoutMs);
    db.setConnectOptions(options.join(QLatin1Char(';')));
    return true;
}

bool settleShared(QSqlDatabase &, QString *)
{
    return true;
}

} // namespace

QString JournalDialect::errorText(const QSqlError &error)
{
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.text().trimmed() : text;
}

const JournalDialect &JournalDialect::localFile()
{
    static const JournalDialect dialect{true,
                                        "QSQLITE",
                                        "BEGIN IMMEDIATE",
                                        "",
                                        nullptr,
                                        "PRAGMA user_version",
                                        nullptr,
                                        "PRAGMA user_version=%1",
                                        nullptr,
                                        nullptr,
                                        setLocalTarget,
                                        settleLocal};
    return dialect;
}

const JournalDialect &JournalDialect::sharedServer()
{
    // The lock's key spells "velmora".
    static const JournalDialect dialect{false,
                                        "QPSQL",
                                        "BEGIN",
                                        " ON CONFLICT DO NOTHING",
                                        "SELECT to_regclass('velmora_schema') IS NOT NULL",
                                        "SELECT coalesce(max(version), 0) FROM velmora_schema",
                                        "CREATE TABLE IF NOT EXISTS velmora_schema (version INTEGER NOT NULL)",
                                        "INSERT INTO velmora_schema (version) VALUES (%1)",
                                        "SELECT pg_advisory_xact_lock(33325563618751073)",
                                        "SELECT set_config('statement_timeout', '0', true), "
                                        "set_config('maintenance_work_mem', '256MB', true)",
                                        setSharedTarget,
                                        settleShared};
    return dialect;
}

QStringList JournalSchema::step(const JournalDialect &dialect, int version)
{
    const SchemaStep &step = schemaSteps().at(version - 1);
    return dialect.local ? step.local : step.shared;
}

QStringList JournalSchema::fillMissingYield(const JournalDialect &dialect)
{
    return {fillYield(dialect.local, true),
            QStringLiteral("UPDATE records SET started_ms = %1 WHERE started_ms IS NULL").arg(startMs(dialect.local))};
}

const char *const JournalSchema::lackingYield =
    "SELECT count(*) FROM records WHERE (kind = 'update' AND passed IS NULL) OR started_ms IS NULL";

const QString JournalSchema::startHour = QStringLiteral("((started_ms + %1) / 3600000)").arg(JournalSchema::StartBiasMs);
const QString JournalSchema::startDay = QStringLiteral("((started_ms + %1) / 86400000)").arg(JournalSchema::StartBiasMs);
const QString JournalSchema::durationTenths = QStringLiteral("((CAST(round(seconds * 1000) AS BIGINT) + 50) / 100)");

int JournalSchema::latest()
{
    return int(schemaSteps().size());
}
