// The bootloader frame: '$', direction, 16-bit length, payload, CRC-16 of the payload (all LE).
#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

namespace BootloaderFrame {

constexpr uint8_t StartByte = 0x24; // '$'
constexpr uint8_t ToDevice = 0x3C;  // '<' host to bootloader
constexpr uint8_t ToHost = 0x3E;    // '>' bootloader to host
constexpr int HeaderSize = 4;       // start, direction, length (2)
constexpr int CheckSize = 2;
constexpr int MaxPayload = 0xFFFF;

// The frame around `payload`, check included. The caller makes sure the payload holds at
// most MaxPayload bytes; a longer one gives an empty array rather than a truncated length.
QByteArray encode(const QByteArray &payload, uint8_t direction = ToDevice);

} // namespace BootloaderFrame

// The seven-state frame parser, usable without a thread or a QObject (the link, the simulator
// and the fuzz targets share it). Accepts only frames carrying `direction`. A partly received
// frame is kept from one call to the next, so a frame may arrive in any number of pieces.
class BootloaderFrameParser
{
public:
    explicit BootloaderFrameParser(uint8_t direction = BootloaderFrame::ToHost);

    // Consumes every byte; returns the payloads of completed frames whose check matched, in
    // order; adds to *crcErrors (if given) the number of frames dropped for a bad check.
    QList<QByteArray> feed(const QByteArray &bytes, int *crcErrors = nullptr);

    // Forgets any partly received frame.
    void reset();

    // A frame has begun (its start and direction bytes came) and is not complete yet.
    bool inFrame() const { return parseState >= LengthLow; }

private:
    enum State : uint8_t { Start, Direction, LengthLow, LengthHigh, Payload, CheckLow, CheckHigh };

    // Ends the frame in progress: delivers it when its check matches.
    void finishFrame(QList<QByteArray> &frames, int *crcErrors);

    uint8_t direction;
    State parseState = Start;
    uint16_t expectedLength = 0;
    uint16_t receivedCrc = 0;
    QByteArray payload;
};
