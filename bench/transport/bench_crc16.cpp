// CRC-16 throughput over 1 MiB: the block function and a loop of the per-byte step.
#include "crc16.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>
#include <vector>

namespace {

constexpr uint32_t BlockSize = 1u << 20;

// Repeats `pass` until at least `minMs` have passed; returns MB/s (1 MB = 10^6 bytes).
template <typename Pass>
double throughput(Pass pass, qint64 minMs, uint16_t &sink)
{
    QElapsedTimer clock;
    clock.start();
    qint64 passes = 0;
    do {
        sink = uint16_t(sink + pass());
        ++passes;
    } while (clock.elapsed() < minMs);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    return double(passes) * BlockSize / seconds / 1e6;
}

} // namespace

int main()
{
    std::vector<uint8_t> block(BlockSize);
    QRandomGenerator rng(1);
    for (uint8_t &b : block)
        b = uint8_t(rng.bounded(256));

    uint16_t sink = 0;
    const double table = throughput([&] { return crc16(block.data(), BlockSize); }, 1000, sink);
    const double perByte = throughput(
        [&] {
            uint16_t reg = 0;
            for (uint8_t b : block)
                reg = crc16Update(reg, b);
            return uint16_t(crc16Update(crc16Update(reg, 0), 0));
        },
        1000, sink);

    std::printf("crc16 over 1 MiB:             %8.1f MB/s\n", table);
    std::printf("crc16Update loop over 1 MiB:  %8.1f MB/s\n", perByte);
    std::printf("(checksum sink %04X)\n", sink);
    return 0;
}
