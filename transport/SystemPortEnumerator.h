// The operating system's serial ports plus the virtual ports named in VELMORA_VIRTUAL_PORTS.
#pragma once

#include "PortEnumerator.h"

#include <QByteArray>
#include <QTimer>

class UdevTtyMonitor;
class VirtualPortWatcher;

// Keeps the listing cached and lists again only when something changed: udev announces serial
// devices, directory change notices announce the virtual ports. Where udev is not running a
// cheap comparison of the kernel's tty list every refresh interval stands in for its events.
// Lives in one thread (the GUI's); availablePorts() is for that thread.
class SystemPortEnumerator : public PortEnumerator
{
    Q_OBJECT

public:
    static constexpr int DefaultRefreshIntervalMs = 500;

    explicit SystemPortEnumerator(QObject *parent = nullptr);
    ~SystemPortEnumerator() override;

    // The listing as of the last change; costs nothing.
    QList<PortInfo> availablePorts() const override;

    // Period of the comparison that runs only while udev events or directory notices are
    // not available.
    void setRefreshInterval(int ms);
    int refreshInterval() const { return timer.interval(); }

    // Whether serial devices are followed through udev's events.
    bool followsUdev() const;

public slots:
    // Lists every port now and emits the differences from the previous listing.
    void refresh();

private:
    void onSystemChanged();
    void onVirtualChanged();
    void onTimer();
    void updateTimer();
    // Makes the listing from the parts and announces the differences.
    void publish();

    static QList<PortInfo> listSystemPorts();

    UdevTtyMonitor *udev;
    VirtualPortWatcher *virtualPorts;
    QTimer timer;
    QByteArray ttySignature;      // the kernel's tty list at the last system listing
    QList<PortInfo> systemPorts;  // cached system listing
    QList<PortInfo> listing;      // systemPorts then the virtual ports: what callers see
};
