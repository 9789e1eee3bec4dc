#include "CalibrateService.h"

#include "AccelSample.h"
#include "StarsCommands.h"

#include <QDebug>
#include <algorithm>

namespace {

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
};

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
}

CalibrateService::~CalibrateService()
{
    stop();
    wait();
}

void CalibrateService::stop()
{
    quitRequested = true;
}

void CalibrateService::onStart()
{
    startRequested = true;
}

void CalibrateService::onCancel()
{
    connectedFlag = false;
}

void CalibrateService::onConnected(bool value)
{
    connectedFlag = value;
    qDebug() << "connect" << value;
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
    default:
        return captureFace(step);
    }
}

int CalibrateService::enterCalibrationMode()
{
    if (!(connectedFlag && startRequested && gimbalReady())) {
        pause(PollPauseMs); // a pending start stays pending
        return Idle;
    }
    if (registerValue(workMode) == CalibrationMode)
        return DisableAndClear;

    writeRegister(workMode, CalibrationMode);
    qDebug() << "change mode start";
    switch (waitFor(0, 49, [] {
        return registerValue(workMode) == CalibrationMode ? Check::Holds : Check::NotYet;
    })) {
    case WaitResult::Met:
        qDebug() << "enter calibration mode ok";
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
        if (!connectedFlag)
            return failAfterLine(QStringLiteral("accelerometer %1").arg(face), true);
        if (!pause(PollPauseMs))
            return step;
        if (AccelSample::fromRegisters().isPlacedAt(target))
            break;
    }

    writeRegister(calibCommand, uint16_t(face));
    const uint16_t faceBit = uint16_t(1u << (face - 1));
    switch (waitFor(0, 499, [faceBit] {
        return (registerValue(calibStatus) & faceBit) ? Check::Holds : Check::NotYet;
    })) {
    case WaitResult::Met:
        qDebug() << QStringLiteral("accelerometer %1 ok").arg(face);
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
        qDebug() << QStringLiteral("accelerometer calibration ok");
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
        if (!connectedFlag) {
            // Not a failure: the step waits, pacing its re-checks, until the link returns.
            pause(PollPauseMs);
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
        qDebug() << QStringLiteral("gyro calibration ok");
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
        qDebug() << "imu cr clear ok";
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
        qDebug() << "exit calibration mode ok";
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
        startRequested = false;
        emit calibrationFinishd(true);
        qDebug() << "save data ok";
        return Idle;
    case WaitResult::Failed:
        return failBeforeLine("save data error");
    case WaitResult::Quit:
        break;
    }
    return Save;
}

bool CalibrateService::pause(int ms)
{
    // Sliced so that stop() is noticed within one slice.
    constexpr int SliceMs = 10;
    while (ms > 0 && !quitRequested) {
        const int slice = std::min(ms, SliceMs);
        msleep(unsigned(slice));
        ms -= slice;
    }
    return !quitRequested;
}

CalibrateService::WaitResult CalibrateService::waitFor(int firstPause, int retries,
                                                       const std::function<Check()> &condition)
{
    if (firstPause > 0 && !pause(firstPause))
        return WaitResult::Quit;
    if (!connectedFlag)
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
        if (!connectedFlag || retries == 0)
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
        qDebug() << line;
    else
        qDebug().noquote() << line;
    startRequested = false;
    emit calibrationFinishd(false);
    return Idle;
}

int CalibrateService::failBeforeLine(const char *line)
{
    startRequested = false;
    emit calibrationFinishd(false);
    qDebug() << line;
    return Idle;
}
