#include "ReconnectPolicy.h"

void ReconnectPolicy::opened(const PortInfo &port)
{
    lastOpened = port;
    waitingForReturn = false;
}

void ReconnectPolicy::closedByUser()
{
    waitingForReturn = false;
}

void ReconnectPolicy::lost()
{
    waitingForReturn = !lastOpened.portName.isEmpty();
}

const PortInfo *ReconnectPolicy::reopenOn(const PortInfo &appeared) const
{
    if (!waitingForReturn || !isGimbalAdapter(appeared) || !sameAdapter(lastOpened, appeared))
        return nullptr;
    return &appeared;
}

bool ReconnectPolicy::sameAdapter(const PortInfo &a, const PortInfo &b)
{
    // A USB adapter may come back under another name (ttyUSB0 -> ttyUSB1); its serial number
    // stays. Without one, only the name can tell, as for a virtual port's path.
    if (!a.serialNumber.isEmpty() || !b.serialNumber.isEmpty())
        return a.serialNumber == b.serialNumber && a.vendorId == b.vendorId && a.productId == b.productId;
    return a.portName == b.portName;
}
