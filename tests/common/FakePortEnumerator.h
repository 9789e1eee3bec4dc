// A port enumerator for tests: the listing is set by the test, hot-plug notices are sent on demand.
#pragma once

#include "PortEnumerator.h"

// Header-only and without its own meta-object: it only emits the signals of PortEnumerator.
class FakePortEnumerator : public PortEnumerator
{
public:
    using PortEnumerator::PortEnumerator;

    QList<PortInfo> availablePorts() const override { return ports; }

    // Replaces the listing and says that it changed.
    void setPorts(const QList<PortInfo> &listing)
    {
        ports = listing;
        emit portsChanged();
    }

    // Adds the port to the listing and announces it, as a plugged-in adapter would: the
    // listing changes first, the notice follows.
    void plugIn(const PortInfo &info)
    {
        ports.append(info);
        emit portsChanged();
        emit deviceDiscovered(info);
    }

    // Removes the port from the listing and announces it, as a pulled adapter would.
    void unplug(const PortInfo &info)
    {
        ports.removeAll(info);
        emit portsChanged();
        emit deviceRemoved(info);
    }

    // Adapter on the gimbal's USB ids, for brevity in tests.
    static PortInfo adapter(const QString &name, const QString &serialNumber = QString())
    {
        return PortInfo{name, GimbalAdapterVendorId, GimbalAdapterProductId, QString(), serialNumber};
    }

private:
    QList<PortInfo> ports;
};
