// The simulated gimbal's runtime firmware.
#include "GimbalModel.h"

#include "StarsCommands.h"

#include <cmath>

namespace {

// How far from a face's gravity vector the gimbal may lie and still count as placed (g).
constexpr double kFaceTolerance = 0.3;

bool lies(const Vector3 &gravity, const Vector3 &target)
{
    return std::abs(gravity.x - target.x) <= kFaceTolerance && std::abs(gravity.y - target.y) <= kFaceTolerance
           && std::abs(gravity.z - target.z) <= kFaceTolerance;
}

const RegisterProfile &profileOrDefault(int profile)
{
    const RegisterProfile *columns = registerProfile(profile);
    return columns ? *columns : *registerProfile(2);
}

double gyroCountsPerDegree(int profile)
{
    // Profiles 0 and 1 are the older products with the coarser gyroscope range.
    return profile == 2 ? 16.4 : 32.8;
}

} // namespace

GimbalModel::GimbalModel(const GimbalSettings &settings)
    : columns(profileOrDefault(settings.profile))
    , timeScale(settings.timeScale)
    , userEnabled(settings.simulatedUser)
    , solveFails(settings.solveFails)
    , answersSave(settings.answersSave)
    , motionSensor(gyroCountsPerDegree(registerProfile(settings.profile) ? settings.profile : 2), settings.seed,
                   settings.calibrated, settings.imuFault)
    , user(motionSensor, scaled(UserMoveMs))
    , saved(motionSensor.calibration())
{
}

Vector3 GimbalModel::faceOrientation(int face)
{
    switch (face) {
    case 1: return {1, 0, 0};
    case 2: return {-1, 0, 0};
    case 3: return {0, 1, 0};
    case 4: return {0, -1, 0};
    case 5: return {0, 0, 1};
    case 6: return {0, 0, -1};
    default: return {0, 0, 1};
    }
}

int GimbalModel::indexOf(uint16_t code) const
{
    for (int i = 0; i < RegisterCount; ++i) {
        if (columns.codes[i] == code)
            return i;
    }
    return -1;
}

qint64 GimbalModel::scaled(qint64 baseMs) const
{
    return std::llround(double(baseMs) * timeScale);
}

void GimbalModel::advanceTo(qint64 timeMs)
{
    // Due behaviours take effect in time order, each at its own due time, so the outcome
    // does not depend on how often the model is advanced.
    for (;;) {
        const bool modeFirst = modePending && (action == Action::None || modeDueMs <= actionDueMs);
        if (modeFirst && modeDueMs <= timeMs) {
            mode = pendingMode;
            modePending = false;
        } else if (action != Action::None && actionDueMs <= timeMs && !modeFirst) {
            finishCalibrationAction(actionDueMs);
        } else {
            break;
        }
    }
    nowMs = qMax(nowMs, timeMs);
}

uint16_t GimbalModel::readRegister(uint16_t code)
{
    switch (indexOf(code)) {
    case accX: return uint16_t(motionSensor.accel(0, nowMs));
    case accY: return uint16_t(motionSensor.accel(1, nowMs));
    case accZ: return uint16_t(motionSensor.accel(2, nowMs));
    case gyroX: return uint16_t(motionSensor.gyro(0, nowMs));
    case gyroY: return uint16_t(motionSensor.gyro(1, nowMs));
    case gyroZ: return uint16_t(motionSensor.gyro(2, nowMs));
    case ::workMode: return mode;
    case calibCommand: return lastCalibCommand;
    case ::calibStatus: return calibStatus();
    case motion: return uint16_t(motionSensor.motion(nowMs));
    default: return 0;
    }
}

bool GimbalModel::writeRegister(uint16_t code, uint16_t value)
{
    switch (indexOf(code)) {
    case -1:
        return false;
    case ::workMode:
        pendingMode = value;
        modePending = true;
        modeDueMs = nowMs + scaled(ModeDelayMs);
        return true;
    case calibCommand:
        lastCalibCommand = value;
        startCalibrationAction(value);
        return true;
    default:
        // Sensor and status registers are the device's own; the write is answered and ignored.
        return true;
    }
}

bool GimbalModel::runCommand(uint16_t cmd, uint16_t value)
{
    if (cmd == CMD_DISABLE && value == CMD_DISABLE_VALUE) {
        ++disables;
        return true;
    }
    if (cmd == CMD_SAVE && value == CMD_SAVE_VALUE) {
        if (!answersSave)
            return false;
        ++saves;
        // With the save-not-kept fault the save is acknowledged, but the gimbal goes back to
        // the calibration it kept before.
        if (motionSensor.fault() == ImuFault::SaveNotKept)
            motionSensor.setCalibration(saved);
        else
            saved = motionSensor.calibration();
        return true;
    }
    return false;
}

void GimbalModel::startCalibrationAction(uint16_t command)
{
    // A new calibration command replaces whatever the previous one was still doing.
    actionFace = 0;
    if (command >= 1 && command <= 6) {
        action = Action::CaptureFace;
        actionFace = command;
        actionDueMs = nowMs + scaled(CaptureDelayMs);
    } else if (command == 7) {
        action = Action::Solve;
        actionDueMs = nowMs + scaled(SolveDelayMs);
    } else if (command == 8) {
        action = Action::CalibrateGyro;
        actionDueMs = nowMs + scaled(GyroDelayMs);
    } else if (command == 0) {
        action = Action::Clear;
        actionDueMs = nowMs + scaled(ClearDelayMs);
    } else {
        action = Action::None;
    }
}

void GimbalModel::finishCalibrationAction(qint64 atMs)
{
    const Action finished = action;
    action = Action::None;
    switch (finished) {
    case Action::CaptureFace:
        // A face is only captured lying still in its own orientation; otherwise the bit stays clear.
        if (motionSensor.isStill(atMs) && lies(motionSensor.orientation(atMs), faceOrientation(actionFace))) {
            status |= uint16_t(1 << (actionFace - 1));
            motionSensor.captureFace(actionFace, atMs);
            if (userEnabled)
                user.onFaceCaptured(actionFace, atMs);
        }
        break;
    case Action::Solve:
        if (!solveFails && (status & FaceBits) == FaceBits) {
            motionSensor.solve();
            status |= SolvedBit;
        } else {
            status |= SolveFailedBit;
        }
        break;
    case Action::CalibrateGyro:
        if (motionSensor.isStill(atMs)) {
            motionSensor.calibrateGyro(atMs);
            status |= GyroBit;
        }
        break;
    case Action::Clear: {
        // The clear that tidies up after a finished gyroscope step leaves the gimbal where it is;
        // any other clear in calibration mode begins a new run at face 1.
        const bool afterCompleteRun = status & GyroBit;
        status &= uint16_t(~(FaceBits | SolvedBit | SolveFailedBit | GyroBit));
        if (userEnabled && mode == 2 && !afterCompleteRun)
            user.onCleared(atMs);
        break;
    }
    case Action::None:
        break;
    }
}
