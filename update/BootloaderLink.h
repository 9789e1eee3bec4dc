// Framing layer of the bootloader protocol: frames outgoing payloads and unwraps received frames.
#pragma once

#include "BootloaderFrame.h"
#include "ExecutableObject.h"

#include <QByteArray>

// Lives in a thread of its own. Treats payloads as opaque bytes: every frame from the
// bootloader whose check matches is delivered as its payload.
class BootloaderLink : public ExecutableObject
{
    Q_OBJECT

public:
    explicit BootloaderLink(QObject *parent = nullptr);
    ~BootloaderLink() override;

signals:
    // Emitted right before every streamOut, so the port worker discards stale input first.
    void rxFlush();
    void streamOut(QByteArray bytes);
    // The payload of one received frame whose check matched.
    void recvFrame(QByteArray bytes);

public slots:
    void parser(QByteArray bytes);
    void transmitBytes(QByteArray bytes);

private:
    BootloaderFrameParser frameParser{BootloaderFrame::ToHost};
};
