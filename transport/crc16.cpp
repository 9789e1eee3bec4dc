// Table-driven CRC-16/XMODEM, eight bytes a step; bit-identical to the augmented
// shift-register form.
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

// kSlices[k][b]: what byte b contributes to the register when k zero bytes follow it. A step of
// eight bytes then costs eight independent look-ups instead of a chain of eight dependent ones,
// which makes a whole package's check several times faster.
using Slices = std::array<std::array<uint16_t, 256>, 8>;
constexpr Slices makeSlices()
{
    Slices slices{};
    slices[0] = kTable;
    for (std::size_t k = 1; k < slices.size(); ++k)
        for (unsigned i = 0; i < 256; ++i) {
            const uint16_t previous = slices[k - 1][i];
            slices[k][i] = uint16_t((previous << 8) ^ kTable[previous >> 8]);
        }
    return slices;
}

constexpr Slices kSlices = makeSlices();

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
    uint32_t i = 0;
    for (; length - i >= 8; i += 8) {
        const uint8_t *d = data + i;
        crc = uint16_t(kSlices[7][uint8_t(d[0] ^ (crc >> 8))] ^ kSlices[6][uint8_t(d[1] ^ crc)] ^ kSlices[5][d[2]] ^ kSlices[4][d[3]]
                       ^ kSlices[3][d[4]] ^ kSlices[2][d[5]] ^ kSlices[1][d[6]] ^ kSlices[0][d[7]]);
    }
    for (; i < length; ++i)
        crc = uint16_t((crc << 8) ^ kTable[uint8_t((crc >> 8) ^ data[i])]);
    return crc;
}
