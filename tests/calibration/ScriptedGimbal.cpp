#include "ScriptedGimbal.h"

#include "CalibrateService.h"
#include "RegisterTable.h"

#include <QTimer>

namespace {

constexpr int ReplyDelayMs = 15;
constexpr int CountsPerG = 4096;
constexpr uint16_t ReadyBit = 0x8000;
constexpr uint16_t ClearedBits = 0x01FF; // faces, solve and gyroscope results

void store(RegisterIndex reg, int value)
{
    registerTable[reg].value.store(uint16_t(int16_t(value)));
}

uint16_t status()
{
    return registerTable[calibStatus].value.load();
}

} // namespace

ScriptedGimbal::ScriptedGimbal(CalibrateService *service, QObject *parent)
    : QObject(parent), service(service)
{
    const RegisterProfile *profile = registerProfile(2);
    for (int i = 0; i < RegisterCount; ++i)
        registerTable[i].code.store(profile->codes[i]);
    clearRegisterValues();
    setReady(true);
    placeAt(0);

    connect(service, &CalibrateService::transmit, this, &ScriptedGimbal::onTransmit);
    poller.setInterval(10);
    connect(&poller, &QTimer::timeout, this, [this] {
        RegisterEntry &entry = registerTable[nextPolled];
        entry.storeAnswer(entry.value.load());
        nextPolled = (nextPolled + 1) % RegisterCount;
    });
    poller.start();
    connect(service, &CalibrateService::directionChanged, this, [this](int face) {
        if (userPlacesGimbal)
            QTimer::singleShot(ReplyDelayMs, this, [this, face] { placeAt(face); });
    });
}

void ScriptedGimbal::setReady(bool ready)
{
    store(calibStatus, ready ? (status() | ReadyBit) : (status() & ~ReadyBit));
}

void ScriptedGimbal::placeAt(int face)
{
    static const int axes[7][3] = {
        {2458, 0, 3277}, // tilted: 0.6 g along x, 0.8 g along z
        {CountsPerG, 0, 0}, {-CountsPerG, 0, 0},
        {0, CountsPerG, 0}, {0, -CountsPerG, 0},
        {0, 0, CountsPerG}, {0, 0, -CountsPerG},
    };
    placedFace = face;
    store(accX, axes[face][0]);
    store(accY, axes[face][1]);
    store(accZ, axes[face][2]);
    setMotion(0);
}

void ScriptedGimbal::setMotion(int16_t hundredths)
{
    store(motion, hundredths);
}

void ScriptedGimbal::setRate(int16_t x, int16_t y, int16_t z)
{
    store(gyroX, x);
    store(gyroY, y);
    store(gyroZ, z);
}

void ScriptedGimbal::setPolling(bool on)
{
    if (on)
        poller.start();
    else
        poller.stop();
}

uint16_t ScriptedGimbal::workModeWrite()
{
    return registerProfile(2)->codes[workMode] | 0x8000;
}

uint16_t ScriptedGimbal::calibCommandWrite()
{
    return registerProfile(2)->codes[calibCommand] | 0x8000;
}

void ScriptedGimbal::onTransmit(uint16_t cmd, uint16_t value, uint32_t timeout)
{
    const Request request{cmd, value, timeout};
    received.append(request);
    const int delay = effectDelayMs ? effectDelayMs(request) : ReplyDelayMs;
    QTimer::singleShot(delay, this, [this, request] {
        apply(request);
        if (afterRequest)
            afterRequest(request);
    });
}

void ScriptedGimbal::apply(const Request &request)
{
    if (request.cmd == workModeWrite()) {
        if (consume(modeWritesHonoured))
            store(workMode, request.value);
    } else if (request.cmd == calibCommandWrite()) {
        applyCalibCommand(request.value);
    } else if (request.cmd == 0xC005 && saveAnswer) {
        service->onSaveFinshed(*saveAnswer);
    }
}

void ScriptedGimbal::applyCalibCommand(uint16_t value)
{
    if (value == 0) {
        if (consume(clearsHonoured))
            store(calibStatus, status() & ~ClearedBits);
    } else if (value <= 6) {
        // A face is captured only while the gimbal actually lies on it.
        if (capturesFaces && int(value) == placedFace)
            store(calibStatus, status() | (1u << (value - 1)));
    } else if (value == 7) {
        const uint16_t bits = solveOutcome == SolveOutcome::Solved   ? 0x40
                            : solveOutcome == SolveOutcome::Failed ? 0x80
                                                                   : 0xC0;
        store(calibStatus, status() | bits);
    } else if (value == 8) {
        store(calibStatus, status() | 0x100);
    }
}

bool ScriptedGimbal::consume(int &allowance)
{
    if (allowance == 0)
        return false;
    if (allowance > 0)
        --allowance;
    return true;
}
