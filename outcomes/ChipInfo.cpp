// One chip as its bootloader reports it.
#include "ChipInfo.h"

namespace {

uint16_t readU16(const QByteArray &bytes, int at)
{
    return uint16_t(uint8_t(bytes.at(at)) | (uint8_t(bytes.at(at + 1)) << 8));
}

uint32_t readU32(const QByteArray &bytes, int at)
{
    return uint32_t(readU16(bytes, at)) | (uint32_t(readU16(bytes, at + 2)) << 16);
}

} // namespace

bool chipInfo::fromReply(const QByteArray &reply, int32_t address, chipInfo *chip)
{
    if (reply.size() != ReplySize)
        return false;
    chip->address = address;
    chip->cpuid = readU32(reply, 2);
    chip->pageSize = readU16(reply, 6);
    chip->pageCount = readU16(reply, 8);
    chip->boot = readU16(reply, 10);
    chip->arch = readU16(reply, 12);
    chip->hardware = readU16(reply, 14);
    chip->firmware = readU16(reply, 16);
    chip->serial = readU32(reply, 18);
    chip->flashSize = uint32_t(chip->pageSize) * chip->pageCount;
    return true;
}

QByteArray chipInfo::cpuidBytes() const
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((cpuid >> (8 * i)) & 0xFF);
    return bytes;
}
