// The source of the port list and of hot-plug notices; abstract so that tests can substitute it.
#pragma once

#include "PortInfo.h"

#include <QList>
#include <QObject>

class PortEnumerator : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Every port, unfiltered, in enumeration order.
    virtual QList<PortInfo> availablePorts() const = 0;

signals:
    // The listing has changed. Emitted first, then one deviceRemoved or deviceDiscovered per
    // port that went or came, as the operating system does: a listing changes before a
    // removal notice arrives.
    void portsChanged();
    void deviceDiscovered(const PortInfo &info);
    void deviceRemoved(const PortInfo &info);
};
