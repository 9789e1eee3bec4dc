// Collects debug lines written by any thread, for tests that check a component's diagnostics.
// Warnings and worse are not collected; they go on to the previous handler.
#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>
#include <functional>

// One instance at a time: installs itself as the message handler and restores the previous one.
class DebugCapture
{
public:
    // Called in the writing thread for every line, under the capture's lock.
    using Observer = std::function<void(const QString &line)>;

    explicit DebugCapture(Observer observer = {})
        : observer(std::move(observer))
    {
        instance() = this;
        previous = qInstallMessageHandler(&DebugCapture::handle);
    }
    ~DebugCapture()
    {
        qInstallMessageHandler(previous);
        instance() = nullptr;
    }

    QStringList lines() const
    {
        QMutexLocker lock(&mutex);
        return captured;
    }
    int count(const QString &line) const { return lines().count(line); }
    // Adds an entry of the test's own (a signal, say) between the lines, in the order of events.
    void record(const QString &entry)
    {
        QMutexLocker lock(&mutex);
        captured.append(entry);
    }
    void clear()
    {
        QMutexLocker lock(&mutex);
        captured.clear();
    }
    bool containsPrefix(const QString &prefix) const
    {
        for (const QString &line : lines()) {
            if (line.startsWith(prefix))
                return true;
        }
        return false;
    }

private:
    static DebugCapture *&instance()
    {
        static DebugCapture *current = nullptr;
        return current;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        DebugCapture *self = instance();
        if (!self)
            return;
        if (type != QtDebugMsg) {
            if (self->previous)
                self->previous(type, context, text);
            return;
        }
        QMutexLocker lock(&self->mutex);
        self->captured.append(text);
        if (self->observer)
            self->observer(text);
    }

    mutable QMutex mutex;
    QStringList captured;
    Observer observer;
    QtMessageHandler previous = nullptr;
};
