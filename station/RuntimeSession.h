// The runtime link to one gimbal, wired as the window wires it: port, port worker, link, service.
#pragma once

#include "SerialPort.h"

#include <QObject>
#include <QString>

class PortListener;
class StarsLink;
class StarsService;

class RuntimeSession : public QObject
{
    Q_OBJECT

public:
    // Selects the register profile of product `productRow` and starts the request service.
    explicit RuntimeSession(int productRow, QObject *parent = nullptr);
    // Stops the service, closes the port and ends the worker threads.
    ~RuntimeSession() override;

    // Opens the port; false (after a warning) when it cannot be opened.
    bool open(const QString &portName);
    // Why the last open failed.
    SerialPort::OpenError openError() const { return port->openError(); }
    // Ends the request service at once: nothing more is sent to the gimbal.
    void stopService();

    StarsService *service() const { return starsService; }

signals:
    // The gimbal started (true) or stopped (false) answering.
    void linkChanged(bool up);
    // The device went away under the open port.
    void portLost(const QString &reason);

private:
    SerialPort *port;
    PortListener *portListener;
    StarsLink *starsLink;
    StarsService *starsService;
    bool serviceStopped = false;
};
