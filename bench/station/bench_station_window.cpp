// The station window against velmora-cli station on the same mocked bench: each gimbal's time as
// its journal record gives it (from the attempt's start to its end), the same number of gimbals
// through each face, two at a time; then the idle window's wake-ups with nothing plugged in.
#include "BenchSlot.h"
#include "JournalStore.h"
#include "TestPackages.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kGimbals = 8; // a face's gimbals in a round
constexpr int kRounds = 3;

bool serveUntil(const std::function<bool()> &done, int timeoutMs = 300000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

QList<JournalRecord> records(const QString &file)
{
    JournalStore store;
    QString error;
    if (!QFile::exists(file) || !store.open(JournalStore::Backend::Local, file, 2000, &error))
        return {};
    return store.find(JournalFilter{}, &error);
}

// Context switches of every thread of `pid`.
long switches(qint64 pid)
{
    long count = 0;
    for (const QString &task : QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(QStringLiteral("/proc/%1/task/%2/status").arg(pid).arg(task));
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray &line : file.readAll().split('\n'))
                if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                    count += line.split(':').last().trimmed().toLong();
    }
    return count;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// One face's run: the program started with `arguments`, its gimbals plugged two at a time, each
// pulled once its record is in; the program is ended once all are. The records' durations in ms.
QList<double> run(QProcess &program, const QString &binary, const QStringList &arguments, const QString &journal,
                  std::vector<std::unique_ptr<BenchSlot>> &gimbals)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journal);
    env.insert(QStringLiteral("VELMORA_STATION"), QStringLiteral("bench"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(binary, arguments);
    program.waitForStarted();
    QCoreApplication::processEvents();
    serveUntil([] { return false; }, 1500); // started and listening
    size_t next = 0;
    int done = 0;
    while (done < int(gimbals.size())) {
        while (next < gimbals.size() && int(next) - done < 2)
            gimbals[next++]->plug();
        serveUntil([&] { return records(journal).size() > done; });
        const QList<JournalRecord> now = records(journal);
        done = int(now.size());
        for (const JournalRecord &r : now)
            for (size_t i = 0; i < next; ++i)
                if (gimbals[i]->holder >= 0 && gimbals[i]->tty == r.port)
                    gimbals[i]->pull();
    }
    program.terminate();
    program.waitForFinished(5000);
    QList<double> ms;
    for (const JournalRecord &r : records(journal))
        ms.append(double(r.started.msecsTo(r.ended)));
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!UdevTestbed::preloaded()) {
        std::fprintf(stderr, "run under umockdev-wrapper: %s\n", qPrintable(UdevTestbed::notPreloadedReason()));
        return 2;
    }
    qunsetenv("VELMORA_VIRTUAL_PORTS");
    QTemporaryDir dir;
    const QString package = dir.filePath(QStringLiteral("bench.ptz"));
    if (writeTestPackage(package, {12000, 5000}, 5).size() != 2)
        return 1;
    const QString bin = qEnvironmentVariable("VELMORA_BIN_DIR", QCoreApplication::applicationDirPath());
    UdevTestbed bed;
    int slotIndex = 0;
    QList<double> cli;
    QList<double> window;
    for (int round = 0; round < kRounds; ++round) {
        for (const bool throughWindow : {false, true}) {
            std::vector<std::unique_ptr<BenchSlot>> gimbals;
            for (int i = 0; i < kGimbals; ++i, ++slotIndex)
                gimbals.push_back(std::make_unique<BenchSlot>(bed, slotIndex, dir.filePath(QStringLiteral("g%1").arg(slotIndex))));
            QProcess program;
            const QString journal = dir.filePath(QStringLiteral("r%1-%2.sqlite").arg(round).arg(throughWindow));
            const QStringList common{QStringLiteral("--package"), package, QStringLiteral("--product"), QStringLiteral("0")};
            const QList<double> ms = throughWindow
                                         ? run(program, bin + QStringLiteral("/velmora"), QStringList{QStringLiteral("--station")} + common, journal, gimbals)
                                         : run(program, bin + QStringLiteral("/velmora-cli"), QStringList{QStringLiteral("station")} + common, journal, gimbals);
            (throughWindow ? window : cli) += ms;
            std::printf("round %d, %s: %lld gimbals, median %.0f ms\n", round + 1, throughWindow ? "window" : "command line",
                        qsizetype(ms.size()), median(ms));
        }
    }
    std::printf("per gimbal (record start to end), %lld gimbals each: command line median %.0f ms, window median %.0f ms, "
                "ratio %.3f (goal <= 1.02)\n",
                qsizetype(cli.size()), median(cli), median(window), median(window) / median(cli));

    // The idle window: nothing plugged in for 10 s, after its start.
    QProcess idle;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), dir.filePath(QStringLiteral("idle.sqlite")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    idle.setProcessEnvironment(env);
    idle.start(bin + QStringLiteral("/velmora"), {QStringLiteral("--station"), QStringLiteral("--package"), package, QStringLiteral("--product"),
                                                  QStringLiteral("0")});
    idle.waitForStarted();
    serveUntil([] { return false; }, 3000);
    const long before = switches(idle.processId());
    serveUntil([] { return false; }, 10000);
    const long after = switches(idle.processId());
    std::printf("idle window, nothing plugged, 10 s: %ld context switches of all its threads\n", after - before);
    idle.terminate();
    idle.waitForFinished(5000);
    return 0;
}
