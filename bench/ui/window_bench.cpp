// Whole-window figures against the simulator: idle CPU with and without a connected gimbal
// (with the sensor plot never opened, closed and shown, and beside a minimal reference),
// a full calibration's wall time (device delays versus what the host adds) and peak memory,
// and how long closing the window takes in the states where a service is waiting.
// Usage: bench_window [seconds per idle case] [idle: stop after the idle cases]
//        bench_window [seconds per case] compare [rounds]: the reference and the connected
//        window (plot never opened) measured in turns, with the medians and their ratios
#include "GimbalModel.h"
#include "RegisterTable.h"
#include "RuntimeSession.h"
#include "SensorPlotWindow.h"
#include "SensorReadout.h"
#include "SimulatedSession.h"
#include "Startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QToolButton>
#include <QMap>
#include <unistd.h>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <algorithm>
#include <ctime>
#include <sys/resource.h>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Voluntary context switches of every thread of the process: how often its threads went to
// sleep and were woken again.
long long voluntarySwitches()
{
    long long total = 0;
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(task));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(24).trimmed().toLongLong();
        }
    }
    return total;
}

// CPU ticks used so far by each thread of the process, by thread name.
QMap<QString, long long> threadTicks()
{
    QMap<QString, long long> ticks;
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (open < 0 || close < 0 || fields.size() < 13)
            continue;
        // Fields after the name: state is 0, utime 11, stime 12.
        ticks[QString::fromLocal8Bit(line.mid(open + 1, close - open - 1)) + QLatin1Char('/') + task] =
            fields[11].toLongLong() + fields[12].toLongLong();
    }
    return ticks;
}

// CPU time of the calling thread (the GUI thread here), to the nanosecond.
double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

long peakRssKib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs the event loop until `done` holds (checked every 10 ms) or `timeoutMs` passes.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(10);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Runs the event loop for `ms`, as the program does while the user watches.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Starts a session and, when the port is opened, waits until the gimbal is ready to calibrate.
bool startSession(SimulatedSession &s, const QStringList &simArguments, bool openPort)
{
    if (!s.start(simArguments, 4, openPort))
        return false;
    return !openPort || waitUntil([&s] { return s.probe->calibrateButton()->isEnabled(); }, 15000);
}

// Where the sensor plot window stands during an idle measurement.
enum class Plot { Never, Hidden, Shown };

// What one idle span cost.
struct Span
{
    double process = 0; // % of one core, all threads
    double gui = 0;     // % of one core, the GUI thread
    double wakeups = 0; // voluntary context switches per second, all threads
};

// CPU share and wake-ups per second of the whole process over `seconds`, with per-thread shares.
Span measureSpan(const char *label, int seconds)
{
    const double cpu0 = cpuSeconds();
    const double gui0 = threadCpuSeconds();
    const long long switches0 = voluntarySwitches();
    const QMap<QString, long long> ticks0 = threadTicks();
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double elapsed = wall.elapsed() / 1000.0;
    Span span;
    span.process = 100.0 * (cpuSeconds() - cpu0) / elapsed;
    span.gui = 100.0 * (threadCpuSeconds() - gui0) / elapsed;
    span.wakeups = (voluntarySwitches() - switches0) / elapsed;
    std::printf("idle, %-40s: %.2f %% of one core (GUI thread %.2f %%), %.0f thread wake-ups per s, over %.1f s\n",
                label, span.process, span.gui, span.wakeups, elapsed);
    const QMap<QString, long long> ticks1 = threadTicks();
    const double tickHz = double(sysconf(_SC_CLK_TCK));
    for (auto it = ticks1.cbegin(); it != ticks1.cend(); ++it) {
        const double share = 100.0 * (it.value() - ticks0.value(it.key())) / tickHz / elapsed;
        if (share >= 0.05)
            std::printf("    thread %-28s %.1f %%\n", qPrintable(it.key()), share);
    }
    return span;
}

Span measureIdleCpu(bool connected, int seconds, Plot plot = Plot::Never)
{
    SimulatedSession s;
    if (!startSession(s, {}, connected)) {
        std::printf("idle cpu: could not start\n");
        return {};
    }
    if (plot != Plot::Never) {
        QTest::mouseClick(s.probe->widget<QToolButton>("plotButton"), Qt::LeftButton);
        QWidget *window = s.window->findChild<SensorPlotWindow *>();
        if (!window || !QTest::qWaitForWindowExposed(window)) {
            std::printf("idle cpu: no plot window\n");
            return {};
        }
        if (plot == Plot::Hidden)
            window->close();
    }
    runFor(1000);
    const char *label = !connected            ? "no port open"
                        : plot == Plot::Never  ? "connected, plot never opened"
                        : plot == Plot::Hidden ? "connected, plot opened and closed"
                                               : "connected, plot shown";
    const Span span = measureSpan(label, seconds);
    s.closeWindow();
    return span;
}

