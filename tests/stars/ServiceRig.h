// Wires StarsService -> StarsLink -> an in-process simulated gimbal -> StarsLink -> StarsService.
#pragma once

#include "GimbalDevice.h"
#include "MetaTypes.h"
#include "StarsFrame.h"
#include "StarsLink.h"
#include "StarsService.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <memory>

// A request as the service handed it to the link.
struct SentFrame
{
    uint8_t slave;
    uint16_t cmd;
    uint16_t value;
};

// The device lives in the test's thread, so the test keeps the line moving whenever it spins
// its event loop (QTRY_*). Signals of the service are recorded through queued connections into
// the test's thread; the frames it sends are recorded in its own thread under a lock.
class ServiceRig
{
public:
    explicit ServiceRig(int profile = 2, bool connectDevice = true)
    {
        registerQueuedMetaTypes();
        GimbalSettings gimbal;
        gimbal.profile = profile;
        gimbal.timeScale = 0.1;
        gimbal.calibrated = true; // clean readings: about 1 g on Z
        LineSettings line;
        line.pace = false;
        device = std::make_unique<GimbalDevice>(gimbal, line);
        service.setRegisterProfile(profile);

        QObject::connect(&service, &StarsService::transmitPacket, &link, &StarsLink::transmit);
        QObject::connect(&service, &StarsService::transmitPacket, &service,
                         [this](uint8_t slave, uint16_t cmd, uint16_t value) {
                             QMutexLocker lock(&sentMutex);
                             sentFrames.append({slave, cmd, value});
                         },
                         Qt::DirectConnection);
        QObject::connect(&link, &StarsLink::recvFrame, &service, &StarsService::onRecvFrame);
        if (connectDevice) {
            QObject::connect(&link, &StarsLink::streamOut, device.get(), &GimbalDevice::receiveBytes);
            QObject::connect(device.get(), &GimbalDevice::sendBytes, &link, &StarsLink::parser);
        }
        QObject::connect(device.get(), &GimbalDevice::traceLine, &context, [this](const QString &line) { trace.append(line); });
        QObject::connect(&service, &StarsService::connected, &context, [this](bool value) { connectedEvents.append(value); });
        QObject::connect(&service, &StarsService::saveFinshed, &context, [this](bool value) { saveEvents.append(value); });
        QObject::connect(&service, &StarsService::disableFinshed, &context, [this](bool value) { disableEvents.append(value); });
    }

    ~ServiceRig()
    {
        service.stop();
        service.wait();
    }

    QList<SentFrame> sent() const
    {
        QMutexLocker lock(&sentMutex);
        return sentFrames;
    }
    qsizetype sentCount() const
    {
        QMutexLocker lock(&sentMutex);
        return sentFrames.size();
    }
    bool sentCommand(uint16_t cmd) const
    {
        for (const SentFrame &frame : sent()) {
            if (frame.cmd == cmd)
                return true;
        }
        return false;
    }

    StarsLink link;
    StarsService service;
    std::unique_ptr<GimbalDevice> device;
    QObject context;
    QList<bool> connectedEvents;
    QList<bool> saveEvents;
    QList<bool> disableEvents;
    QStringList trace;

private:
    mutable QMutex sentMutex;
    QList<SentFrame> sentFrames;
};
