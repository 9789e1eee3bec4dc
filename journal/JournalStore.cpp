// The journal's tables in SQLite and PostgreSQL, their numbered upgrades, reads and writes.
#include "JournalStore.h"

#include "JournalLog.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace {

QAtomicInt connectionCount;

// A schema step: what it adds, in each dialect. Steps are only ever appended.
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

// The lock every shared upgrade takes, so stations starting together upgrade once.
constexpr qint64 SharedSchemaLock = 0x76656c6d6f7261; // "velmora"

QString sqlError(const QSqlError &error)
{
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.text().trimmed() : text;
}

bool run(QSqlQuery &query, QString *error)
{
    if (query.exec())
        return true;
    *error = sqlError(query.lastError());
    return false;
}

bool run(QSqlDatabase db, const QString &sql, QString *error)
{
    QSqlQuery query(db);
    if (query.exec(sql))
        return true;
    *error = sqlError(query.lastError());
    return false;
}

QString timeText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime timeValue(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime().toUTC();
    QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.toUTC();
}

QVariant nullable(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text);
}

QVariant nullable(qint64 value, qint64 unset)
{
    return value == unset ? QVariant(QMetaType(QMetaType::LongLong)) : QVariant(value);
}

QString facesText(const QList<std::array<double, 3>> &faces)
{
    QJsonArray list;
    for (const auto &face : faces)
        list.append(QJsonArray{face[0], face[1], face[2]});
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

QList<std::array<double, 3>> facesValue(const QString &text)
{
    QList<std::array<double, 3>> faces;
    for (const QJsonValue &face : QJsonDocument::fromJson(text.toUtf8()).array()) {
        const QJsonArray xyz = face.toArray();
        faces.append({xyz.at(0).toDouble(), xyz.at(1).toDouble(), xyz.at(2).toDouble()});
    }
    return faces;
}

} // namespace

JournalStore::JournalStore()
    : connectionName(QStringLiteral("velmora-journal-%1").arg(connectionCount.fetchAndAddRelaxed(1)))
{
}

JournalStore::~JournalStore()
{
    close();
}

bool JournalStore::open(Backend backend, const QString &target, int timeoutMs, QString *error)
{
    return openAtVersion(backend, target, timeoutMs, SchemaVersion, error);
}

bool JournalStore::openAtVersion(Backend backend, const QString &target, int timeoutMs, int version, QString *error)
{
    close();
    kind = backend;
    QString why;
    if (!connect(target, timeoutMs, &why) || !migrate(version, &why)) {
        *error = why;
        close();
        return false;
    }
    return true;
}

bool JournalStore::connect(const QString &target, int timeoutMs, QString *error)
{
    QSqlDatabase db;
    if (kind == Backend::Local) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        const QFileInfo file(target);
        if (!QDir().mkpath(file.absolutePath())) {
            *error = QStringLiteral("cannot make the folder %1").arg(file.absolutePath());
            return false;
        }
        db.setDatabaseName(target);
        // Several processes write one file: a writer waits for another's lock instead of failing.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(timeoutMs));
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
        if (!setSharedTarget(db, target, timeoutMs, error))
            return false;
    }
    if (!db.isValid()) {
        *error = QStringLiteral("the Qt SQL driver %1 is not installed").arg(db.driverName());
        return false;
    }
    if (!db.open()) {
        *error = sqlError(db.lastError());
        return false;
    }
    if (kind == Backend::Local) {
        QSqlQuery pragma(db);
        // WAL lets readers and one writer go on together; NORMAL syncs at checkpoints only,
        // which keeps a write well under a millisecond and loses nothing when a process dies.
        // The mode is kept in the file: it is set once, not by every connection, since setting
        // it while another process writes may be refused as busy.
        if (!pragma.exec(QStringLiteral("PRAGMA journal_mode")) || !pragma.next()) {
            *error = sqlError(pragma.lastError());
            return false;
        }
        const bool wal = pragma.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
        pragma.finish();
        if ((!wal && !pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) || !pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))
            || !pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"))) {
            *error = sqlError(pragma.lastError());
            return false;
        }
    }
    return true;
}

