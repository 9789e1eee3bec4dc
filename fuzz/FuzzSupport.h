// Helpers shared by the fuzz targets: an independent CRC, a hard failure, quiet diagnostics.
#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace FuzzSupport {

// A bitwise CRC-16/XMODEM written apart from the code under test, so that a check is never
// judged by the code that computed it.
inline uint16_t referenceCrc(const char *data, qsizetype length)
{
    uint16_t crc = 0;
    for (qsizetype i = 0; i < length; ++i) {
        crc ^= uint16_t(uint8_t(data[i]) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    return crc;
}

inline uint16_t referenceCrc(const QByteArray &bytes)
{
    return referenceCrc(bytes.constData(), bytes.size());
}

// The parsers' debug lines would cost more than the parsing; the properties are what is checked.
inline void quietDiagnostics()
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
}

// A broken promise: abort so that libFuzzer records the input as a crash.
[[noreturn]] inline void broken(const char *what)
{
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

// A small deterministic generator for chunk sizes, seeded from the input.
class Chunker
{
public:
    explicit Chunker(uint32_t seed, int maxChunk)
        : state(seed * 2654435761u + 0x9E3779B9u), maxChunk(maxChunk > 0 ? maxChunk : 1)
    {
    }
    int next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return 1 + int(state % uint32_t(maxChunk));
    }

private:
    uint32_t state;
    int maxChunk;
};

} // namespace FuzzSupport

#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition))                                                                          \
            FuzzSupport::broken(#condition);                                                       \
    } while (false)
