// The check of a freshly written firmware through the runtime link.
#include "FirmwareCheck.h"

#include "RegisterTable.h"
#include "RuntimeSession.h"
#include "SensorReadout.h"
#include "StarsService.h"

#include <cmath>

FirmwareCheck::FirmwareCheck(const QString &portName, int productRow, int timeoutMs, QObject *parent)
    : QObject(parent)
    , port(portName)
    , row(productRow)
{
    deadline.setSingleShot(true);
    deadline.setInterval(timeoutMs);
    connect(&deadline, &QTimer::timeout, this, [this] { end(Result::NoAnswer); });
}

FirmwareCheck::~FirmwareCheck()
{
    delete session;
}

FirmwareCheck::Result FirmwareCheck::judge(const std::array<int16_t, 6> &v, double *accelerationG)
{
    // The rates play no part in the verdict: a gimbal on the bench may be touched while it
    // is checked, but gravity is always there.
    const SensorReadout r = SensorReadout::fromRaw(v[0], v[1], v[2], v[3], v[4], v[5], 1.0f);
    if (accelerationG)
        *accelerationG = r.amod;
    return std::isfinite(r.amod) && r.amod >= 0.9f && r.amod <= 1.1f ? Result::Running : Result::Implausible;
}

void FirmwareCheck::start()
{
    session = new RuntimeSession(row);
    connect(session, &RuntimeSession::linkChanged, this, [this](bool up) {
        linkUp = up;
        if (!up)
            answered = 0; // values from before a lost link do not count
    });
    connect(session, &RuntimeSession::portLost, this, [this] { end(Result::NoAnswer); });
    connect(session->service(), &StarsService::registerAnswered, this, &FirmwareCheck::onAnswer, Qt::QueuedConnection);
    deadline.start();
    if (!session->open(port))
        end(Result::NoAnswer);
}

void FirmwareCheck::cancel()
{
    end(Result::Cancelled);
}

void FirmwareCheck::onAnswer(int index, quint16 value)
{
    if (done || index < accX || index > gyroZ)
        return;
    values[size_t(index)] = int16_t(value);
    answered |= 1u << index;
    if (!linkUp || answered != 0x3Fu)
        return;
    double g = 0;
    const Result verdict = judge(values, &g);
    end(verdict, g);
}

void FirmwareCheck::end(Result result, double accelerationG)
{
    if (done)
        return;
    done = true;
    deadline.stop();
    if (session)
        session->stopService();
    emit finished(result, accelerationG);
}
