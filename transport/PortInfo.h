// One serial port as listed by a port enumerator, and the filter that picks the gimbal's adapters.
#pragma once

#include <QMetaType>
#include <QString>

struct PortInfo
{
    // The name shown to the user and accepted by SerialPort::setPortName.
    QString portName;
    quint16 vendorId = 0;
    quint16 productId = 0;
    // What the adapter calls itself and its serial number, as the system reports them; empty
    // for a virtual port. They tell two adapters of one kind apart.
    QString description = QString();
    QString serialNumber = QString();

    bool operator==(const PortInfo &other) const
    {
        return portName == other.portName && vendorId == other.vendorId
               && productId == other.productId && description == other.description
               && serialNumber == other.serialNumber;
    }
    bool operator!=(const PortInfo &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(PortInfo)

// USB ids of the adapter the gimbal is reached through.
constexpr quint16 GimbalAdapterVendorId = 0x10C4;
constexpr quint16 GimbalAdapterProductId = 0xEA60;

// Whether a port is offered to the user: a named port on the gimbal's USB adapter.
bool isGimbalAdapter(const PortInfo &info);
