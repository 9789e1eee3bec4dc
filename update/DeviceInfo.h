// One chip found by the bootloader, as the four texts the firmware tab shows.
#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

struct chipInfo;

struct deviceInfo
{
    QString device;    // multi-chip: cpuid bytes as ASCII; single-address: "%08X" of cpuid
    QString structure; // "%04X" of arch
    QString hardware;  // "%04X" of hardware
    QString firmware;  // "%0.2f" of firmware / 100

    static deviceInfo fromChip(const chipInfo &chip, bool multiChip);
};

Q_DECLARE_METATYPE(deviceInfo)

// Registers "QList<deviceInfo>" so that chip lists can travel through queued signals.
void registerUpdateMetaTypes();
