// The journal's reads and writes, in SQLite or PostgreSQL through one column table.
#include "JournalStore.h"

#include "JournalLog.h"

#include <QAtomicInt>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

QAtomicInt connectionCount;

// The server's code for a statement the role has no right to make.
const QLatin1String InsufficientPrivilege("42501");

QString sqlError(const QSqlError &error)
{
    return JournalDialect::errorText(error);
}

bool run(QSqlQuery &query, QString *error)
{
    if (query.exec())
        return true;
    *error = sqlError(query.lastError());
    return false;
}

bool run(QSqlDatabase db, const QString &sql, QString *error, QSqlError *failure = nullptr)
{
    QSqlQuery query(db);
    if (query.exec(sql))
        return true;
    *error = sqlError(query.lastError());
    if (failure)
        *failure = query.lastError();
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

// One column of a table: its name, the value an item binds to it, and how a value read from it
// goes back into the item. Insert, select and read all go through the same list, in its order.
template<class T>
struct Column
{
    const char *name;
    std::function<QVariant(const T &)> bind;
    std::function<void(T &, const QVariant &)> read;
};

// NULL when empty, unless the column requires a value.
template<class T>
Column<T> text(const char *name, QString T::*field, bool required = false)
{
    return {name, [=](const T &item) { return required ? QVariant(item.*field) : nullable(item.*field); },
            [=](T &item, const QVariant &value) { item.*field = value.toString(); }};
}

// NULL when the field holds `unset`, which a NULL reads back as; without one, always bound.
template<class T, class F>
Column<T> number(const char *name, F T::*field, std::optional<qint64> unset = std::nullopt)
{
    return {name, [=](const T &item) { return unset ? nullable(qint64(item.*field), *unset) : QVariant(qint64(item.*field)); },
            [=](T &item, const QVariant &value) { item.*field = F(value.isNull() && unset ? *unset : value.toLongLong()); }};
}

// A value only an update (or only a calibration) has: NULL in the other kind's records.
Column<JournalRecord> only(JournalRecord::Kind kind, const char *name, QMetaType::Type type,
                           std::function<QVariant(const JournalRecord &)> bind, std::function<void(JournalRecord &, const QVariant &)> read)
{
    return {name, [kind, type, bind](const JournalRecord &r) { return r.kind == kind ? bind(r) : QVariant(QMetaType(type)); },
            read};
}

// The chips' cpuids in listing order; null with no chip listed.
QVariant storedGimbal(const JournalRecord &r)
{
    // A unit's own serial names the gimbal whatever its chips; the prefix keeps it apart from
    // a list of cpuids.
    if (!r.unitSerial.isEmpty())
        return QVariant(QStringLiteral("unit:") + r.unitSerial);
    if (r.chips.isEmpty())
        return QVariant(QMetaType(QMetaType::QString));
    QList<JournalChip> chips = r.chips;
    std::stable_sort(chips.begin(), chips.end(), [](const JournalChip &a, const JournalChip &b) { return a.position < b.position; });
    QStringList cpuids;
    for (const JournalChip &c : chips)
        cpuids.append(QString::number(c.cpuid));
    return QVariant(cpuids.join(QLatin1Char(',')));
}

using Record = JournalRecord;
constexpr auto Update = JournalRecord::Kind::Update;
constexpr auto Calibration = JournalRecord::Kind::Calibration;

const QList<Column<Record>> &recordTable()
{
    static const QList<Column<Record>> columns{
        {"id", [](const Record &r) { return QVariant(r.id.toString(QUuid::WithoutBraces)); },
         [](Record &r, const QVariant &v) { r.id = QUuid(v.toString()); }},
        {"kind", [](const Record &r) { return QVariant(JournalRecord::kindName(r.kind)); },
         [](Record &r, const QVariant &v) { JournalRecord::kindFromName(v.toString(), &r.kind); }},
        {"started", [](const Record &r) { return QVariant(timeText(r.started)); },
         [](Record &r, const QVariant &v) { r.started = timeValue(v); }},
        {"ended", [](const Record &r) { return QVariant(timeText(r.ended)); },
         [](Record &r, const QVariant &v) { r.ended = timeValue(v); }},
        text("station", &Record::station, true),
        text("version", &Record::version, true),
        text("port", &Record::port),
        text("adapter_serial", &Record::adapterSerial),
        text("unit_serial", &Record::unitSerial),
        number("product_row", &Record::productRow),
        text("outcome", &Record::outcome, true),
        number("failed_chip", &Record::failedChip, 0),
        text("failed_step", &Record::failedStep),
        text("package_name", &Record::packageName),
        number("package_size", &Record::packageSize, -1),
        text("package_sha256", &Record::packageSha256),
        number("package_arch", &Record::packageArch, -1),
        only(Update, "pages_written", QMetaType::Int, [](const Record &r) { return QVariant(r.pagesWritten); },
                  [](Record &r, const QVariant &v) { r.pagesWritten = v.toInt(); }),
        text("end_command", &Record::endCommand),
        text("step_reached", &Record::stepReached),
        only(Calibration, "faces", QMetaType::QString,
             [](const Record &r) { return QVariant(QString::fromUtf8(QJsonDocument(r.facesJson()).toJson(QJsonDocument::Compact))); },
             [](Record &r, const QVariant &v) { r.faces = Record::facesFromJson(QJsonDocument::fromJson(v.toString().toUtf8()).array()); }),
        only(Calibration, "save_acknowledged", QMetaType::Bool, [](const Record &r) { return QVariant(r.saveAcknowledged); },
                   [](Record &r, const QVariant &v) { r.saveAcknowledged = v.toBool(); }),
        text("signature", &Record::signature),
        text("signature_key", &Record::signatureKey),
        text("check_result", &Record::checkResult),
        {"catalogue_url", [](const Record &r) { return nullable(r.catalogue.url); },
         [](Record &r, const QVariant &v) { r.catalogue.url = v.toString(); }},
        {"catalogue_sequence", [](const Record &r) { return nullable(r.catalogue.sequence, -1); },
         [](Record &r, const QVariant &v) { r.catalogue.sequence = v.isNull() ? -1 : v.toLongLong(); }},
        {"catalogue_version", [](const Record &r) { return nullable(r.catalogue.version); },
         [](Record &r, const QVariant &v) { r.catalogue.version = v.toString(); }},
        {"catalogue_channel", [](const Record &r) { return nullable(r.catalogue.channel); },
         [](Record &r, const QVariant &v) { r.catalogue.channel = v.toString(); }},
        // The gimbal, from the chips that go to another table: written, never read back (a
        // record read back has its chips).
        only(Update, "gimbal", QMetaType::QString, storedGimbal, [](Record &, const QVariant &) {}),
    };
    return columns;
}

// A chip's columns after its record_id.
const QList<Column<JournalChip>> &chipTable()
{
    static const QList<Column<JournalChip>> columns{
        number("position", &JournalChip::position),
        number("address", &JournalChip::address),
        number("cpuid", &JournalChip::cpuid),
        number("serial", &JournalChip::serial),
        number("hardware", &JournalChip::hardware),
        number("boot", &JournalChip::boot),
        number("firmware_before", &JournalChip::firmwareBefore, -1),
        number("firmware_after", &JournalChip::firmwareAfter, -1),
        text("result", &JournalChip::result, true),
    };
    return columns;
}

// A limit or a value as the database keeps it: a value that was not a number is null, and a null
// reads back as not a number (which never passes).
QVariant real(double value)
{
    return std::isnan(value) ? QVariant(QMetaType(QMetaType::Double)) : QVariant(value);
}

double realOf(const QVariant &value)
{
    return value.isNull() ? std::numeric_limits<double>::quiet_NaN() : value.toDouble();
}

// A measurement's columns after its record_id; `passed` is written for a reader of the table, and
// read back as CheckMeasurement::passed() works it out again.
const QList<Column<CheckMeasurement>> &measurementTable()
{
    using M = CheckMeasurement;
    static const QList<Column<M>> columns{
        text("name", &M::name, true),
        {"value", [](const M &m) { return real(m.value); }, [](M &m, const QVariant &v) { m.value = realOf(v); }},
        {"low", [](const M &m) { return real(m.low); }, [](M &m, const QVariant &v) { m.low = realOf(v); }},
        {"high", [](const M &m) { return real(m.high); }, [](M &m, const QVariant &v) { m.high = realOf(v); }},
        text("unit", &M::unit, true),
        {"passed", [](const M &m) { return QVariant(m.passed()); }, [](M &, const QVariant &) {}},
    };
    return columns;
}

// Where a measurement comes in a check: its place in the check's order, names this program does not
// know after them.
qsizetype measurementOrder(const QString &name)
{
    static const QStringList order{QStringLiteral("accel_norm"), QStringLiteral("accel_noise"), QStringLiteral("gyro_bias"),
                                   QStringLiteral("gyro_noise"), QStringLiteral("tilt")};
    const qsizetype at = order.indexOf(name);
    return at < 0 ? order.size() : at;
}

template<class T>
QString names(const QList<Column<T>> &columns)
{
    QStringList list;
    for (const Column<T> &column : columns)
        list.append(QLatin1String(column.name));
    return list.join(QStringLiteral(", "));
}

QString marks(qsizetype count)
{
    return QStringList(count, QStringLiteral("?")).join(QStringLiteral(", "));
}

QString newer(int version)
{
    return QStringLiteral("written by a newer Velmora (journal version %1, this program knows up to %2); it was left untouched")
        .arg(version)
        .arg(JournalSchema::latest());
}

QString unreleased(int version)
{
    return QStringLiteral("made by a development build of Velmora whose tables differ from this program's (journal version %1); "
                          "it was left untouched: set it aside and let Velmora start a new journal")
        .arg(version);
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
    return openAtVersion(backend, target, timeoutMs, JournalSchema::latest(), error);
}

bool JournalStore::openAtVersion(Backend backend, const QString &target, int timeoutMs, int version, QString *error)
{
    close();
    dialect = backend == Backend::Local ? &JournalDialect::localFile() : &JournalDialect::sharedServer();
    foundVersion = -1;
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
    QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(dialect->driver), connectionName);
    if (!dialect->setTarget(db, target, timeoutMs, error))
        return false;
    if (!db.isValid()) {
        *error = QStringLiteral("the Qt SQL driver %1 is not installed").arg(db.driverName());
        return false;
    }
    if (!db.open()) {
        *error = sqlError(db.lastError());
        return false;
    }
    return dialect->settle(db, error);
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

bool JournalStore::setStatementBudget(int ms, QString *error)
{
    if (dialect->local)
        return true;
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT set_config('statement_timeout', '%1', false)").arg(ms))) {
        *error = sqlError(query.lastError());
        return false;
    }
    // A server older than PostgreSQL 14 lacks the check; the budget still ends the statement.
    if (!query.exec(QStringLiteral("SELECT set_config('client_connection_check_interval', '1000', false)")))
        qCDebug(lcJournal) << "the server does not check for a client gone:" << sqlError(query.lastError());
    return true;
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
    // Read without making anything: a station's role may read the journal but not create in it.
    QSqlQuery query(database());
    if (dialect->versionKept) {
        if (!query.exec(QLatin1String(dialect->versionKept)) || !query.next()) {
            *error = sqlError(query.lastError());
            return -1;
        }
        if (!query.value(0).toBool())
            return 0;
    }
    if (!query.exec(QLatin1String(dialect->versionRead)) || !query.next()) {
        *error = sqlError(query.lastError());
        return -1;
    }
    return query.value(0).toInt();
}

