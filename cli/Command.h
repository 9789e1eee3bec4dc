// A sub-command that runs in the event loop and reports its exit status when it is done.
#pragma once

#include <QObject>

class Journal;

class Command : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Begins the work; finished() follows, possibly at once (queued).
    virtual void start() = 0;
    // Ctrl-C: wind down as the window would on close, then finish() with a non-success status.
    virtual void interrupt() = 0;
    // A further Ctrl-C after the first; ignored unless the command has a harder stop.
    virtual void interruptAgain() {}

    // Where the attempts this command makes are recorded; none when null.
    void setJournal(Journal *value) { journal = value; }

protected:
    Journal *journal = nullptr;

signals:
    void finished(int exitCode);
};
