// The operating system's serial ports plus the virtual ports named in VELMORA_VIRTUAL_PORTS.
#pragma once

#include "PortEnumerator.h"

#include <QElapsedTimer>
#include <QTimer>

// Hot-plug notices come from comparing successive listings on a timer, which works the same
// for USB adapters and for virtual ports (pseudo-terminals are never listed by the system).
class SystemPortEnumerator : public PortEnumerator
{
    Q_OBJECT

public:
    static constexpr int DefaultRefreshIntervalMs = 500;

    explicit SystemPortEnumerator(QObject *parent = nullptr);

    QList<PortInfo> availablePorts() const override;

    void setRefreshInterval(int ms);
    int refreshInterval() const { return timer.interval(); }

public slots:
    // Compares the listing with the previous one now and emits the differences.
    void refresh();

private:
    static QList<PortInfo> listPorts();

    QTimer timer;
    QList<PortInfo> lastListing;          // what the last comparison saw
    mutable QList<PortInfo> recentListing; // the newest listing, whoever asked for it
    mutable QElapsedTimer recentListingAge;
};