// The least a window showing this read-out can cost: the same port, worker, link and request
// service, and eight labels set from the register table on a 20 ms timer when their text
// changes. The window is measured against it.
Span measureReference(int seconds)
{
    SimulatorProcess sim;
    if (!sim.start({})) {
        std::printf("reference: could not start the simulator\n");
        return {};
    }
    RuntimeSession session(4);
    QWidget window;
    auto *layout = new QGridLayout(&window);
    QLabel *labels[8];
    for (int i = 0; i < 8; ++i)
        layout->addWidget(labels[i] = new QLabel(QStringLiteral("0.000")), i / 4, i % 4);
    window.resize(410, 466);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window) || !session.open(sim.path())) {
        std::printf("reference: could not open the port\n");
        return {};
    }
    QString shown[8];
    QTimer tick;
    tick.setInterval(20);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const SensorReadout r = SensorReadout::fromRaw(
            registerTable[accX].signedValue(), registerTable[accY].signedValue(), registerTable[accZ].signedValue(),
            registerTable[gyroX].signedValue(), registerTable[gyroY].signedValue(), registerTable[gyroZ].signedValue(),
            16.4f);
        const float values[8] = {r.ax, r.ay, r.az, r.gx, r.gy, r.gz, r.amod, r.gmod};
        for (int i = 0; i < 8; ++i) {
            const QString text = QString::number(values[i], 'f', i < 3 || i == 6 ? 3 : 1);
            if (text != shown[i])
                labels[i]->setText(shown[i] = text);
        }
    });
    bool up = false;
    QObject::connect(&session, &RuntimeSession::linkChanged, [&](bool value) { up = value; });
    tick.start();
    if (!waitUntil([&] { return up; }, 15000)) {
        std::printf("reference: no link\n");
        return {};
    }
    runFor(1000);
    const Span span = measureSpan("reference (8 labels, same services)", seconds);
    session.stopService();
    return span;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// The reference and the window in turns, so that both see the same machine load; the medians
// and their ratios are the figures to compare.
void compareWithReference(int seconds, int rounds)
{
    std::vector<double> refProcess, refGui, winProcess, winGui, processRatio, guiRatio;
    for (int round = 0; round < rounds; ++round) {
        const Span ref = measureReference(seconds);
        const Span win = measureIdleCpu(true, seconds);
        if (ref.process <= 0 || win.process <= 0 || ref.gui <= 0)
            continue;
        refProcess.push_back(ref.process);
        refGui.push_back(ref.gui);
        winProcess.push_back(win.process);
        winGui.push_back(win.gui);
        processRatio.push_back(win.process / ref.process);
        guiRatio.push_back(win.gui / ref.gui);
    }
    std::printf("over %zu rounds of %d s, medians: reference %.2f %% (GUI thread %.2f %%), window %.2f %% (GUI thread "
                "%.2f %%); window / reference: whole process %.2f, GUI thread %.2f\n",
                refProcess.size(), seconds, median(refProcess), median(refGui), median(winProcess), median(winGui),
                median(processRatio), median(guiRatio));
}

void measureCalibration()
{
    SimulatedSession s;
    if (!startSession(s, {QStringLiteral("--user")}, true)) {
        std::printf("calibration: could not start\n");
        return;
    }
    QElapsedTimer wall;
    wall.start();
    QTest::mouseClick(s.probe->calibrateButton(), Qt::LeftButton);
    const bool ok = waitUntil([&s] { return s.probe->status() == QStringLiteral("校准完成！"); }, 120000);
    const qint64 total = wall.elapsed();
    // What the simulated gimbal itself waits, along the run at time scale 1: mode change,
    // clear, the user turning to face 1, six captures each followed by a turn, solve, gyro,
    // clear and mode change back.
    const qint64 device = GimbalModel::ModeDelayMs + GimbalModel::ClearDelayMs + GimbalModel::UserMoveMs
                          + 6 * (GimbalModel::CaptureDelayMs + GimbalModel::UserMoveMs) + GimbalModel::SolveDelayMs
                          + GimbalModel::GyroDelayMs + GimbalModel::ClearDelayMs + GimbalModel::ModeDelayMs;
    std::printf("full calibration: %s in %lld ms = device's own delays %lld ms + host %lld ms; peak RSS %ld MiB\n",
                ok ? "succeeded" : "FAILED", total, device, total - device, peakRssKib() / 1024);
    s.closeWindow();
}

void measureClose(const char *state, const QStringList &simArguments, const std::function<bool(SimulatedSession &)> &reach)
{
    SimulatedSession s;
    if (!startSession(s, simArguments, !simArguments.contains(QStringLiteral("--silent"))) || !reach(s)) {
        std::printf("close while %s: could not reach the state\n", state);
        return;
    }
    std::printf("close while %-28s: %lld ms from close to window destroyed\n", state, s.closeWindow());
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Styled as the program styles itself: the style sheet decides much of what a paint costs.
    Startup::loadStyleSheet();
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    if (argc > 2 && QByteArray(argv[2]) == "compare") {
        compareWithReference(seconds, argc > 3 ? std::max(1, atoi(argv[3])) : 5);
        return 0;
    }
    measureIdleCpu(false, seconds);
    measureReference(seconds);
    measureIdleCpu(true, seconds);
    measureIdleCpu(true, seconds, Plot::Hidden);
    measureIdleCpu(true, seconds, Plot::Shown);
    if (argc > 2 && QByteArray(argv[2]) == "idle")
        return 0;
    measureCalibration();

    const auto clickCalibrate = [](SimulatedSession &s) {
        QTest::mouseClick(s.probe->calibrateButton(), Qt::LeftButton);
        return waitUntil([&s] { return s.probe->stepBox()->title() == QStringLiteral("步骤 1"); }, 20000);
    };
    measureClose("waiting for placement", {}, clickCalibrate);
    measureClose("the gimbal is silent", {QStringLiteral("--silent")}, [](SimulatedSession &s) {
        s.probe->open(s.sim.path());
        runFor(500);
        return true;
    });
    measureClose("waiting for the save answer", {QStringLiteral("--user"), QStringLiteral("--no-save-answer")},
                 [](SimulatedSession &s) {
                     QTest::mouseClick(s.probe->calibrateButton(), Qt::LeftButton);
                     return waitUntil([&s] { return s.sim.writes().contains(QStringLiteral("W 0009 0000")); }, 120000);
                 });
    return 0;
}
