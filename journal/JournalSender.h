// The thread that takes the records waiting in the local journal to the shared one.
#pragma once

#include "JournalConfig.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>
#include <atomic>

// Sleeps until a record is written (wake()) or, while records wait for an unreachable server,
// until the next retry; nothing ticks when nothing waits. Its own connections live in its thread.
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
    int lastSent() const { return sentTotal.load(); }
    int lastWaiting() const { return waitingLeft.load(); }
    QString lastError() const;

signals:
    void sent(int count, int waiting);
    void failed(const QString &reason);

protected:
    void run() override;

private:
    JournalConfig config;
    int timeoutMs;
    bool oneShot = false;
    mutable QMutex mutex;
    QWaitCondition woken;
    bool pending = true;
    QString error;
    std::atomic<bool> quitRequested{false};
    std::atomic<int> sentTotal{-1};
    std::atomic<int> waitingLeft{-1};
};
