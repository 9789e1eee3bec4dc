// Runtime link wiring, in the order the data flows.
#include "RuntimeSession.h"

#include "MetaTypes.h"
#include "PortListener.h"
#include "ProductTable.h"
#include "SerialPort.h"
#include "StarsLink.h"
#include "StarsService.h"

RuntimeSession::RuntimeSession(int productRow, QObject *parent)
    : QObject(parent)
    , port(new SerialPort)
    , portListener(new PortListener(port))
    , starsLink(new StarsLink)
    , starsService(new StarsService)
{
    registerQueuedMetaTypes();
    connect(starsService, &StarsService::connected, this, &RuntimeSession::linkChanged);
    // As in the window: encoding runs in the service's loop and parsing in the port worker,
    // so a frame crosses two threads instead of four.
    connect(starsLink, &StarsLink::recvFrame, starsService, &StarsService::onRecvFrame, Qt::DirectConnection);
    connect(starsService, &StarsService::transmitPacket, starsLink, &StarsLink::transmit, Qt::DirectConnection);
    connect(portListener, &PortListener::readBytes, starsLink, &StarsLink::parser, Qt::DirectConnection);
    connect(starsLink, &StarsLink::streamOut, portListener, &PortListener::writeBytes);
    connect(starsLink, &StarsLink::rxFlush, portListener, &PortListener::flush);
    connect(port, &SerialPort::closedUnexpectedly, this,
            [this](const QString &reason, quint64) { emit portLost(reason); });

    // Frames read before an open must not count.
    starsService->setPortOpen(false);
    starsService->start(QThread::InheritPriority);
    starsService->onCancel();
    starsService->setRegisterProfile(ProductTable::row(productRow).registerProfile);
}

RuntimeSession::~RuntimeSession()
{
    stopService();
    delete starsService;
    // The port is closed first so that its device is released from its own thread.
    port->close();
    delete portListener;
    delete starsLink;
    delete port;
}

bool RuntimeSession::open(const QString &portName)
{
    port->setPortName(portName);
    if (!port->open())
        return false;
    starsService->setPortOpen(true);
    return true;
}

void RuntimeSession::stopService()
{
    if (serviceStopped)
        return;
    serviceStopped = true;
    starsService->stop();
    starsService->wait();
}
