// The simulated gimbal's runtime firmware: its registers, its IMU and its calibration behaviour.
#pragma once

#include "ImuModel.h"
#include "RegisterTable.h"
#include "SimulatedUser.h"

#include <QHash>
#include <cstdint>

struct GimbalSettings
{
    int profile = 2;         // register profile 0, 1 or 2: slave address and register codes
    double timeScale = 1.0;  // multiplies every device delay; below 1 runs faster
    bool simulatedUser = false;
    bool solveFails = false;
    bool answersSave = true; // false: the save command is never acknowledged
    quint32 seed = 1;        // also picks the sensor's own errors
    bool calibrated = false; // starts corrected for its sensor's errors; otherwise reads them raw
    ImuFault imuFault = ImuFault::None;
};

// Device time is passed in through advanceTo() (milliseconds, never going back), so the
// model runs on a real clock in the simulator and on a stepped clock in tests. Every timed
// behaviour is kept as a due time and takes effect when time reaches it.
class GimbalModel
{
public:
    // Bits of calibStatus.
    static constexpr uint16_t FaceBits = 0x003F;
    static constexpr uint16_t SolvedBit = 1 << 6;
    static constexpr uint16_t SolveFailedBit = 1 << 7;
    static constexpr uint16_t GyroBit = 1 << 8;
    static constexpr uint16_t ReadyBit = 1 << 15;

    // Delays before a write takes effect, at time scale 1, in milliseconds.
    static constexpr qint64 ModeDelayMs = 200;
    static constexpr qint64 CaptureDelayMs = 800;
    static constexpr qint64 SolveDelayMs = 200;
    static constexpr qint64 GyroDelayMs = 1000;
    static constexpr qint64 ClearDelayMs = 100;
    static constexpr qint64 UserMoveMs = 500;

    explicit GimbalModel(const GimbalSettings &settings);

    // The gravity vector face `face` (1 to 6) is captured in: +X, -X, +Y, -Y, +Z, -Z.
    static Vector3 faceOrientation(int face);

    uint8_t slaveAddress() const { return columns.slaveAddress; }
    uint16_t registerCode(RegisterIndex index) const { return columns.codes[index]; }
    bool knowsRegister(uint16_t code) const { return indexOf(code) >= 0; }

    void advanceTo(qint64 nowMs);
    qint64 now() const { return nowMs; }

    // Register access at the current time; false / 0 for a code the device does not have.
    uint16_t readRegister(uint16_t code);
    bool writeRegister(uint16_t code, uint16_t value);
    // The two commands, with their fixed arguments; false for anything else.
    bool runCommand(uint16_t cmd, uint16_t value);

    ImuModel &imu() { return motionSensor; }
    void setSolveFails(bool fails) { solveFails = fails; }
    void setReady(bool isReady) { ready = isReady; }

    uint16_t workMode() const { return mode; }
    uint16_t calibStatus() const { return uint16_t(status | (ready ? ReadyBit : 0)); }
    int saveCount() const { return saves; }
    int disableCount() const { return disables; }

private:
    enum class Action { None, CaptureFace, Solve, CalibrateGyro, Clear };

    int indexOf(uint16_t code) const;
    qint64 scaled(qint64 baseMs) const;
    void startCalibrationAction(uint16_t command);
    void finishCalibrationAction(qint64 atMs);

    RegisterProfile columns;
    double timeScale;
    bool userEnabled;
    bool solveFails;
    bool answersSave;
    bool ready = true;
    ImuModel motionSensor;
    SimulatedUser user;
    qint64 nowMs = 0;

    uint16_t mode = 0;
    uint16_t lastCalibCommand = 0;
    uint16_t status = 0;
    QHash<uint16_t, uint16_t> otherRegisters;
    int saves = 0;
    int disables = 0;
    ImuCalibration saved; // the calibration a save keeps

    bool modePending = false;
    uint16_t pendingMode = 0;
    qint64 modeDueMs = 0;

    Action action = Action::None;
    int actionFace = 0;
    qint64 actionDueMs = 0;
};
