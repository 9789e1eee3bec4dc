// Checks of the bootloader's reply payloads.
#include "BootloaderReplies.h"

namespace {

uint8_t status(const QByteArray &reply)
{
    return uint8_t(reply.at(1));
}

uint16_t readU16(const QByteArray &bytes, int at)
{
    return uint16_t(uint8_t(bytes.at(at)) | (uint8_t(bytes.at(at + 1)) << 8));
}

} // namespace

namespace BootloaderReplies {

// A reply too short for what a command reads fails rather than be read beyond its end.
bool readCrc(const QByteArray &reply, uint16_t *crc)
{
    if (reply.size() < 4 || status(reply) != 0)
        return false;
    *crc = readU16(reply, 2);
    return true;
}

bool writePage(const QByteArray &reply, uint16_t index)
{
    return reply.size() >= 4 && status(reply) == 0 && readU16(reply, 2) == index;
}

bool next(const QByteArray &reply)
{
    return reply.size() >= 2 && status(reply) == 0;
}

} // namespace BootloaderReplies
