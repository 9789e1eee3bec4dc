// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal, so the simulator can clean up on exit.
#pragma once

#include <QObject>

class QSocketNotifier;

// A signal handler may only do async-signal-safe work: it writes one byte into a pipe,
// and the event loop reads it and emits quitRequested(). One instance per process.
class QuitSignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignalWatcher(QObject *parent = nullptr);
    ~QuitSignalWatcher() override;

    bool isWatching() const { return notifier != nullptr; }

signals:
    void quitRequested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *notifier = nullptr;
};
