// A QObject that owns a thread and lives in it, so that all its slots run there.
#pragma once

#include <QObject>
#include <QThread>

class ExecutableObject : public QObject
{
    Q_OBJECT

public:
    // An object with a parent cannot change thread, so the parent must be null.
    explicit ExecutableObject(QObject *parent = nullptr);
    // Ends the thread's event loop and waits for it.
    ~ExecutableObject() override;

    QThread *workerThread() { return &thread; }

protected:
    // Ends the thread's event loop and waits for it; safe to call more than once.
    // Subclasses that own thread-bound objects call it first in their destructors.
    void stopThread();

private:
    QThread thread;
};
