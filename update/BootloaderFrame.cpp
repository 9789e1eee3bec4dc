// The bootloader frame: encoding and the seven-state parser.
#include "BootloaderFrame.h"

#include "crc16.h"

namespace BootloaderFrame {

QByteArray encode(const QByteArray &payload, uint8_t direction)
{
    if (payload.size() > MaxPayload)
        return QByteArray();
    const auto length = uint16_t(payload.size());
    const uint16_t check = crc16(reinterpret_cast<const uint8_t *>(payload.constData()), length);
    QByteArray frame;
    frame.reserve(HeaderSize + length + CheckSize);
    frame.append(char(StartByte));
    frame.append(char(direction));
    frame.append(char(length & 0xFF));
    frame.append(char(length >> 8));
    frame.append(payload);
    frame.append(char(check & 0xFF));
    frame.append(char(check >> 8));
    return frame;
}

} // namespace BootloaderFrame

BootloaderFrameParser::BootloaderFrameParser(uint8_t direction)
    : direction(direction)
{
}

void BootloaderFrameParser::reset()
{
    parseState = Start;
    expectedLength = 0;
    receivedCrc = 0;
    payload.clear();
}

void BootloaderFrameParser::finishFrame(QList<QByteArray> &frames, int *crcErrors)
{
    const uint16_t check =
        crc16(reinterpret_cast<const uint8_t *>(payload.constData()), uint32_t(payload.size()));
    if (check == receivedCrc)
        frames.append(payload);
    else if (crcErrors)
        ++*crcErrors;
    payload.clear();
}

QList<QByteArray> BootloaderFrameParser::feed(const QByteArray &bytes, int *crcErrors)
{
    QList<QByteArray> frames;
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const uint8_t byte = data[i];
        switch (parseState) {
        case Start:
            if (byte == BootloaderFrame::StartByte)
                parseState = Direction;
            break;
        case Direction:
            // A second start byte does not restart the frame: the sequence is looked for anew.
            parseState = byte == direction ? LengthLow : Start;
            break;
        case LengthLow:
            expectedLength = byte;
            parseState = LengthHigh;
            break;
        case LengthHigh:
            expectedLength = uint16_t(expectedLength | (byte << 8));
            payload.clear();
            // A zero-length frame has no payload byte: its check follows at once.
            parseState = expectedLength == 0 ? CheckLow : Payload;
            break;
        case Payload: {
            // Take as much of the payload as this chunk holds in one copy.
            const qsizetype wanted = expectedLength - payload.size();
            const qsizetype take = qMin(wanted, size - i);
            payload.append(bytes.constData() + i, take);
            i += take;
            if (payload.size() >= expectedLength)
                parseState = CheckLow;
            continue;
        }
        case CheckLow:
            receivedCrc = byte;
            parseState = CheckHigh;
            break;
        case CheckHigh:
            receivedCrc = uint16_t(receivedCrc | (byte << 8));
            finishFrame(frames, crcErrors);
            parseState = Start;
            break;
        }
        ++i;
    }
    return frames;
}
