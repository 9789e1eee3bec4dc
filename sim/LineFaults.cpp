// Faults of the simulated line.
#include "LineFaults.h"

QByteArray LineFaults::apply(const QByteArray &bytes)
{
    if (dropRate <= 0 && corruptRate <= 0)
        return bytes;
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::uniform_int_distribution<int> flip(1, 255);
    QByteArray out;
    out.reserve(bytes.size());
    for (char byte : bytes) {
        if (chance(random) < dropRate)
            continue;
        if (chance(random) < corruptRate)
            byte = char(uint8_t(byte) ^ uint8_t(flip(random)));
        out.append(byte);
    }
    return out;
}

QByteArray LineFaults::strayBytes()
{
    std::uniform_int_distribution<int> count(1, 4);
    std::uniform_int_distribution<int> value(0, 254);
    QByteArray out;
    for (int n = count(random); n > 0; --n) {
        const int byte = value(random);
        // 255 values drawn, the start byte mapped to the one left out of the range.
        out.append(char(byte == '$' ? 255 : byte));
    }
    return out;
}