int JournalStore::mayAppend(QString *error)
{
    if (dialect->local)
        return 1;
    // A record lands with its chips and measurements: every table must take rows.
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT has_table_privilege(current_user, 'records', 'INSERT') "
                                   "AND has_table_privilege(current_user, 'chips', 'INSERT') "
                                   "AND has_table_privilege(current_user, 'measurements', 'INSERT')"))
        || !query.next()) {
        *error = sqlError(query.lastError());
        return -1;
    }
    return query.value(0).toBool() ? 1 : 0;
}

bool JournalStore::migrate(int target, QString *error)
{
    // A journal at this version is used as it is, with no write and no lock.
    foundVersion = schemaVersion(error);
    if (foundVersion < 0)
        return false;
    if (JournalSchema::fromUnreleasedBuild(database(), foundVersion)) {
        *error = unreleased(foundVersion);
        return false;
    }
    if (foundVersion > JournalSchema::latest()) {
        *error = newer(foundVersion);
        return false;
    }
    return foundVersion >= target || upgrade(target, error);
}

bool JournalStore::upgrade(int target, QString *error)
{
    QSqlDatabase db = database();
    if (!begin(error))
        return false;
    QString why;
    QSqlError failure;
    auto fail = [&](const QString &text) {
        rollback();
        *error = text;
        return false;
    };
    // Under the lock the version is read again: two programs opening a new journal together
    // make its tables once.
    if (dialect->upgradeLock && !run(db, QLatin1String(dialect->upgradeLock), &why))
        return fail(why);
    if (dialect->upgradeSettings && !run(db, QLatin1String(dialect->upgradeSettings), &why))
        return fail(why);
    const int current = schemaVersion(&why);
    if (current < 0)
        return fail(why);
    if (current > JournalSchema::latest())
        return fail(newer(current));
    bool made = !(current == 0 && dialect->versionTable) || run(db, QLatin1String(dialect->versionTable), &why, &failure);
    for (int version = current + 1; made && version <= target; ++version)
        for (const QString &sql : JournalSchema::step(*dialect, version))
            if (made && !run(db, sql, &why, &failure)) {
                made = false;
                why = QStringLiteral("upgrade to journal version %1: %2").arg(version).arg(why);
            }
    if (made && target > current)
        made = run(db, QString::fromLatin1(dialect->versionWrite).arg(target), &why, &failure);
    if (!made && failure.nativeErrorCode() == InsufficientPrivilege)
        return fail(QStringLiteral("%1, and this role may not %2 (%3); the database's owner does it once with "
                                   "'velmora-cli journal init'")
                        .arg(current == 0 ? QStringLiteral("the journal's tables are not made yet")
                                          : QStringLiteral("the journal is at version %1 and this program needs %2")
                                                .arg(current)
                                                .arg(target),
                             current == 0 ? QStringLiteral("make them") : QStringLiteral("upgrade it"), why));
    if (!made)
        return fail(why);
    if (!commit(error))
        return false;
    if (target > current)
        qCDebug(lcJournal) << "journal upgraded from version" << current << "to" << target;
    return true;
}

