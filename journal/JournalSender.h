// The thread that takes the records waiting in the local journal to the shared one.
#pragma once

#include "JournalConfig.h"

class JournalStore;

#include <QMutex>
#include <QThread>
#include <QWaitCondition>
#include <atomic>

// Sleeps until a record is written (wake()) or, while records wait for an unreachable server,
// until the next retry; nothing ticks when nothing waits. Its own connections live in its thread.
// The retries back off from 2 s to at most 30 s, so records kept while the server was away
// reach it within about half a minute of its return, with no new record needed to wake it.
class JournalSender : public QThread
{
    Q_OBJECT

public:
    explicit JournalSender(const JournalConfig &config, int timeoutMs, QObject *parent = nullptr);
    ~JournalSender() override;

    void wake();
    void stop();
    // Sends what waits once and ends (for a command about to exit).
    void setOneShot(bool value) { oneShot = value; }
    // The first retry's delay and the longest one (before start()).
    void setRetryDelays(int firstMs, int longestMs)
    {
        firstRetryMs = firstMs;
        longestRetryMs = longestMs;
    }
    // How many times it has tried to send so far.
    int attempts() const { return tries.load(); }
    int lastSent() const { return sentTotal.load(); }
    int lastWaiting() const { return waitingLeft.load(); }
    QString lastError() const;

    // Sends the oldest waiting records to the shared journal in batches, each marked sent only
    // once the server committed it; returns how many were sent, -1 on failure. `left` gets how
    // many still wait.
    static int sendBatch(JournalStore &local, JournalStore &shared, int *left, QString *error);

signals:
    void sent(int count, int waiting);
    void failed(const QString &reason);

protected:
    void run() override;

private:
    JournalConfig config;
    int timeoutMs;
    bool oneShot = false;
    int firstRetryMs = 2000;
    int longestRetryMs = 30000;
    mutable QMutex mutex;
    QWaitCondition woken;
    bool pending = true;
    QString error;
    std::atomic<bool> quitRequested{false};
    std::atomic<int> sentTotal{-1};
    std::atomic<int> waitingLeft{-1};
    std::atomic<int> tries{0};
};
