// The journal's tables and their numbered upgrades, and what differs between its two databases.
#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

// What the local SQLite file and the shared PostgreSQL database do differently; everything else
// the store says once for both.
struct JournalDialect
{
    bool local;
    const char *driver;
    // Starts a write transaction. Locally BEGIN IMMEDIATE takes the write lock at once, waiting
    // out another process's lock: a deferred transaction whose snapshot another writer made
    // stale would fail at once, unretried.
    const char *begin;
    // Ends an insert: the shared journal passes over an id it has, so a resend is harmless.
    const char *conflict;
    // Reads the schema version (0 for a new journal); where the version lives in a table,
    // `versionKept` says whether that table exists yet, so that reading makes nothing.
    const char *versionKept;
    const char *versionRead;
    // Makes the version's table (run only when upgrading a journal that has none).
    const char *versionTable;
    // Records version %1 as reached.
    const char *versionWrite;
    // Taken by every upgrade of a shared journal, so stations starting together upgrade once.
    const char *upgradeLock;
    // Sets an upgrade's transaction apart: it may take as long as the journal's size asks (a
    // connection's statement time-out bounds a station's writes, not a rewrite of every record),
    // and sorts index entries in memory.
    const char *upgradeSettings;
    // Points a connection at `target` (the file's path or a connection URI) before it opens.
    bool (*setTarget)(QSqlDatabase &db, const QString &target, int timeoutMs, QString *error);
    // Readies a connection just opened.
    bool (*settle)(QSqlDatabase &db, QString *error);

    // The database's own words for `error`, else Qt's.
    static QString errorText(const QSqlError &error);

    static const JournalDialect &localFile();
    static const JournalDialect &sharedServer();
};

namespace JournalSchema {

// The statements that bring a journal from `version - 1` to `version` (from 1). Steps are only
// ever appended: a file or database at an older version is brought up step by step.
QStringList step(const JournalDialect &dialect, int version);
// The version this program writes: the number of its steps.
int latest();
// Whether a journal found at `version` was left by a development build that numbered other
// tables 5 to 8: its records lack the derived start, or keep that build's stored firmware
// column. Such a journal is refused untouched rather than misread.
bool fromUnreleasedBuild(const QSqlDatabase &db, int version);

} // namespace JournalSchema
