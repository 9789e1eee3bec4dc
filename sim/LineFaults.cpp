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
