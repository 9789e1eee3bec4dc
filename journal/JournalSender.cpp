// Sends what waits in the local journal to the shared one, retrying while the server is away.
#include "JournalSender.h"

#include "JournalLog.h"
#include "JournalStore.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

namespace {

constexpr int BatchSize = 200;

} // namespace

JournalSender::JournalSender(const JournalConfig &journalConfig, int connectTimeoutMs, QObject *parent)
    : QThread(parent)
    , config(journalConfig)
    , timeoutMs(connectTimeoutMs)
{
}

JournalSender::~JournalSender()
{
    stop();
    wait();
}

void JournalSender::wake()
{
    QMutexLocker lock(&mutex);
    pending = true;
    woken.wakeAll();
}

void JournalSender::stop()
{
    quitRequested.store(true);
    QMutexLocker lock(&mutex);
    woken.wakeAll();
}

QString JournalSender::lastError() const
{
    QMutexLocker lock(&mutex);
    return error;
}

void JournalSender::run()
{
    JournalStore local;
    JournalStore shared;
    int retryMs = 0;
    bool failing = false;
    int total = 0;
    while (!quitRequested.load()) {
        {
            QMutexLocker lock(&mutex);
            // Without records waiting for a retry, only a new record or stop() wakes the loop.
            const QDeadlineTimer retry = retryMs > 0 ? QDeadlineTimer(retryMs) : QDeadlineTimer(QDeadlineTimer::Forever);
            while (!pending && !quitRequested.load() && !retry.hasExpired())
                woken.wait(&mutex, retry);
            pending = false;
        }
        if (quitRequested.load())
            break;
        QString why;
        int left = -1;
        int count = -1;
        if ((local.isOpen() || local.open(JournalStore::Backend::Local, config.localPath, timeoutMs, &why))
            && (shared.isOpen() || shared.open(JournalStore::Backend::Shared, config.sharedUri, timeoutMs, &why)))
            count = sendBatch(local, shared, &left, &why);
        tries.fetch_add(1);
        if (count < 0) {
            // A connection that failed once is made afresh: the server may have restarted.
            shared.close();
            {
                QMutexLocker lock(&mutex);
                error = why;
            }
            if (!failing)
                emit failed(why);
            failing = true;
            retryMs = retryMs == 0 ? firstRetryMs : qMin(retryMs * 2, longestRetryMs);
            qCDebug(lcJournal) << "shared journal:" << why << "- next try in" << retryMs << "ms";
        } else {
            failing = false;
            retryMs = 0;
            total += count;
            sentTotal.store(total);
            waitingLeft.store(left);
            if (count > 0)
                emit sent(count, left);
        }
        if (oneShot)
            break;
    }
}

int JournalSender::sendBatch(JournalStore &local, JournalStore &shared, int *left, QString *error)
{
    int total = 0;
    for (;;) {
        const QList<JournalRecord> batch = local.waiting(BatchSize, error);
        if (!error->isEmpty())
            return -1;
        if (batch.isEmpty())
            break;
        QList<QUuid> ids;
        for (const JournalRecord &record : batch)
            ids.append(record.id);
        // Marked sent only once the server committed them; a crash in between sends them
        // again, and the server passes over the ids it has.
        if (!shared.append(batch, error))
            return -1;
        if (!local.markSent(ids, error))
            return -1;
        total += int(batch.size());
    }
    *left = local.waitingCount(error);
    return *left < 0 ? -1 : total;
}
