// The IMU calibration procedure: six accelerometer faces, gyroscope and save, run in its own thread.
#pragma once

#include "CalibrationOutcome.h"
#include "CheckLimits.h"
#include "RegisterTable.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

// Walks the gimbal through calibration mode, the six accelerometer faces, the accelerometer
// solve, the gyroscope, a final clear, leaving calibration mode and saving. It never reads
// replies itself: every write goes out as `transmit`, and the effect is watched in
// `registerTable`, which the runtime request service keeps polling.
//
// A lost link (connected(false)) is transient: the gyroscope step waits for it to return. A
// cancel (the port closed, another product, the other tab) abandons the run for good: a start
// that is still pending is forgotten, and a run in progress fails at its next look at the link
// even if the link has come back meanwhile.
//
// Once the save is acknowledged the gimbal rests where the gyroscope step left it, and the
// check runs there: the run succeeds only when the check passes, else it ends check-failed
// (a lost link or a cancel during the check keep their own reasons). onCheck() runs the same
// check alone. A check waits up to 10 s for stillness, then takes two seconds of fresh
// sensor samples (a sample only once every sensor register was answered again); a move
// during those two seconds drops the samples and waits for stillness again, within the same
// 10 s. A lost link or a cancel ends a check at once.
//
// Nothing ticks while no run or check is pending: the idle loop and every pause block on a
// condition that onStart(), onCheck(), onConnected(), onCancel() and stop() wake.
class CalibrateService : public QThread
{
    Q_OBJECT

public:
    // `parent` is accepted for the caller's convenience but not kept: the object has no parent.
    explicit CalibrateService(QObject *parent = nullptr);
    // Stops the loop and waits for it, so deleting a running service is safe.
    ~CalibrateService() override;

    // Asks the loop to end; it does so within a few milliseconds in every step.
    void stop();

signals:
    void transmit(uint16_t cmd, uint16_t value, uint32_t timeout);
    // Face `index` (1 to 6) is now expected.
    void directionChanged(int index);
    // The accelerometer is solved; the gyroscope step waits for the gimbal to rest still.
    void gyroscopeStepStarted();
    // A run ended: true after the gimbal acknowledged the save, false after any failure.
    void calibrationFinishd(bool value);
    // The same end as a value, emitted just before calibrationFinishd.
    void calibrationOutcome(CalibrationOutcome outcome);

    // A check (on demand, or the one after a calibration's save) waits for the gimbal to rest still.
    void checkWaiting();
    // The gimbal is still: the check is taking its samples.
    void checkMeasuring();
    // A check asked for with onCheck() ended (a calibration's own check ends in its outcome).
    void checkFinished(CheckOutcome outcome);

public:
    // The limits the next check measures against (any thread; taken when a check begins).
    void setCheckLimits(const CheckLimits &limits);

public slots:
    void onStart();
    // Checks the gimbal at rest against the limits, without calibrating it. Ignored while a
    // calibration runs; a cancel abandons it like a run.
    void onCheck();
    void onCancel();
    void onConnected(bool value);
    void onSaveFinshed(bool value);
    void onDisableFinshed(bool value);

protected:
    void run() override;

private:
    // Procedure steps; the face steps 2 to 7 capture faces 1 to 6.
    enum Step {
        Idle = 0,
        DisableAndClear = 1,
        FirstFace = 2,
        LastFace = 7,
        Solve = 8,
        Gyroscope = 9,
        ClearAfter = 10,
        LeaveMode = 11,
        Save = 12,
        CheckAfterSave = 13,
        CheckOnDemand = 14, // not a calibration step: the on-demand check
    };
    // What one look at a register condition found.
    enum class Check { NotYet, Holds, Refused };
    enum class WaitResult { Met, Failed, Quit };

    int runStep(int step);
    int enterCalibrationMode();
    int disableAndClear();
    int captureFace(int step);
    int solveAccelerometer();
    int calibrateGyroscope();
    int clearAfterCalibration();
    int leaveCalibrationMode();
    int saveResult();
    int checkAfterSave();
    int checkOnDemand();

    // Waits for stillness, samples and judges; nullopt when a stop was requested.
    std::optional<CheckOutcome> measureAtRest();
    // How a check ends when the link fails it: Cancelled or LinkLost.
    CheckOutcome::Reason linkEnd() const;

    // Pauses `ms` milliseconds; false as soon as a stop was requested.
    bool pause(int ms);
    // Blocks until `ready()` holds or a stop is requested; false on a stop.
    template <typename Ready>
    bool blockUntil(Ready ready);
    void wakeLoop();
    // The link answers and this run has not been abandoned by a cancel since it began.
    bool linkUsable() const;
    // Looks at `condition` at most retries + 1 times, 10 ms apart, after a first pause;
    // fails as soon as the link is reported down.
    WaitResult waitFor(int firstPause, int retries, const std::function<Check()> &condition);
    void writeRegister(RegisterIndex reg, uint16_t value);
    // Ends a run: the line goes out before the failure is reported.
    int failAfterLine(const QString &line, bool quoted);
    // Ends a run: the failure is reported before the line goes out.
    int failBeforeLine(const char *line);
    // Reports how the run ended (before calibrationFinishd); `check` once the check ran.
    void reportEnd(bool succeeded, const std::optional<CheckOutcome> &check = std::nullopt);

    std::atomic<bool> quitRequested{false};
    std::atomic<bool> connectedFlag{false};
    std::atomic<bool> startRequested{false};
    std::atomic<bool> saveAcknowledged{false};
    std::atomic<bool> checkRequested{false};
    // Counts cancels; a run remembers the count it began with in runCancelMark.
    std::atomic<uint32_t> cancelCount{0};
    uint32_t runCancelMark = 0; // used by the loop's thread only
    // The run so far, for its outcome (loop's thread only).
    int currentStep = 0;
    QList<std::array<double, 3>> acceptedFaces;

    QMutex limitsMutex;
    CheckLimits checkLimits;

    QMutex wakeMutex;
    QWaitCondition wakeCondition;
};
