// Framing layer of the runtime protocol: encodes requests and cuts received bytes into frames.
#pragma once

#include "ExecutableObject.h"
#include "StarsFrame.h"

#include <QByteArray>
#include <cstdint>

// Lives in a thread of its own. Knows nothing of requests or time-outs: every frame whose
// check matches is delivered, whatever its address or command.
class StarsLink : public ExecutableObject
{
    Q_OBJECT

public:
    explicit StarsLink(QObject *parent = nullptr);
    ~StarsLink() override;

signals:
    // Emitted right before every streamOut: the port worker pushes out whatever output is still
    // pending before the new frame is queued. Received input is not touched.
    void rxFlush();
    void streamOut(QByteArray bytes);
    // One 7-byte frame whose check matched, check included.
    void recvFrame(QByteArray bytes);

public slots:
    void parser(QByteArray bytes);
    void transmit(uint8_t addr, uint16_t cmd, uint16_t value);

private:
    StarsFrameParser frameParser;
};
