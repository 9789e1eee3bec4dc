// One kind of work the window hands to a worker thread (QtConcurrent), one run at a time: a request
// made while one runs waits for it, only the latest such request is kept, and a run's result is
// handed on only when no newer request waits, so an outdated request's result never replaces a
// newer one. The work runs on its own copies of what it needs; a result that arrives after its
// owner is gone is dropped with the watcher, and the run itself ends on its own.
#pragma once

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <functional>
#include <utility>

// The threads these runs take, apart from Qt's global pool: Qt's painting also hands work to that
// pool and waits for it, so a long run there would hold a repaint until it ends. Ended with the
// application, which waits for a run under way.
inline QThreadPool *latestRunPool()
{
    static QThreadPool *pool = new QThreadPool(QCoreApplication::instance());
    return pool;
}

template <typename Result>
class LatestRun
{
public:
    explicit LatestRun(std::function<void(const Result &)> done)
        : deliver(std::move(done))
    {
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &watcher, [this] { finished(); });
    }

    void request(std::function<Result()> work)
    {
        if (running) {
            next = std::move(work);
            return;
        }
        start(std::move(work));
    }

    // A run is under way or waits.
    bool isBusy() const { return running; }

private:
    void start(std::function<Result()> work)
    {
        running = true;
        watcher.setFuture(QtConcurrent::run(latestRunPool(), std::move(work)));
    }

    void finished()
    {
        if (next) {
            start(std::exchange(next, nullptr));
            return;
        }
        running = false;
        deliver(watcher.result());
    }

    QFutureWatcher<Result> watcher;
    std::function<Result()> next;
    std::function<void(const Result &)> deliver;
    bool running = false;
};
