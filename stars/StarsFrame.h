// The 7-byte runtime frame: address, command and value (most significant byte first), CRC-16.
#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

namespace StarsFrame {

constexpr int Size = 7;

// The frame for (addr, cmd, value), check included.
QByteArray encode(uint8_t addr, uint16_t cmd, uint16_t value);

// Field readers; `frame` must hold at least Size bytes.
uint8_t address(const QByteArray &frame);
uint16_t command(const QByteArray &frame);
uint16_t value(const QByteArray &frame);

// Whether the first Size bytes at `window` carry a matching check.
bool checkMatches(const char *window);

} // namespace StarsFrame

// Cuts a byte stream into frames whose check matches. After noise or a lost byte it
// slides one byte at a time until seven consecutive bytes carry a matching check.
class StarsFrameParser
{
public:
    // Appends `bytes` and returns every complete frame found, in stream order.
    QList<QByteArray> feed(const QByteArray &bytes);

    // Bytes kept for the next call (at most Size - 1 after a call).
    qsizetype buffered() const { return rxBuffer.size(); }

private:
    QByteArray rxBuffer;
};
