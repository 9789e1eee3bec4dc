// Table-driven CRC-16/XMODEM; bit-identical to the augmented shift-register form.
#include "crc16.h"

#include <array>

namespace {

constexpr uint16_t kPolynomial = 0x1021;

// Table of the direct (non-augmented) form, one entry per value of the high byte.
constexpr std::array<uint16_t, 256> makeTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = uint16_t(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ kPolynomial) : uint16_t(crc << 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = makeTable();

} // namespace

uint16_t crc16Update(uint16_t crc, uint8_t byte)
{
    for (int bit = 7; bit >= 0; --bit) {
        const bool top = crc & 0x8000;
        crc = uint16_t((crc << 1) | ((byte >> bit) & 1));
        if (top)
            crc ^= kPolynomial;
    }
    return crc;
}

uint16_t crc16(const uint8_t *data, uint32_t length)
{
    uint16_t crc = 0;
    for (uint32_t i = 0; i < length; ++i)
        crc = uint16_t((crc << 8) ^ kTable[uint8_t((crc >> 8) ^ data[i])]);
    return crc;
}