bool JournalStore::setSharedTarget(QSqlDatabase &db, const QString &uri, int timeoutMs, QString *error)
{
    // Qt's driver hands libpq keywords, not a URI: the URI's parts become the connection's
    // fields and its parameters (host=/run/postgresql, sslmode, service...) its options.
    const QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("postgresql") && url.scheme() != QLatin1String("postgres"))) {
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

void JournalStore::close()
{
    if (!QSqlDatabase::contains(connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

bool JournalStore::isOpen() const
{
    return QSqlDatabase::contains(connectionName) && QSqlDatabase::database(connectionName, false).isOpen();
}

QSqlDatabase JournalStore::database() const
{
    return QSqlDatabase::database(connectionName, false);
}

int JournalStore::schemaVersion(QString *error)
{
    QSqlQuery query(database());
    if (kind == Backend::Local) {
        if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
            *error = sqlError(query.lastError());
            return -1;
        }
        return query.value(0).toInt();
    }
    if (!query.exec(QStringLiteral("SELECT max(version) FROM velmora_schema")) || !query.next()) {
        *error = sqlError(query.lastError());
        return -1;
    }
    return query.value(0).toInt();
}

bool JournalStore::migrate(int target, QString *error)
{
    QSqlDatabase db = database();
    // The write lock is taken before the version is read, so two programs opening a new
    // journal together make its tables once.
    const bool local = kind == Backend::Local;
    if (local ? !run(db, QStringLiteral("BEGIN IMMEDIATE"), error) : !db.transaction()) {
        if (!local)
            *error = sqlError(db.lastError());
        return false;
    }
    auto fail = [&](const QString &why) {
        *error = why;
        if (local)
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        else
            db.rollback();
        return false;
    };
    QString why;
    if (!local) {
        QSqlQuery lock(db);
        lock.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
        lock.addBindValue(SharedSchemaLock);
        if (!run(lock, &why)
            || !run(db, QStringLiteral("CREATE TABLE IF NOT EXISTS velmora_schema (version INTEGER NOT NULL)"), &why))
            return fail(why);
    }
    const int current = schemaVersion(&why);
    if (current < 0)
        return fail(why);
    if (current > SchemaVersion)
        return fail(QStringLiteral("written by a newer Velmora (journal version %1, this program knows up to %2); "
                                   "it was left untouched")
                        .arg(current)
                        .arg(SchemaVersion));
    const QList<SchemaStep> &steps = schemaSteps();
    for (int version = current + 1; version <= target; ++version) {
        for (const QString &sql : local ? steps.at(version - 1).local : steps.at(version - 1).shared)
            if (!run(db, sql, &why))
                return fail(QStringLiteral("upgrade to journal version %1: %2").arg(version).arg(why));
    }
    if (target > current) {
        const QString mark = local ? QStringLiteral("PRAGMA user_version=%1").arg(target)
                                   : QStringLiteral("INSERT INTO velmora_schema (version) VALUES (%1)").arg(target);
        if (!run(db, mark, &why))
            return fail(why);
        qCDebug(lcJournal) << "journal upgraded from version" << current << "to" << target;
    }
    if (local ? !run(db, QStringLiteral("COMMIT"), &why) : !db.commit()) {
        if (!local)
            why = sqlError(db.lastError());
        return fail(why);
    }
    return true;
}

bool JournalStore::begin(QString *error)
{
    QSqlDatabase db = database();
    // Locally the write lock is taken at the start, waiting out another process's lock: a
    // deferred transaction whose snapshot another writer made stale fails at once, unretried.
    if (kind == Backend::Local)
        return run(db, QStringLiteral("BEGIN IMMEDIATE"), error);
    if (db.transaction())
        return true;
    *error = sqlError(db.lastError());
    return false;
}

bool JournalStore::commit(QString *error)
{
    QSqlDatabase db = database();
    if (kind == Backend::Local ? run(db, QStringLiteral("COMMIT"), error) : db.commit())
        return true;
    if (kind == Backend::Shared)
        *error = sqlError(db.lastError());
    rollback();
    return false;
}

void JournalStore::rollback()
{
    QSqlDatabase db = database();
    if (kind == Backend::Local)
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    else
        db.rollback();
}

bool JournalStore::append(const QList<JournalRecord> &records, QString *error)
{
    QSqlDatabase db = database();
    if (!begin(error))
        return false;
    const QString conflict = kind == Backend::Shared ? QStringLiteral(" ON CONFLICT DO NOTHING") : QString();
    QSqlQuery record(db);
    record.prepare(QStringLiteral("INSERT INTO records (id, kind, started, ended, station, version, port, adapter_serial, "
                                  "product_row, outcome, failed_chip, failed_step, package_name, package_size, "
                                  "package_sha256, package_arch, pages_written, end_command, step_reached, faces, "
                                  "save_acknowledged, signature, signature_key, check_result) "
                                  "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                   + conflict);
    QSqlQuery chip(db);
    chip.prepare(QStringLiteral("INSERT INTO chips (record_id, position, address, cpuid, serial, hardware, boot, "
                                "firmware_before, firmware_after, result) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                 + conflict);
    QString why;
    for (const JournalRecord &r : records) {
        const bool update = r.kind == JournalRecord::Kind::Update;
        const QString id = r.id.toString(QUuid::WithoutBraces);
        for (const QVariant &value : QVariantList{
                 id, JournalRecord::kindName(r.kind), timeText(r.started), timeText(r.ended), r.station, r.version,
                 nullable(r.port), nullable(r.adapterSerial), r.productRow, r.outcome, nullable(r.failedChip, 0),
                 nullable(r.failedStep), nullable(r.packageName), nullable(r.packageSize, -1),
                 nullable(r.packageSha256), nullable(r.packageArch, -1),
                 update ? QVariant(r.pagesWritten) : QVariant(QMetaType(QMetaType::Int)), nullable(r.endCommand),
                 nullable(r.stepReached), update ? QVariant(QMetaType(QMetaType::QString)) : QVariant(facesText(r.faces)),
                 update ? QVariant(QMetaType(QMetaType::Bool)) : QVariant(r.saveAcknowledged), nullable(r.signature),
                 nullable(r.signatureKey), nullable(r.checkResult)})
            record.addBindValue(value);
        if (!run(record, &why))
            break;
        for (const JournalChip &c : r.chips) {
            for (const QVariant &value : QVariantList{id, c.position, c.address, qint64(c.cpuid), qint64(c.serial),
                                                      int(c.hardware), int(c.boot), nullable(c.firmwareBefore, -1),
                                                      nullable(c.firmwareAfter, -1), c.result})
                chip.addBindValue(value);
            if (!run(chip, &why))
                break;
        }
        if (!why.isEmpty())
            break;
    }
    if (!why.isEmpty()) {
        *error = why;
        rollback();
        return false;
    }
    return commit(error);
}

QList<JournalRecord> JournalStore::select(const QString &where, const QVariantList &values, const QString &tail,
                                          QString *error)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id, kind, started, ended, station, version, port, adapter_serial, product_row, "
                                 "outcome, failed_chip, failed_step, package_name, package_size, package_sha256, "
                                 "package_arch, pages_written, end_command, step_reached, faces, save_acknowledged, "
                                 "signature, signature_key, check_result FROM records")
                  + (where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where) + QLatin1Char(' ') + tail);
    for (const QVariant &value : values)
        query.addBindValue(value);
    QList<JournalRecord> records;
    if (!run(query, error))
        return records;
    while (query.next()) {
        JournalRecord r;
        r.id = QUuid(query.value(0).toString());
        JournalRecord::kindFromName(query.value(1).toString(), &r.kind);
        r.started = timeValue(query.value(2));
        r.ended = timeValue(query.value(3));
        r.station = query.value(4).toString();
        r.version = query.value(5).toString();
        r.port = query.value(6).toString();
        r.adapterSerial = query.value(7).toString();
        r.productRow = query.value(8).toInt();
        r.outcome = query.value(9).toString();
        r.failedChip = query.value(10).toInt();
        r.failedStep = query.value(11).toString();
        r.packageName = query.value(12).toString();
        r.packageSize = query.value(13).isNull() ? -1 : query.value(13).toLongLong();
        r.packageSha256 = query.value(14).toString();
        r.packageArch = query.value(15).isNull() ? -1 : query.value(15).toInt();
        r.pagesWritten = query.value(16).toInt();
        r.endCommand = query.value(17).toString();
        r.stepReached = query.value(18).toString();
        r.faces = facesValue(query.value(19).toString());
        r.saveAcknowledged = query.value(20).toBool();
        r.signature = query.value(21).toString();
        r.signatureKey = query.value(22).toString();
        r.checkResult = query.value(23).toString();
        records.append(r);
    }
    if (!loadChips(&records, error))
        records.clear();
    return records;
}

bool JournalStore::loadChips(QList<JournalRecord> *records, QString *error)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT position, address, cpuid, serial, hardware, boot, firmware_before, "
                                 "firmware_after, result FROM chips WHERE record_id = ? ORDER BY position"));
    for (JournalRecord &r : *records) {
        if (r.kind != JournalRecord::Kind::Update)
            continue;
        query.addBindValue(r.id.toString(QUuid::WithoutBraces));
        if (!run(query, error))
            return false;
        while (query.next()) {
            JournalChip c;
            c.position = query.value(0).toInt();
            c.address = query.value(1).toInt();
            c.cpuid = uint32_t(query.value(2).toLongLong());
            c.serial = uint32_t(query.value(3).toLongLong());
            c.hardware = uint16_t(query.value(4).toInt());
            c.boot = uint16_t(query.value(5).toInt());
            c.firmwareBefore = query.value(6).isNull() ? -1 : query.value(6).toInt();
            c.firmwareAfter = query.value(7).isNull() ? -1 : query.value(7).toInt();
            c.result = query.value(8).toString();
            r.chips.append(c);
        }
    }
    return true;
}

QList<JournalRecord> JournalStore::waiting(int limit, QString *error)
{
    return select(QStringLiteral("sent_at IS NULL"), {}, QStringLiteral("ORDER BY started LIMIT %1").arg(limit), error);
}

bool JournalStore::markSent(const QList<QUuid> &ids, QString *error)
{
    QSqlDatabase db = database();
    if (!begin(error))
        return false;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE records SET sent_at = ? WHERE id = ?"));
    const QString now = timeText(QDateTime::currentDateTimeUtc());
    for (const QUuid &id : ids) {
        query.addBindValue(now);
        query.addBindValue(id.toString(QUuid::WithoutBraces));
        if (!run(query, error)) {
            rollback();
            return false;
        }
    }
    return commit(error);
}

int JournalStore::waitingCount(QString *error)
{
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT count(*) FROM records WHERE sent_at IS NULL")) || !query.next()) {
        *error = sqlError(query.lastError());
        return -1;
    }
    return query.value(0).toInt();
}

