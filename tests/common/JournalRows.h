// The journal file this test process's windows write (VELMORA_JOURNAL_FILE, set by
// IsolatedSettings): read its records, or remove it between tests.
#pragma once

#include "JournalStore.h"

#include <QFile>
#include <QtTest>

namespace JournalRows {

inline QString path()
{
    return qEnvironmentVariable("VELMORA_JOURNAL_FILE");
}

// Every record, newest first; fails the test (and returns none) when the file cannot be read.
inline QList<JournalRecord> all(const JournalFilter &filter = JournalFilter())
{
    JournalStore store;
    QString error;
    QList<JournalRecord> records;
    if (store.open(JournalStore::Backend::Local, path(), 2000, &error))
        records = store.find(filter, &error);
    if (!error.isEmpty())
        qWarning("journal not read: %s", qPrintable(error));
    return records;
}

inline void clear()
{
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(path() + QLatin1String(suffix));
}

} // namespace JournalRows
