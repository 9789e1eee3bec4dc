// The logging category of the serial transport.
#include "TransportLog.h"

Q_LOGGING_CATEGORY(lcTransport, "velmora.transport")
