// One chip as its bootloader reports it in the GET_INFO reply.
#pragma once

#include <QByteArray>
#include <QMetaType>
#include <cstdint>

struct chipInfo
{
    int32_t address = 0; // 0 in single-address mode, 1 to 15 in multi-chip mode
    uint32_t cpuid = 0;
    uint16_t pageSize = 0;
    uint16_t pageCount = 0;
    uint16_t boot = 0;
    uint16_t arch = 0;
    uint16_t hardware = 0;
    uint16_t firmware = 0; // version times 100
    uint32_t serial = 0;
    uint32_t flashSize = 0; // pageSize * pageCount

    static constexpr int ReplySize = 22;

    // Fills a record from a GET_INFO reply; false unless the reply is exactly ReplySize bytes.
    // The status byte is not examined.
    static bool fromReply(const QByteArray &reply, int32_t address, chipInfo *chip);

    // The four cpuid bytes in the order the reply carries them.
    QByteArray cpuidBytes() const;
};

Q_DECLARE_METATYPE(chipInfo)
