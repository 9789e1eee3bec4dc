#include "CalibrateService.h"

#include "AccelSample.h"
#include "CalibrationLog.h"
#include "ProductTable.h"
#include "StarsCommands.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

namespace {


constexpr int PollPauseMs = 10;

constexpr uint16_t CalibrationMode = 2;
constexpr uint16_t NormalMode = 0;

// calibCommand values.
constexpr uint16_t ClearCommand = 0;
constexpr uint16_t SolveCommand = 7;
constexpr uint16_t GyroCommand = 8;

// calibStatus bits.
constexpr uint16_t FaceAndSolveBits = 0x00FF;
constexpr uint16_t SolvedBit = 1u << 6;
constexpr uint16_t SolveFailedBit = 1u << 7;
constexpr uint16_t GyroDoneBit = 1u << 8;

uint16_t registerValue(RegisterIndex reg)
{
    return registerTable[reg].value.load();
}

// Bit 15 of calibStatus: the gimbal is ready for calibration.
bool gimbalReady()
{
    return registerTable[calibStatus].signedValue() < 0;
}

} // namespace

CalibrateService::CalibrateService(QObject *parent)
    : QThread(nullptr)
{
    // The owner deletes the service itself after stopping it; a parent would delete it a
    // second time.
    Q_UNUSED(parent);
    qRegisterMetaType<CalibrationOutcome>("CalibrationOutcome");
    qRegisterMetaType<CheckOutcome>("CheckOutcome");
    checkLimits = CheckLimits::defaults(ProductTable::DefaultRow);
}

CalibrateService::~CalibrateService()
{
    stop();
    wait();
}

void CalibrateService::stop()
{
    quitRequested = true;
    wakeLoop();
}

void CalibrateService::onStart()
{
    startRequested = true;
    wakeLoop();
}

void CalibrateService::onCancel()
{
    connectedFlag = false;
    // The user closed the port, chose another product or left the tab: a pending start is
    // forgotten and a running run is abandoned, so nothing is sent or saved later on a link
    // that may lead to another gimbal.
    startRequested = false;
    ++cancelCount;
    wakeLoop();
}

void CalibrateService::onConnected(bool value)
{
    connectedFlag = value;
    qCDebug(lcCalibration) << "connect" << value;
    wakeLoop();
}

void CalibrateService::onSaveFinshed(bool value)
{
    saveAcknowledged = value;
}

void CalibrateService::onDisableFinshed(bool value)
{
    // The disable command's outcome does not change the procedure.
    Q_UNUSED(value);
}

void CalibrateService::run()
{
    int step = Idle;
    while (!quitRequested)
        step = runStep(step);
    // Cleared on the way out rather than on the way in, so that a stop() made before the
    // thread got going is not lost and the thread can still be started again later.
    quitRequested = false;
}

int CalibrateService::runStep(int step)
{
    currentStep = step;
    switch (step) {
    case Idle:
        return enterCalibrationMode();
    case DisableAndClear:
        return disableAndClear();
    case Solve:
        return solveAccelerometer();
    case Gyroscope:
        return calibrateGyroscope();
    case ClearAfter:
        return clearAfterCalibration();
    case LeaveMode:
        return leaveCalibrationMode();
    case Save:
        return saveResult();
    case CheckAfterSave:
        return checkAfterSave();
    case CheckOnDemand:
        return checkOnDemand();
    default:
        return captureFace(step);
    }
}

int CalibrateService::enterCalibrationMode()
{
    // Taken before the conditions are looked at: a cancel after this point abandons the run.
    runCancelMark = cancelCount;
    if (!(connectedFlag && startRequested)) {
        if (checkRequested.exchange(false))
            return CheckOnDemand;
        blockUntil([this] { return (connectedFlag && startRequested) || checkRequested; });
        return Idle;
    }
    // A check asked for now would come after the run; the run checks the gimbal itself.
    checkRequested = false;
    if (!gimbalReady()) {
        // The ready bit arrives with the polled status register, which signals nothing:
        // a pending start looks again every 10 ms.
        pause(PollPauseMs);
        return Idle;
    }
    acceptedFaces.clear();
    if (registerValue(workMode) == CalibrationMode)
        return DisableAndClear;

    writeRegister(workMode, CalibrationMode);
    qCDebug(lcCalibration) << "change mode start";
    switch (waitFor(0, 49, [] {
        return registerValue(workMode) == CalibrationMode ? Check::Holds : Check::NotYet;
    })) {
    case WaitResult::Met:
        qCDebug(lcCalibration) << "enter calibration mode ok";
        return DisableAndClear;
    case WaitResult::Failed:
        // Reported like every other failure, so the window leaves its running state.
        return failAfterLine(QStringLiteral("enter calibration mode error"), false);
    case WaitResult::Quit:
        break;
    }
    return Idle;
}

