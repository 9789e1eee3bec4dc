// The journal's schema steps in SQLite and PostgreSQL, and how each database is reached.
#include "JournalSchema.h"

#include "Attempts.h"
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

// The values a line's yield is worked out from. A record's start in milliseconds since 1970 (UTC),
// an update's duration to the millisecond and whether it passed (success and, where the station
// checked, the new firmware running) follow from the record's own columns, so the database derives
// them (generated columns: computed when read in SQLite, kept with the row in PostgreSQL, which can
// only add stored ones); a program that writes the documented columns gets them right with no
// further step. The gimbal (the chips' cpuids in listing order) lives in another table, so the
// writer fills it; the upgrade fills it once for the records already there.
QStringList yieldColumns(bool local)
{
    const QString startMs = local ? QStringLiteral("CAST(round((julianday(started) - 2440587.5) * 86400000) AS INTEGER)")
                                  : QStringLiteral("CAST(round(extract(epoch FROM started - TIMESTAMPTZ '1970-01-01 00:00:00+00') "
                                                   "* 1000) AS BIGINT)");
    const QString seconds = local ? QStringLiteral("round((julianday(ended) - julianday(started)) * 86400.0, 3)")
                                  : QStringLiteral("round(extract(epoch FROM ended - started), 3)::double precision");
    const QString passed = QStringLiteral("CASE WHEN outcome = 'success' AND coalesce(check_result, '') IN ('', 'running') "
                                          "THEN 1 ELSE 0 END");
    const QStringList generated{
        QStringLiteral("started_ms BIGINT GENERATED ALWAYS AS (%1)").arg(startMs),
        QStringLiteral("seconds DOUBLE PRECISION GENERATED ALWAYS AS (CASE WHEN kind = 'update' THEN %1 END)").arg(seconds),
        QStringLiteral("passed INTEGER GENERATED ALWAYS AS (CASE WHEN kind = 'update' THEN %1 END)").arg(passed),
    };
    const QString gimbal = local ? QStringLiteral("(SELECT group_concat(cpuid, ',') FROM (SELECT c.cpuid FROM chips c "
                                                  "WHERE c.record_id = records.id ORDER BY c.position))")
                                 : QStringLiteral("(SELECT string_agg(c.cpuid::text, ',' ORDER BY c.position) FROM chips c "
                                                  "WHERE c.record_id = records.id)");
    QStringList statements{QStringLiteral("ALTER TABLE records ADD COLUMN gimbal TEXT"),
                           QStringLiteral("UPDATE records SET gimbal = %1 WHERE kind = 'update'").arg(gimbal)};
    // SQLite adds generated columns one at a time, and only virtual ones; PostgreSQL adds stored
    // ones, all three in one rewrite of the table.
    if (local) {
        for (const QString &column : generated)
            statements << QStringLiteral("ALTER TABLE records ADD COLUMN %1 VIRTUAL").arg(column);
    } else {
        statements << QStringLiteral("ALTER TABLE records ADD COLUMN %1").arg(generated.join(QStringLiteral(" STORED, ADD COLUMN ")))
                          + QStringLiteral(" STORED");
    }
    // A range of records by start (the listing's and the report's filter), and every update
    // attempt with what the yield report reads of it, in the order it reads them (gimbal, then
    // start), so that a report over the whole journal reads this index alone.
    statements << QStringLiteral("CREATE INDEX records_started_ms ON records (started_ms)")
               << QStringLiteral("CREATE INDEX records_gimbal ON records (kind, gimbal, started_ms, station, passed, id, seconds, "
                                 "outcome, check_result)");
    return statements;
}

// The yield views, for a line's own dashboard: one row per update attempt with its failure word
// and the failure's kind (the gimbal's, or a refusal of the line's: the words are this version's),
// and the whole journal's figures built on the attempts that reached the gimbal.
QStringList yieldViews()
{
    QStringList refusals;
    for (const QString &word : JournalWords::refusals())
        refusals.append(QLatin1Char('\'') + word + QLatin1Char('\''));
    const QString reachedGimbal = QStringLiteral("FROM update_attempts WHERE coalesce(failure_class, 'gimbal') = 'gimbal'");
    return {
        QStringLiteral("CREATE VIEW update_attempts AS SELECT a.*, CASE WHEN a.failure IS NULL THEN NULL WHEN a.failure IN (%1) "
                       "THEN 'refusal' ELSE 'gimbal' END AS failure_class FROM (SELECT r.id, r.kind, r.station, r.started, r.ended, "
                       "r.outcome, r.check_result, r.seconds, r.passed, CASE WHEN r.passed = 1 THEN NULL "
                       "WHEN r.outcome = 'success' AND r.check_result = 'cancelled' THEN 'cancelled' "
                       "WHEN r.outcome = 'success' THEN 'not-running' ELSE r.outcome END AS failure, r.gimbal "
                       "FROM records r WHERE r.kind = 'update') a")
            .arg(refusals.join(QStringLiteral(", "))),
        QStringLiteral("CREATE VIEW gimbal_yield AS SELECT gimbal, count(*) AS attempts, min(started) AS first_started, "
                       "max(ended) AS last_ended, max(CASE WHEN first_n = 1 THEN passed END) AS first_passed, "
                       "max(CASE WHEN last_n = 1 THEN passed END) AS final_passed FROM (SELECT gimbal, started, ended, passed, "
                       "row_number() OVER (PARTITION BY gimbal ORDER BY started, id) AS first_n, "
                       "row_number() OVER (PARTITION BY gimbal ORDER BY started DESC, id DESC) AS last_n "
                       "%1 AND gimbal IS NOT NULL) t GROUP BY gimbal")
            .arg(reachedGimbal),
        QStringLiteral("CREATE VIEW station_yield AS SELECT station, count(*) AS attempts, count(DISTINCT gimbal) AS gimbals, "
                       "sum(CASE WHEN n = 1 AND passed = 1 THEN 1 ELSE 0 END) AS first_passed FROM (SELECT station, gimbal, passed, "
                       "CASE WHEN gimbal IS NULL THEN 0 ELSE row_number() OVER (PARTITION BY station, gimbal ORDER BY started, id) END "
                       "AS n %1) t GROUP BY station")
            .arg(reachedGimbal),
        QStringLiteral("CREATE VIEW failure_pareto AS SELECT failure AS outcome, failure_class, count(*) AS count FROM update_attempts "
                       "WHERE failure IS NOT NULL GROUP BY failure, failure_class"),
        QStringLiteral("CREATE VIEW firmware_written AS SELECT c.firmware_after AS firmware, count(*) AS chips FROM chips c "
                       "JOIN records r ON r.id = c.record_id WHERE r.kind = 'update' AND c.result = 'written' "
                       "GROUP BY c.firmware_after"),
        QStringLiteral("CREATE VIEW calibration_failures AS SELECT coalesce(nullif(failed_step, ''), 'none') AS step, "
                       "count(*) AS count FROM records WHERE kind = 'calibration' AND outcome <> 'success' "
                       "GROUP BY coalesce(nullif(failed_step, ''), 'none')"),
    };
}

