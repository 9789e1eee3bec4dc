// Framing layer of the bootloader protocol: frames outgoing payloads and unwraps received frames.
#pragma once

#include "BootloaderFrame.h"
#include "ExecutableObject.h"

#include <QByteArray>
#include <atomic>

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
    // Bytes of a frame arrived (its start and direction came, whether or not it completes or
    // passes its check), before any frame they complete is delivered: lets the service tell a
    // damaged reply from silence. Stray bytes that begin no frame are no reply at all.
    void frameBytesArrived();

public slots:
    void parser(QByteArray bytes);
    void transmitBytes(QByteArray bytes);

private:
    BootloaderFrameParser frameParser{BootloaderFrame::ToHost};
    // Set when a request goes out: the next chunk starts a fresh parse, so a frame cut off
    // before the request cannot swallow the start of its reply.
    std::atomic<bool> restartParse{false};
};
