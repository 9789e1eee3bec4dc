// Framing layer of the runtime protocol.
#include "StarsLink.h"

StarsLink::StarsLink(QObject *parent)
    : ExecutableObject(parent)
{
}

StarsLink::~StarsLink()
{
    // No slot may run on a half-destroyed object.
    stopThread();
}

void StarsLink::parser(QByteArray bytes)
{
    const QList<QByteArray> frames = frameParser.feed(bytes);
    for (const QByteArray &frame : frames)
        emit recvFrame(frame);
}

void StarsLink::transmit(uint8_t addr, uint16_t cmd, uint16_t value)
{
    const QByteArray frame = StarsFrame::encode(addr, cmd, value);
    emit rxFlush();
    emit streamOut(frame);
}
