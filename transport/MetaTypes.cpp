// Registers the type names used by queued signals between threads.
#include "MetaTypes.h"

#include <QByteArray>
#include <QMetaType>
#include <cstdint>

void registerQueuedMetaTypes()
{
    // Name aliases, so that connections spelled with these names resolve at run time.
    qRegisterMetaType<uint8_t>("uint8_t");
    qRegisterMetaType<uint16_t>("uint16_t");
    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<QByteArray>("QByteArray");
}