int CalibrateService::disableAndClear()
{
    emit transmit(CMD_DISABLE, CMD_DISABLE_VALUE, COMMAND_TIMEOUT_MS);
    if (!pause(50))
        return DisableAndClear;
    writeRegister(calibCommand, ClearCommand);
    switch (waitFor(PollPauseMs, 49, [] {
        return (registerValue(calibStatus) & FaceAndSolveBits) == 0 ? Check::Holds : Check::NotYet;
    })) {
    case WaitResult::Met:
        return FirstFace;
    case WaitResult::Failed:
        return failAfterLine(QStringLiteral("imu cr clear error"), false);
    case WaitResult::Quit:
        break;
    }
    return DisableAndClear;
}

int CalibrateService::captureFace(int step)
{
    const int face = step - 1;
    const FaceTarget &target = faceTargets[size_t(face - 1)];
    emit directionChanged(face);

    // The user may take any time to place the gimbal; only a lost link or a stop ends this.
    for (;;) {
        if (quitRequested)
            return step;
        if (!linkUsable())
            return failAfterLine(QStringLiteral("accelerometer %1").arg(face), true);
        if (!pause(PollPauseMs))
            return step;
        const AccelSample sample = AccelSample::fromRegisters();
        if (sample.isPlacedAt(target)) {
            acceptedFaces.append({sample.ax, sample.ay, sample.az});
            break;
        }
    }

    writeRegister(calibCommand, uint16_t(face));
    const uint16_t faceBit = uint16_t(1u << (face - 1));
    switch (waitFor(0, 499, [faceBit] {
        return (registerValue(calibStatus) & faceBit) ? Check::Holds : Check::NotYet;
    })) {
    case WaitResult::Met:
        qCDebug(lcCalibration) << QStringLiteral("accelerometer %1 ok").arg(face);
        return step == LastFace ? Solve : step + 1;
    case WaitResult::Failed:
        return failAfterLine(QStringLiteral("accelerometer %1 error").arg(face), true);
    case WaitResult::Quit:
        break;
    }
    return step;
}

int CalibrateService::solveAccelerometer()
{
    writeRegister(calibCommand, SolveCommand);
    // A solved bit wins over a failed bit seen in the same look.
    switch (waitFor(PollPauseMs, 49, [] {
        const uint16_t status = registerValue(calibStatus);
        if (status & SolvedBit)
            return Check::Holds;
        return (status & SolveFailedBit) ? Check::Refused : Check::NotYet;
    })) {
    case WaitResult::Met:
        qCDebug(lcCalibration) << QStringLiteral("accelerometer calibration ok");
        emit gyroscopeStepStarted();
        return Gyroscope;
    case WaitResult::Failed:
        return failAfterLine(QStringLiteral("accelerometer calibration error"), true);
    case WaitResult::Quit:
        break;
    }
    return Solve;
}

int CalibrateService::calibrateGyroscope()
{
    for (;;) {
        if (quitRequested)
            return Gyroscope;
        if (cancelCount != runCancelMark)
            return failAfterLine(QStringLiteral("gyro calibration error"), true);
        if (!connectedFlag) {
            // Not a failure: a lost link may come back, and the step waits for it.
            blockUntil([this] { return connectedFlag || cancelCount != runCancelMark; });
            return Gyroscope;
        }
        if (!pause(PollPauseMs))
            return Gyroscope;
        if (AccelSample::fromRegisters().isStill())
            break;
    }

    writeRegister(calibCommand, GyroCommand);
    switch (waitFor(0, 499, [] {
        return (registerValue(calibStatus) & GyroDoneBit) ? Check::Holds : Check::NotYet;
    })) {
    case WaitResult::Met:
        qCDebug(lcCalibration) << QStringLiteral("gyro calibration ok");
        return ClearAfter;
    case WaitResult::Failed:
        return failAfterLine(QStringLiteral("gyro calibration error"), true);
    case WaitResult::Quit:
        break;
    }
    return Gyroscope;
}

int CalibrateService::clearAfterCalibration()
{
    writeRegister(calibCommand, ClearCommand);
    switch (waitFor(PollPauseMs, 49, [] {
        return (registerValue(calibStatus) & FaceAndSolveBits) == 0 ? Check::Holds : Check::NotYet;
    })) {
    case WaitResult::Met:
        qCDebug(lcCalibration) << "imu cr clear ok";
        return LeaveMode;
    case WaitResult::Failed:
        return failBeforeLine("imu cr clear error");
    case WaitResult::Quit:
        break;
    }
    return ClearAfter;
}

