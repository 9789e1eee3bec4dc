// The port filter, kept in one place for the port list and the tests.
#include "PortInfo.h"

bool isGimbalAdapter(const PortInfo &info)
{
    return !info.portName.isEmpty() && info.vendorId == GimbalAdapterVendorId
           && info.productId == GimbalAdapterProductId;
}
