// One journal database through Qt SQL: the local SQLite file or the shared PostgreSQL database.
#pragma once

#include "JournalRecord.h"
#include "JournalSchema.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <optional>

// Which records a listing wants; unset fields do not filter.
struct JournalFilter
{
    QDateTime since;
    QDateTime until;
    std::optional<uint32_t> cpuid;
    std::optional<uint32_t> serial; // a chip's serial
    QString unitSerial;             // the unit's own serial, exactly
    QString outcome;
    QString station;
    std::optional<JournalRecord::Kind> kind;
    // Held, ignoring case, by the station, port, outcome or package name, or by a chip's cpuid as
    // eight hex digits: the History window's text box.
    QString text;
    int limit = -1;
};

// One connection, used only in the thread that opened it (as Qt SQL requires). Every write is
// one transaction; a record with its chips and measurements lands whole or not at all.
class JournalStore
{
public:
    enum class Backend { Local, Shared };
    JournalStore();
    ~JournalStore();
    JournalStore(const JournalStore &) = delete;
    JournalStore &operator=(const JournalStore &) = delete;

    // Opens the SQLite file at `target` (made with its folder if missing) or the PostgreSQL
    // database named by the connection URI `target`, and brings an older schema up to date
    // (JournalSchema::latest(); a journal at a higher version is refused untouched). A journal
    // already at this version is only read, so a role that may only read and insert opens it;
    // one that needs an upgrade this role may not make is refused untouched, naming
    // `velmora-cli journal init`. `timeoutMs` bounds the connection and each statement's wait.
    bool open(Backend backend, const QString &target, int timeoutMs, QString *error);
    // Opens up to `version` only: for tests of the upgrade from an older file.
    bool openAtVersion(Backend backend, const QString &target, int timeoutMs, int version, QString *error);
    void close();
    bool isOpen() const;
    // Gives each later statement up to `ms` on the shared journal instead of the open's budget,
    // and has the server end a statement whose client went away (Ctrl-C, a killed process)
    // within a second rather than at the budget's end. The local file has no statement budget.
    bool setStatementBudget(int ms, QString *error);
    Backend backend() const { return dialect->local ? Backend::Local : Backend::Shared; }
    // The schema version the last open found, before any upgrade (0: the tables were made).
    int versionFound() const { return foundVersion; }

    // Writes the records with their chips and measurements in one transaction. Local records wait to be sent;
    // shared ones that are already there (the same id) are passed over, so a resend is harmless.
    bool append(const QList<JournalRecord> &records, QString *error);
    // Local only: the oldest `limit` records not yet confirmed by the shared journal.
    QList<JournalRecord> waiting(int limit, QString *error);
    bool markSent(const QList<QUuid> &ids, QString *error);
    int waitingCount(QString *error);

    // Newest first.
    QList<JournalRecord> find(const JournalFilter &filter, QString *error);
    // The condition a filter puts on records, with its values to bind in order; empty when
    // nothing is filtered.
    static QString filterWhere(const JournalFilter &filter, QVariantList *values);
    // Runs one statement in `query` (made on database()) with `values` bound in order, its rows
    // to be read forward only (a large result is never held whole); false with the database's
    // words in `error`.
    bool exec(QSqlQuery &query, const QString &sql, const QVariantList &values, QString *error) const;
    int schemaVersion(QString *error);
    // Whether this connection's role may add records: 1 yes, 0 no, -1 on error (the local
    // file always may).
    int mayAppend(QString *error);

    // The connection, for the History view's model (same thread only).
    QSqlDatabase database() const;

private:
    bool connect(const QString &target, int timeoutMs, QString *error);
    bool migrate(int target, QString *error);
    bool upgrade(int target, QString *error);
    bool begin(QString *error);
    bool commit(QString *error);
    void rollback();
    bool loadChips(QList<JournalRecord> *records, QString *error);
    bool loadMeasurements(QList<JournalRecord> *records, QString *error);
    QList<JournalRecord> select(const QString &where, const QVariantList &values, const QString &tail, QString *error);

    QString connectionName;
    const JournalDialect *dialect = &JournalDialect::localFile();
    int foundVersion = -1;
};
