// Turns Ctrl-C (SIGINT) and SIGTERM into a Qt signal, so a command can wind down cleanly.
#pragma once

#include <QObject>

class QSocketNotifier;

// The handler only writes one byte into a pipe (async-signal-safe); the event loop reads it
// and emits interrupted(). One instance per process.
class InterruptWatcher : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

signals:
    void interrupted(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *notifier = nullptr;
};
