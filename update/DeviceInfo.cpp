// One chip found by the bootloader, as display texts.
#include "DeviceInfo.h"

#include "ChipInfo.h"
#include "UpdateOutcome.h"

deviceInfo deviceInfo::fromChip(const chipInfo &chip, bool multiChip)
{
    deviceInfo info;
    if (multiChip) {
        // The chip names itself in its cpuid bytes; the text ends at the first zero byte.
        const QByteArray bytes = chip.cpuidBytes();
        const qsizetype end = bytes.indexOf('\0');
        info.device = QString::fromLatin1(end < 0 ? bytes : bytes.left(end));
    } else {
        info.device = QString::asprintf("%08X", chip.cpuid);
    }
    info.structure = QString::asprintf("%04X", chip.arch);
    info.hardware = QString::asprintf("%04X", chip.hardware);
    info.firmware = QString::asprintf("%0.2f", chip.firmware / 100.0);
    return info;
}

void registerUpdateMetaTypes()
{
    qRegisterMetaType<deviceInfo>("deviceInfo");
    qRegisterMetaType<QList<deviceInfo>>("QList<deviceInfo>");
    qRegisterMetaType<UpdateOutcome>("UpdateOutcome");
    qRegisterMetaType<chipInfo>("chipInfo");
    qRegisterMetaType<QList<chipInfo>>("QList<chipInfo>");
}
