// Measures how long the calibration thread takes to end after stop() in its waiting states,
// and how long a full run takes against a promptly answering scripted gimbal.
#include "CalibrateService.h"
#include "ScriptedGimbal.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

bool runEventsUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void quietMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

struct Rig
{
    std::unique_ptr<CalibrateService> service = std::make_unique<CalibrateService>();
    std::unique_ptr<ScriptedGimbal> gimbal = std::make_unique<ScriptedGimbal>(service.get());
    bool finished = false;

    Rig()
    {
        QObject::connect(service.get(), &CalibrateService::calibrationFinishd, service.get(),
                         [this](bool) { finished = true; });
    }
    void startRun()
    {
        service->onConnected(true);
        service->start();
        service->onStart();
    }
};

// Brings a fresh service into a state, then returns the stop-to-end time in milliseconds.
double measureStop(const std::function<bool(Rig &)> &reachState)
{
    Rig rig;
    if (!reachState(rig)) {
        std::fprintf(stderr, "state not reached\n");
        return -1.0;
    }
    // A random extra delay, so that stop() lands anywhere within the loop's 10 ms pauses.
    QElapsedTimer jitter;
    jitter.start();
    const int extraMs = QRandomGenerator::global()->bounded(25);
    runEventsUntil([&] { return jitter.elapsed() >= extraMs; }, 1000);

    QElapsedTimer clock;
    clock.start();
    rig.service->stop();
    rig.service->wait();
    return clock.nsecsElapsed() / 1e6;
}

void report(const char *state, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    std::printf("stop while %-26s n=%2zu  min %6.2f ms  median %6.2f ms  max %6.2f ms\n", state,
                samples.size(), samples.front(), samples[samples.size() / 2], samples.back());
}

void benchStop(const char *state, int repetitions, const std::function<bool(Rig &)> &reachState)
{
    std::vector<double> samples;
    for (int i = 0; i < repetitions; ++i)
        samples.push_back(measureStop(reachState));
    report(state, samples);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietMessages);

    benchStop("idle", 40, [](Rig &rig) {
        // Connected but never asked to start: the loop turns in its idle step.
        rig.service->onConnected(true);
        rig.service->start();
        QElapsedTimer settle;
        settle.start();
        return runEventsUntil([&] { return settle.elapsed() >= 50; }, 2000);
    });
    benchStop("waiting for placement", 40, [](Rig &rig) {
        rig.gimbal->userPlacesGimbal = false;
        rig.startRun();
        return runEventsUntil([&] { return rig.gimbal->requests().size() >= 3; }, 5000);
    });
    benchStop("in the gyroscope link wait", 20, [](Rig &rig) {
        rig.gimbal->afterRequest = [&rig](const ScriptedGimbal::Request &request) {
            if (request.value == 7 && request.cmd == ScriptedGimbal::calibCommandWrite()) {
                rig.gimbal->setMotion(100);
                rig.service->onCancel();
            }
        };
        rig.startRun();
        return runEventsUntil([&] { return rig.gimbal->requests().size() >= 10; }, 10000);
    });
    benchStop("waiting for the save", 20, [](Rig &rig) {
        rig.gimbal->saveAnswer.reset();
        rig.startRun();
        return runEventsUntil([&] { return rig.gimbal->requests().size() >= 14; }, 10000);
    });

    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        Rig rig;
        QElapsedTimer clock;
        clock.start();
        rig.startRun();
        if (runEventsUntil([&] { return rig.finished; }, 20000))
            runs.push_back(clock.nsecsElapsed() / 1e6);
    }
    if (!runs.empty()) {
        std::sort(runs.begin(), runs.end());
        std::printf("full run, gimbal answering after 15 ms: n=%zu  min %.0f ms  median %.0f ms"
                    "  max %.0f ms\n",
                    runs.size(), runs.front(), runs[runs.size() / 2], runs.back());
    }
    return 0;
}
