// The journal's schema steps in SQLite and PostgreSQL, and the two dialects.
#include "JournalSchema.h"

#include <QList>

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
    };
    return steps;
}

} // namespace

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
                                        nullptr};
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
                                        "SELECT pg_advisory_xact_lock(33325563618751073)"};
    return dialect;
}

QStringList JournalSchema::step(const JournalDialect &dialect, int version)
{
    const SchemaStep &step = schemaSteps().at(version - 1);
    return dialect.local ? step.local : step.shared;
}

int JournalSchema::latest()
{
    return int(schemaSteps().size());
}