// Where a package came from when the maker's catalogue chose it, and a line's yield.
QStringList catalogueAndYield(bool local)
{
    return QStringList{QStringLiteral("ALTER TABLE records ADD COLUMN catalogue_url TEXT"),
                       QStringLiteral("ALTER TABLE records ADD COLUMN catalogue_sequence BIGINT"),
                       QStringLiteral("ALTER TABLE records ADD COLUMN catalogue_version TEXT"),
                       QStringLiteral("ALTER TABLE records ADD COLUMN catalogue_channel TEXT")}
           + yieldColumns(local) + yieldViews();
}

// A check's figures, each with its limits, for a calibration's check after its save or a check
// on demand; a value that was not a number is null. The view shows each beside its record.
QStringList measurementsTable()
{
    return {QStringLiteral("CREATE TABLE measurements (record_id TEXT NOT NULL REFERENCES records(id), name TEXT NOT NULL, "
                           "value DOUBLE PRECISION, low DOUBLE PRECISION NOT NULL, high DOUBLE PRECISION NOT NULL, "
                           "unit TEXT NOT NULL, passed BOOLEAN NOT NULL, PRIMARY KEY (record_id, name))"),
            QStringLiteral("CREATE VIEW check_measurements AS SELECT r.id, r.kind, r.station, r.started, r.outcome, m.name, m.value, "
                           "m.low, m.high, m.unit, m.passed FROM measurements m JOIN records r ON r.id = m.record_id")};
}

QStringList unitSerialColumn()
{
    return {QStringLiteral("ALTER TABLE records ADD COLUMN unit_serial TEXT"),
            QStringLiteral("CREATE INDEX records_unit_serial ON records (unit_serial)")};
}

// A shared journal's roles that may read or add chips may do the same with the measurements they
// come with, so that the stations' records keep reaching it once the owner has upgraded it.
QStringList sameGrantsAsChips()
{
    return {QStringLiteral(
        "DO $$DECLARE g record; who text; BEGIN FOR g IN SELECT DISTINCT grantee, privilege_type "
        "FROM information_schema.role_table_grants WHERE table_schema = current_schema() AND table_name = 'chips' "
        "AND privilege_type IN ('SELECT', 'INSERT') AND grantee <> current_user LOOP "
        "who := CASE WHEN g.grantee = 'PUBLIC' THEN 'PUBLIC' ELSE quote_ident(g.grantee) END; "
        "EXECUTE format('GRANT %s ON measurements TO %s', g.privilege_type, who); "
        "IF g.privilege_type = 'SELECT' THEN EXECUTE format('GRANT SELECT ON check_measurements TO %s', who); END IF; "
        "END LOOP; END$$")};
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
        // 5: where a catalogue's package came from, and a line's yield: its values and views.
        {catalogueAndYield(true), catalogueAndYield(false)},
        // 6: a check's measurements (the primary key's first column is the index by record).
        {measurementsTable(), measurementsTable() + sameGrantsAsChips()},
        // 7: the unit's own serial, scanned from its label, and the lookup of a unit's records.
        {unitSerialColumn(), unitSerialColumn()},
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

bool JournalSchema::fromUnreleasedBuild(const QSqlDatabase &db, int version)
{
    if (version < 5 || version > 8)
        return false;
    // Each probe reads no row; it fails only where the column is missing.
    const auto hasColumn = [&db](const char *column) {
        return QSqlQuery(db).exec(QStringLiteral("SELECT %1 FROM records WHERE 1 = 0").arg(QLatin1String(column)));
    };
    // From version 6 this program's journal has the measurements' table (looked up in the
    // catalogue: a role may be refused a read of the table itself).
    const bool measurements = version < 6 || db.tables().contains(QStringLiteral("measurements"));
    // From version 7 its records keep the unit's serial.
    const bool unitSerial = version < 7 || hasColumn("unit_serial");
    return !hasColumn("started_ms") || hasColumn("firmware_written") || !measurements || !unitSerial;
}

int JournalSchema::latest()
{
    return int(schemaSteps().size());
}
