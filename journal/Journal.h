// The journal as the window and velmora-cli use it: a record lands locally at once and is sent on.
#pragma once

#include "JournalConfig.h"
#include "JournalRecord.h"
#include "JournalStore.h"

#include <QObject>
#include <QString>
#include <memory>

class JournalSender;

// Lives in one thread (the window's or the command's); the local write happens there, in one
// short transaction, and never waits for the shared journal: a sender thread takes what waits
// to the server, so an update or a calibration never waits for it either.
class Journal : public QObject
{
    Q_OBJECT

public:
    explicit Journal(const JournalConfig &config, QObject *parent = nullptr);
    ~Journal() override;

    const JournalConfig &config() const { return settings; }
    bool hasShared() const { return !settings.sharedUri.isEmpty(); }

    // Writes `record` (stamped with this station) to the local journal, then wakes the sender.
    // False when it could not be written; problem() tells why, and the next record tries again.
    bool record(JournalRecord record);

    // Starts the sender thread, which sends what waits now and whenever a record is written,
    // and retries while records wait and the server does not answer. A shared URI that
    // JournalConfig::checkSharedUri refuses (one with a password) is said through problem()
    // instead, and the records stay local.
    void startSending();
    // Sends what waits, giving the server at most `budgetMs`; returns the records sent, or -1
    // when the server did not confirm them in time (they wait for the next time).
    int sendWaiting(int budgetMs, QString *error);

    // Asks the sender to end and waits up to `budgetMs` for it. False when it is still blocked
    // on the server: the caller must then not unload Qt SQL under it (end the process at once).
    bool stopSending(int budgetMs);
    // Ends the process at once with `code`, after flushing its output, when any journal of it
    // left a sender blocked on the server; returns otherwise. The records that sender held wait
    // in the local journal for the next start.
    static void exitIfSenderAbandoned(int code);

    // The local journal, opened in this thread, or null with the reason.
    JournalStore *local(QString *error);

signals:
    // A record could not be written locally, or what waits could not be sent: said once a
    // streak, with the reason.
    void problem(const QString &text);
    // The sender sent `count` records; `waiting` still wait.
    void sent(int count, int waiting);

private:
    JournalConfig settings;
    JournalStore store;
    QString storeProblem;
    JournalSender *sender = nullptr;
};
