// Decides when a port that went away is opened again by itself: only the same adapter, only
// after a loss, never after the user's own Close.
#pragma once

#include "PortInfo.h"

#include <QList>

class ReconnectPolicy
{
public:
    // The window opened `port`; any earlier loss is forgotten.
    void opened(const PortInfo &port);
    // The user closed the port: nothing is reopened until the user opens one again.
    void closedByUser();
    // The port was closed because its adapter went away (or the line hung up).
    void lost();

    // The adapter to open again after `appeared` came into the listing, or null when there is
    // none: the lost adapter itself (same serial number for a USB adapter with one, else the
    // same name, which is also what identifies a virtual port).
    const PortInfo *reopenOn(const PortInfo &appeared) const;
    bool waiting() const { return waitingForReturn; }

    // The same physical adapter as `a`.
    static bool sameAdapter(const PortInfo &a, const PortInfo &b);

private:
    PortInfo lastOpened;
    bool waitingForReturn = false;
};