bool JournalStore::begin(QString *error)
{
    return run(database(), QLatin1String(dialect->begin), error);
}

bool JournalStore::commit(QString *error)
{
    // Through the driver, which also tells a commit the server turned into a rollback.
    QSqlDatabase db = database();
    if (db.commit())
        return true;
    *error = sqlError(db.lastError());
    rollback();
    return false;
}

void JournalStore::rollback()
{
    database().rollback();
}

bool JournalStore::append(const QList<JournalRecord> &records, QString *error)
{
    QSqlDatabase db = database();
    if (!begin(error))
        return false;
    const QString conflict = QLatin1String(dialect->conflict);
    QSqlQuery record(db);
    record.prepare(QStringLiteral("INSERT INTO records (%1) VALUES (%2)").arg(names(recordTable()), marks(recordTable().size()))
                   + conflict);
    QSqlQuery chip(db);
    chip.prepare(QStringLiteral("INSERT INTO chips (record_id, %1) VALUES (?, %2)").arg(names(chipTable()), marks(chipTable().size()))
                 + conflict);
    QSqlQuery measurement(db);
    measurement.prepare(QStringLiteral("INSERT INTO measurements (record_id, %1) VALUES (?, %2)")
                            .arg(names(measurementTable()), marks(measurementTable().size()))
                        + conflict);
    QString why;
    for (const JournalRecord &r : records) {
        for (const Column<Record> &column : recordTable())
            record.addBindValue(column.bind(r));
        if (!run(record, &why))
            break;
        for (const JournalChip &c : r.chips) {
            chip.addBindValue(r.id.toString(QUuid::WithoutBraces));
            for (const Column<JournalChip> &column : chipTable())
                chip.addBindValue(column.bind(c));
            if (!run(chip, &why))
                break;
        }
        for (const CheckMeasurement &m : r.measurements) {
            if (!why.isEmpty())
                break;
            measurement.addBindValue(r.id.toString(QUuid::WithoutBraces));
            for (const Column<CheckMeasurement> &column : measurementTable())
                measurement.addBindValue(column.bind(m));
            run(measurement, &why);
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
    QList<JournalRecord> records;
    if (!exec(query,
              QStringLiteral("SELECT %1 FROM records").arg(names(recordTable()))
                  + (where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where) + QLatin1Char(' ') + tail,
              values, error))
        return records;
    while (query.next()) {
        JournalRecord r;
        for (int i = 0; i < recordTable().size(); ++i)
            recordTable().at(i).read(r, query.value(i));
        records.append(r);
    }
    if (!loadChips(&records, error) || !loadMeasurements(&records, error))
        records.clear();
    return records;
}

bool JournalStore::loadMeasurements(QList<JournalRecord> *records, QString *error)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM measurements WHERE record_id = ?").arg(names(measurementTable())));
    for (JournalRecord &r : *records) {
        if (r.kind == JournalRecord::Kind::Update)
            continue;
        query.addBindValue(r.id.toString(QUuid::WithoutBraces));
        if (!run(query, error))
            return false;
        while (query.next()) {
            CheckMeasurement m;
            for (int i = 0; i < measurementTable().size(); ++i)
                measurementTable().at(i).read(m, query.value(i));
            r.measurements.append(m);
        }
        // In the check's own order (accel_norm, accel_noise, gyro_bias, gyro_noise, tilt).
        std::sort(r.measurements.begin(), r.measurements.end(), [](const CheckMeasurement &a, const CheckMeasurement &b) {
            return std::pair(measurementOrder(a.name), a.name) < std::pair(measurementOrder(b.name), b.name);
        });
    }
    return true;
}

bool JournalStore::loadChips(QList<JournalRecord> *records, QString *error)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM chips WHERE record_id = ? ORDER BY position").arg(names(chipTable())));
    for (JournalRecord &r : *records) {
        if (r.kind != JournalRecord::Kind::Update)
            continue;
        query.addBindValue(r.id.toString(QUuid::WithoutBraces));
        if (!run(query, error))
            return false;
        while (query.next()) {
            JournalChip c;
            for (int i = 0; i < chipTable().size(); ++i)
                chipTable().at(i).read(c, query.value(i));
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

namespace {

// Records holding `text` (lower case) in a text column, ignoring ASCII case in SQLite and any case
// in PostgreSQL; or, when it is up to eight hex digits, a chip whose cpuid, written as eight, holds
// it: some run of the cpuid's digits equals it, found with integer arithmetic in both databases.
QString textWhere(const QString &text, QVariantList *values)
{
    QString pattern = text;
    for (const char *special : {"!", "%", "_"})
        pattern.replace(QLatin1String(special), QLatin1Char('!') + QLatin1String(special));
    pattern = QLatin1Char('%') + pattern + QLatin1Char('%');
    QStringList any;
    for (const char *column : {"station", "port", "outcome", "package_name"}) {
        any.append(QStringLiteral("lower(coalesce(%1, '')) LIKE ? ESCAPE '!'").arg(QLatin1String(column)));
        values->append(pattern);
    }
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{1,8}$"));
    if (hex.match(text).hasMatch()) {
        const int digits = int(text.size());
        QStringList runs;
        for (int at = 0; at + digits <= 8; ++at) {
            runs.append(QStringLiteral("cpuid / ? % ? = ?"));
            *values << (qint64(1) << 4 * (8 - at - digits)) << (qint64(1) << 4 * digits) << text.toLongLong(nullptr, 16);
        }
        any.append(QStringLiteral("id IN (SELECT record_id FROM chips WHERE %1)").arg(runs.join(QStringLiteral(" OR "))));
    }
    return QStringLiteral("(%1)").arg(any.join(QStringLiteral(" OR ")));
}

} // namespace

QString JournalStore::filterWhere(const JournalFilter &filter, QVariantList *values)
{
    QStringList where;
    // On the start the database derives: an instant whatever form another program wrote it in,
    // and indexed.
    if (filter.since.isValid()) {
        where.append(QStringLiteral("started_ms >= ?"));
        values->append(filter.since.toMSecsSinceEpoch());
    }
    if (filter.until.isValid()) {
        where.append(QStringLiteral("started_ms < ?"));
        values->append(filter.until.toMSecsSinceEpoch());
    }
    if (filter.cpuid) {
        where.append(QStringLiteral("id IN (SELECT record_id FROM chips WHERE cpuid = ?)"));
        values->append(qint64(*filter.cpuid));
    }
    if (filter.serial) {
        where.append(QStringLiteral("id IN (SELECT record_id FROM chips WHERE serial = ?)"));
        values->append(qint64(*filter.serial));
    }
    if (!filter.unitSerial.isEmpty()) {
        where.append(QStringLiteral("unit_serial = ?"));
        values->append(filter.unitSerial);
    }
    if (!filter.outcome.isEmpty()) {
        where.append(QStringLiteral("outcome = ?"));
        values->append(filter.outcome);
    }
    if (!filter.station.isEmpty()) {
        where.append(QStringLiteral("station = ?"));
        values->append(filter.station);
    }
    if (filter.kind) {
        where.append(QStringLiteral("kind = ?"));
        values->append(JournalRecord::kindName(*filter.kind));
    }
    if (!filter.text.isEmpty())
        where.append(textWhere(filter.text.toLower(), values));
    return where.join(QStringLiteral(" AND "));
}

bool JournalStore::exec(QSqlQuery &query, const QString &sql, const QVariantList &values, QString *error) const
{
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        *error = sqlError(query.lastError());
        return false;
    }
    for (const QVariant &value : values)
        query.addBindValue(value);
    return run(query, error);
}

QList<JournalRecord> JournalStore::find(const JournalFilter &filter, QString *error)
{
    QVariantList values;
    const QString where = filterWhere(filter, &values);
    QString tail = QStringLiteral("ORDER BY started DESC, id");
    if (filter.limit >= 0)
        tail += QStringLiteral(" LIMIT %1").arg(filter.limit);
    return select(where, values, tail, error);
}
