// The port worker: the only reader and writer of the open serial port, polled every millisecond.
#pragma once

#include "ExecutableObject.h"

#include <QByteArray>
#include <QTimer>

class SerialPort;

// Lives in its own thread together with the port. Each tick writes everything queued by
// writeBytes in one call, then reads everything available and hands it on as one chunk.
// It knows nothing of frames; the attached link does the framing.
class PortListener : public ExecutableObject
{
    Q_OBJECT

public:
    // Moves `port` into the worker's thread. The port is not owned and must outlive the
    // worker; when the worker is destroyed the port is handed to the destroying thread.
    explicit PortListener(SerialPort *port);
    ~PortListener() override;

signals:
    // One chunk of received bytes, never empty; its boundaries carry no meaning.
    void readBytes(QByteArray bytes);

public slots:
    void flush();
    void writeBytes(QByteArray bytes);
    void doWork();

private:
    // Ticks in the worker's thread, so a busy GUI thread cannot hold up the line.
    QTimer timer;
    SerialPort *port;
    QByteArray pendingWrite;
};