QList<JournalRecord> JournalStore::find(const JournalFilter &filter, QString *error)
{
    QStringList where;
    QVariantList values;
    if (filter.since.isValid()) {
        where.append(QStringLiteral("started >= ?"));
        values.append(timeText(filter.since));
    }
    if (filter.until.isValid()) {
        where.append(QStringLiteral("started < ?"));
        values.append(timeText(filter.until));
    }
    if (filter.cpuid) {
        where.append(QStringLiteral("id IN (SELECT record_id FROM chips WHERE cpuid = ?)"));
        values.append(qint64(*filter.cpuid));
    }
    if (filter.serial) {
        where.append(QStringLiteral("id IN (SELECT record_id FROM chips WHERE serial = ?)"));
        values.append(qint64(*filter.serial));
    }
    if (!filter.outcome.isEmpty()) {
        where.append(QStringLiteral("outcome = ?"));
        values.append(filter.outcome);
    }
    if (!filter.station.isEmpty()) {
        where.append(QStringLiteral("station = ?"));
        values.append(filter.station);
    }
    if (filter.kind) {
        where.append(QStringLiteral("kind = ?"));
        values.append(JournalRecord::kindName(*filter.kind));
    }
    QString tail = QStringLiteral("ORDER BY started DESC, id");
    if (filter.limit >= 0)
        tail += QStringLiteral(" LIMIT %1").arg(filter.limit);
    return select(where.join(QStringLiteral(" AND ")), values, tail, error);
}
