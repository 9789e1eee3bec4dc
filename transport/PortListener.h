// The port worker: the only reader and writer of the open serial port, driven by the port's events.
#pragma once

#include "ExecutableObject.h"

#include <QByteArray>

class SerialPort;

// Lives in its own thread together with the port. Bytes given to writeBytes go out at once;
// every readyRead of the port is handed on as one chunk of everything available. Nothing runs
// while the line is quiet. It knows nothing of frames; the attached link does the framing.
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
    // Pushes the port's pending output to the device; received input is not touched.
    void flush();
    // Writes at once while the port is open; bytes given while it is closed are dropped, so
    // that an open that follows cannot send them.
    void writeBytes(QByteArray bytes);
    // Reads everything available and emits it as one chunk; runs at every readyRead.
    void doWork();

private:
    SerialPort *port;
};
