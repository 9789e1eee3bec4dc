// A writer process for the journal's tests and benchmarks: writes records as velmora-cli does.
//   journal_writer COUNT [--send] [--hold] [--spread MS]
// Records go to VELMORA_JOURNAL_FILE and, with --send, each is sent to VELMORA_JOURNAL at once
// (as the window's sender would) and whatever waits is sent at the end (as velmora-cli does).
// --hold: after writing, say "written" and wait to be killed, before sending anything.
#include "Journal.h"
#include "JournalSamples.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int count = args.value(1).toInt();
    const bool send = args.contains(QStringLiteral("--send"));
    const bool hold = args.contains(QStringLiteral("--hold"));
    const int spreadMs = args.contains(QStringLiteral("--spread")) ? args.value(args.indexOf(QStringLiteral("--spread")) + 1).toInt() : 0;
    Journal journal(JournalConfig::resolve());
    // A failed write is told on stderr, which the tests show when a writer fails.
    QObject::connect(&journal, &Journal::problem, [](const QString &why) {
        std::fprintf(stderr, "journal_writer: %s\n", qPrintable(why));
        std::fflush(stderr);
    });
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        JournalRecord record = i % 2 ? JournalSamples::calibration() : JournalSamples::update(0x7000000u + uint32_t(i) * 2u);
        // Ended now, so the server can tell how long a record waited to reach it.
        record.ended = QDateTime::fromMSecsSinceEpoch(QDateTime::currentMSecsSinceEpoch(), Qt::UTC);
        if (!journal.record(record))
            ++failed;
        if (send && !hold) {
            QString error;
            journal.sendWaiting(2000, &error);
        }
        if (spreadMs > 0)
            QThread::msleep(spreadMs);
    }
    std::printf("written %d\n", count - failed);
    std::fflush(stdout);
    if (hold)
        for (;;)
            ::pause();
    if (send) {
        QString error;
        if (journal.sendWaiting(2000, &error) < 0) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            std::fflush(stderr);
            ::_exit(2);
        }
    }
    // As velmora-cli does: a sender given up on a server that did not answer in time may still
    // be running; the process then ends without unloading Qt SQL under it.
    Journal::exitIfSenderAbandoned(failed == 0 ? 0 : 1);
    return failed == 0 ? 0 : 1;
}
