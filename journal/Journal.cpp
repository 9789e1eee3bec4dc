// Local writes in the caller's thread, sending in the sender's.
#include "Journal.h"

#include "JournalLog.h"
#include "JournalSender.h"

#include <cstdio>
#include <unistd.h>

namespace {

// How long a local write waits for another process's lock, and a server for its connection.
constexpr int LocalLockWaitMs = 5000;
constexpr int SharedTimeoutMs = 2000;

// Senders given up while blocked on a server: they end by themselves when its time-outs pass,
// and are kept here, not deleted under their own feet, until the process ends.
QList<JournalSender *> &abandonedSenders()
{
    static QList<JournalSender *> senders;
    return senders;
}

} // namespace

Journal::Journal(const JournalConfig &config, QObject *parent)
    : QObject(parent)
    , settings(config)
{
}

Journal::~Journal()
{
    stopSending(SharedTimeoutMs + 500);
}

JournalStore *Journal::local(QString *error)
{
    if (!store.isOpen() && !store.open(JournalStore::Backend::Local, settings.localPath, LocalLockWaitMs, error))
        return nullptr;
    return &store;
}

bool Journal::record(JournalRecord record)
{
    if (record.station.isEmpty())
        record.station = settings.station;
    QString why;
    // A second try on a fresh connection: another process may have held the file just then.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0)
            store.close();
        why.clear();
        JournalStore *db = local(&why);
        if (db && db->append({record}, &why)) {
            storeProblem.clear();
            if (sender)
                sender->wake();
            return true;
        }
    }
    // A file damaged or replaced under an open connection is opened afresh next time.
    store.close();
    storeProblem = why;
    qCDebug(lcJournal) << "not recorded:" << why;
    emit problem(QStringLiteral("%1: %2").arg(settings.localPath, why));
    return false;
}

void Journal::startSending()
{
    if (sender || !hasShared())
        return;
    // The command line refuses such a URI before it starts; the window's setting is checked here.
    const QString refusal = JournalConfig::checkSharedUri(settings.sharedUri);
    if (!refusal.isEmpty()) {
        emit problem(refusal);
        return;
    }
    sender = new JournalSender(settings, SharedTimeoutMs);
    connect(sender, &JournalSender::sent, this, &Journal::sent);
    connect(sender, &JournalSender::failed, this, [this](const QString &why) {
        emit problem(QStringLiteral("%1: %2").arg(JournalConfig::describe(settings.sharedUri), why));
    });
    sender->start(QThread::LowPriority);
}

bool Journal::stopSending(int budgetMs)
{
    if (!sender)
        return true;
    sender->stop();
    if (!sender->wait(budgetMs)) {
        // Blocked on a server that stopped answering: left to the end of the process, which
        // must not wait for it.
        sender->disconnect(this);
        abandonedSenders().append(sender);
        sender = nullptr;
        return false;
    }
    delete sender;
    sender = nullptr;
    return true;
}

int Journal::sendWaiting(int budgetMs, QString *error)
{
    if (!hasShared())
        return 0;
    stopSending(budgetMs);
    auto *once = new JournalSender(settings, qMin(budgetMs, SharedTimeoutMs));
    once->setOneShot(true);
    once->start();
    if (!once->wait(budgetMs)) {
        once->stop();
        abandonedSenders().append(once);
        *error = QStringLiteral("%1 did not answer within %2 s")
                     .arg(JournalConfig::describe(settings.sharedUri))
                     .arg(budgetMs / 1000.0);
        return -1; // left running: see stopSending
    }
    const int count = once->lastSent();
    if (count < 0)
        *error = QStringLiteral("%1: %2").arg(JournalConfig::describe(settings.sharedUri), once->lastError());
    delete once;
    return count;
}

void Journal::exitIfSenderAbandoned(int code)
{
    if (abandonedSenders().isEmpty())
        return;
    std::fflush(nullptr);
    ::_exit(code);
}
