// How long the window's thread goes without a turn of its event loop (so without a repaint) while
// the History window opens on a large local journal, and while a record is added with it open.
// A 10 ms timer on the window's thread measures the longest gap between its own ticks.
// Usage: bench_history [--records N]   (default 1,000,000 update records, two chips each)
#include "HistoryWindow.h"
#include "Journal.h"
#include "JournalStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

// Update records 2.5 s apart over four stations, written through the store a batch (one
// transaction) at a time: 80 % success, the rest write failures; record i is of gimbal i / 2.
bool seed(const QString &path, int n)
{
    JournalStore store;
    QString error;
    if (!store.open(JournalStore::Backend::Local, path, 60000, &error)) {
        std::fprintf(stderr, "seeding: %s\n", qPrintable(error));
        return false;
    }
    const QDateTime base = QDateTime::currentDateTimeUtc().addSecs(-qint64(n) * 5 / 2);
    constexpr int Batch = 20000;
    for (int from = 0; from < n; from += Batch) {
        QList<JournalRecord> batch;
        for (int i = from; i < qMin(n, from + Batch); ++i) {
            JournalRecord r = JournalRecord::begin(JournalRecord::Kind::Update);
            r.started = base.addMSecs(qint64(i) * 2500);
            r.ended = r.started.addMSecs(20000 + (qint64(i) * 7919) % 60000);
            r.station = QStringLiteral("station-%1").arg(i % 4);
            r.port = QStringLiteral("/dev/ttyUSB0");
            r.outcome = i % 10 < 8 ? QStringLiteral("success") : QStringLiteral("write-failed");
            for (int position = 1; position <= 2; ++position) {
                JournalChip chip;
                chip.position = position;
                chip.cpuid = uint32_t(i / 2 * 2 + position);
                chip.firmwareBefore = 100;
                chip.firmwareAfter = 105;
                chip.result = QStringLiteral("written");
                r.chips.append(chip);
            }
            batch.append(r);
        }
        if (!store.append(batch, &error)) {
            std::fprintf(stderr, "seeding: %s\n", qPrintable(error));
            return false;
        }
    }
    return true;
}

// The attempts the Summary view shows, or -1 while it shows none.
int shownAttempts(const HistoryWindow &window)
{
    static const QRegularExpression attempts(QStringLiteral("尝试 (\\d+) 次"));
    const auto match = attempts.match(window.findChild<QLabel *>(QStringLiteral("yieldHeadline"))->text());
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// Runs `action` from the event loop, then turns the loop until the records are read and the
// summary shows `attempts`; prints the longest gap between the 10 ms ticks meanwhile and when the
// summary came.
bool measure(const char *what, HistoryWindow &window, int attempts, const std::function<void()> &action)
{
    QElapsedTimer clock, sinceTick;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = qMax(longest, sinceTick.restart());
        window.update();
    });
    clock.start();
    sinceTick.start();
    tick.start(10);
    QTimer::singleShot(0, action);
    while (window.isReading() || shownAttempts(window) != attempts) {
        if (clock.elapsed() > 600000) {
            std::fprintf(stderr, "%s: the summary never showed %d attempts\n", what, attempts);
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const qint64 shown = clock.elapsed();
    // A last tick after the summary arrived, so a gap that ends with it is counted.
    QEventLoop settle;
    QTimer::singleShot(50, &settle, &QEventLoop::quit);
    settle.exec();
    std::printf("%s: longest gap between 10 ms ticks %lld ms; summary shown after %.2f s\n", what, qlonglong(longest),
                shown / 1000.0);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int at = int(args.indexOf(QStringLiteral("--records")));
    const int n = at > 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : 1000000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.sqlite"));
    QElapsedTimer seeding;
    seeding.start();
    if (n <= 0 || !seed(path, n))
        return 1;
    std::printf("%d update records seeded in %.1f s\n", n, seeding.elapsed() / 1000.0);
    std::fflush(stdout);

    JournalConfig config;
    config.localPath = path;
    config.station = QStringLiteral("bench");
    Journal journal(config);
    HistoryWindow window(&journal);
    if (!measure("opening History", window, n, [&] { window.show(); }))
        return 1;
    // As the main window does after each record it writes.
    JournalRecord added = JournalRecord::begin(JournalRecord::Kind::Update);
    added.ended = added.started.addSecs(30);
    added.outcome = QStringLiteral("success");
    if (!measure("adding a record with History open", window, n + 1, [&] {
            journal.record(added);
            window.refresh();
        }))
        return 1;
    return 0;
}
