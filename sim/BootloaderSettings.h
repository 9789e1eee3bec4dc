// The simulated bootloader's chips and addressing mode, with the defaults the demo package matches.
#pragma once

#include "SimChip.h"

#include <QList>

struct BootloaderSettings
{
    // Two chips of the demo package's structure, unless told otherwise.
    QList<SimChipInfo> chips = defaultChips(2);
    bool multiChip = false; // false: single-address mode, one chip at a time behind NEXT
    int pageWriteMs = 0;    // how long writing one page keeps a chip busy
    int replyDelayMs = 0;   // how long after a request its reply starts (requests may overlap)
    int handoverMs = 5;     // after NEXT, how long the chain answers nothing while it hands over

    // Faults of a misbehaving chain, starting once a listing has ended (the second RESTART).
    enum class NextFault { None, Skip, Stuck, Wrap };
    // Skip: NEXT passes over one chip; Stuck: NEXT moves nothing; Wrap (single address, from the
    // first listing on): NEXT at the last chip leads back to the first, so the chain never ends.
    NextFault nextFault = NextFault::None;
    bool reorderAfterListing = false;      // the chips change places (rotate by one)

    // Chip `index` (from 0) of the default gimbal: cpuid "K5A1", "K5B2", ... as text in reply
    // order, hardware 0x0101 + index, structure 0x4B35, 64 pages of 1024 bytes.
    static SimChipInfo defaultChip(int index)
    {
        static const char digits[] = "123456789ABCDEF";
        SimChipInfo chip;
        const uint8_t id[4] = {'K', '5', uint8_t('A' + index % 26), uint8_t(digits[index % 15])};
        chip.cpuid = uint32_t(id[0]) | uint32_t(id[1]) << 8 | uint32_t(id[2]) << 16 | uint32_t(id[3]) << 24;
        chip.hardware = uint16_t(0x0101 + index);
        chip.serial = 0x20260001u + uint32_t(index);
        return chip;
    }

    static QList<SimChipInfo> defaultChips(int count)
    {
        QList<SimChipInfo> list;
        for (int i = 0; i < count; ++i)
            list.append(defaultChip(i));
        return list;
    }
};
