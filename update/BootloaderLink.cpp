// Framing layer of the bootloader protocol.
#include "BootloaderLink.h"

#include "UpdateLog.h"

BootloaderLink::BootloaderLink(QObject *parent)
    : ExecutableObject(parent)
{
}

BootloaderLink::~BootloaderLink()
{
    // No slot may run on a half-destroyed object.
    stopThread();
}

void BootloaderLink::parser(QByteArray bytes)
{
    if (restartParse.exchange(false))
        frameParser.reset();
    const bool wasInFrame = frameParser.inFrame();
    int crcErrors = 0;
    const QList<QByteArray> frames = frameParser.feed(bytes, &crcErrors);
    for (int i = 0; i < crcErrors; ++i)
        qCDebug(lcUpdate, "> crc error!");
    // Noise on an idle line is silence; only a frame that began and broke is a damaged reply.
    if (wasInFrame || crcErrors > 0 || !frames.isEmpty() || frameParser.inFrame())
        emit frameBytesArrived();
    for (const QByteArray &payload : frames)
        emit recvFrame(payload);
}

void BootloaderLink::transmitBytes(QByteArray bytes)
{
    // The length field has 16 bits; a truncated length would send a frame the bootloader
    // misreads, so an oversized payload is not sent at all (its command then times out).
    if (bytes.size() > BootloaderFrame::MaxPayload) {
        qCDebug(lcUpdate, "> payload too long: %lld bytes", qlonglong(bytes.size()));
        return;
    }
    const QByteArray frame = BootloaderFrame::encode(bytes, BootloaderFrame::ToDevice);
    restartParse.store(true);
    emit rxFlush();
    emit streamOut(frame);
}
