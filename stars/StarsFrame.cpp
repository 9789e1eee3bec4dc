#include "StarsFrame.h"

#include "crc16.h"

namespace StarsFrame {

QByteArray encode(uint8_t addr, uint16_t cmd, uint16_t value)
{
    uint8_t bytes[Size] = {addr, uint8_t(cmd >> 8), uint8_t(cmd), uint8_t(value >> 8), uint8_t(value)};
    const uint16_t check = crc16(bytes, 5);
    bytes[5] = uint8_t(check >> 8);
    bytes[6] = uint8_t(check);
    return QByteArray(reinterpret_cast<const char *>(bytes), Size);
}

uint8_t address(const QByteArray &frame)
{
    return uint8_t(frame.at(0));
}

uint16_t command(const QByteArray &frame)
{
    return uint16_t((uint8_t(frame.at(1)) << 8) | uint8_t(frame.at(2)));
}

uint16_t value(const QByteArray &frame)
{
    return uint16_t((uint8_t(frame.at(3)) << 8) | uint8_t(frame.at(4)));
}

bool checkMatches(const char *window)
{
    const auto *bytes = reinterpret_cast<const uint8_t *>(window);
    const uint16_t check = uint16_t((bytes[5] << 8) | bytes[6]);
    return crc16(bytes, 5) == check;
}

} // namespace StarsFrame

QList<QByteArray> StarsFrameParser::feed(const QByteArray &bytes)
{
    rxBuffer.append(bytes);
    QList<QByteArray> frames;
    qsizetype start = 0;
    // Walk an offset instead of removing from the front byte by byte; one removal at the end.
    while (rxBuffer.size() - start >= StarsFrame::Size) {
        if (StarsFrame::checkMatches(rxBuffer.constData() + start)) {
            frames.append(rxBuffer.mid(start, StarsFrame::Size));
            start += StarsFrame::Size;
        } else {
            ++start;
        }
    }
    rxBuffer.remove(0, start);
    return frames;
}