int CalibrateService::leaveCalibrationMode()
{
    writeRegister(workMode, NormalMode);
    switch (waitFor(PollPauseMs, 49, [] {
        return registerValue(workMode) == NormalMode ? Check::Holds : Check::NotYet;
    })) {
    case WaitResult::Met:
        qCDebug(lcCalibration) << "exit calibration mode ok";
        return Save;
    case WaitResult::Failed:
        return failBeforeLine("exit calibration mode error");
    case WaitResult::Quit:
        break;
    }
    return LeaveMode;
}

int CalibrateService::saveResult()
{
    saveAcknowledged = false;
    emit transmit(CMD_SAVE, CMD_SAVE_VALUE, COMMAND_TIMEOUT_MS);
    // About 3.5 s: the request service may need the full 3 s for the gimbal's answer.
    switch (waitFor(PollPauseMs, 349, [this] {
        return saveAcknowledged ? Check::Holds : Check::NotYet;
    })) {
    case WaitResult::Met:
        qCDebug(lcCalibration) << "save data ok";
        return CheckAfterSave;
    case WaitResult::Failed:
        return failBeforeLine("save data error");
    case WaitResult::Quit:
        break;
    }
    return Save;
}

bool CalibrateService::pause(int ms)
{
    // Only stop() ends a pause early; the other wake-ups are for blockUntil.
    const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    QMutexLocker lock(&wakeMutex);
    while (!quitRequested && !deadline.hasExpired())
        wakeCondition.wait(&wakeMutex, deadline);
    return !quitRequested;
}

template <typename Ready>
bool CalibrateService::blockUntil(Ready ready)
{
    QMutexLocker lock(&wakeMutex);
    while (!quitRequested && !ready())
        wakeCondition.wait(&wakeMutex);
    return !quitRequested;
}

void CalibrateService::wakeLoop()
{
    // Taken so that a wake-up cannot fall between the loop's look at its condition and its wait.
    QMutexLocker lock(&wakeMutex);
    wakeCondition.wakeAll();
}

bool CalibrateService::linkUsable() const
{
    return connectedFlag && cancelCount == runCancelMark;
}

CalibrateService::WaitResult CalibrateService::waitFor(int firstPause, int retries,
                                                       const std::function<Check()> &condition)
{
    if (firstPause > 0 && !pause(firstPause))
        return WaitResult::Quit;
    if (!linkUsable())
        return WaitResult::Failed;
    for (;;) {
        switch (condition()) {
        case Check::Holds:
            return WaitResult::Met;
        case Check::Refused:
            return WaitResult::Failed;
        case Check::NotYet:
            break;
        }
        if (!pause(PollPauseMs))
            return WaitResult::Quit;
        if (!linkUsable() || retries == 0)
            return WaitResult::Failed;
        --retries;
    }
}

void CalibrateService::writeRegister(RegisterIndex reg, uint16_t value)
{
    emit transmit(writeCommand(registerTable[reg].code.load()), value, WRITE_TIMEOUT_MS);
}

int CalibrateService::failAfterLine(const QString &line, bool quoted)
{
    if (quoted)
        qCDebug(lcCalibration) << line;
    else
        qCDebug(lcCalibration).noquote() << line;
    startRequested = false;
    reportEnd(false);
    emit calibrationFinishd(false);
    return Idle;
}

int CalibrateService::failBeforeLine(const char *line)
{
    startRequested = false;
    reportEnd(false);
    emit calibrationFinishd(false);
    qCDebug(lcCalibration) << line;
    return Idle;
}

void CalibrateService::reportEnd(bool succeeded, const std::optional<CheckOutcome> &check)
{
    // A check asked for during the run is not kept for after it.
    checkRequested = false;
    CalibrationOutcome outcome;
    outcome.step = currentStep;
    outcome.faces = acceptedFaces;
    outcome.saveAcknowledged = succeeded || check.has_value();
    outcome.check = check;
    if (succeeded)
        outcome.reason = CalibrationOutcome::Success;
    else if (check && check->reason == CheckOutcome::Cancelled)
        outcome.reason = CalibrationOutcome::Cancelled;
    else if (check && check->reason == CheckOutcome::LinkLost)
        outcome.reason = CalibrationOutcome::LinkLost;
    else if (check)
        outcome.reason = CalibrationOutcome::CheckFailed;
    else if (cancelCount != runCancelMark)
        outcome.reason = CalibrationOutcome::Cancelled;
    else if (!connectedFlag)
        outcome.reason = CalibrationOutcome::LinkLost;
    else
        outcome.reason = CalibrationOutcome::StepFailed;
    emit calibrationOutcome(outcome);
}
