// The update service's lower layer: bootloader requests and replies, probe, listing, writing a chip.
#include "UpdateService.h"

#include "BootloaderFrame.h"
#include "BootloaderReplies.h"
#include "PtzFile.h"
#include "UpdateLog.h"

#include <QElapsedTimer>

using namespace BootloaderCommand;

namespace {

constexpr uint64_t ProbeReplyMs = 200;
constexpr unsigned long NextPauseMs = 10;
constexpr unsigned long RunRestartPauseMs = 50;
// Request head in front of a page: code, 0x00, 16-bit page index.
constexpr int PageRequestHead = 4;

void appendU16(QByteArray &out, uint16_t value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

} // namespace

uint8_t UpdateService::commandCode(Number command, int address) const
{
    return code(command, multiChipMode.load(), address);
}

void UpdateService::sendCommand(uint8_t code, const QByteArray &data)
{
    QByteArray payload;
    payload.reserve(2 + data.size());
    payload.append(char(code));
    payload.append('\0');
    payload.append(data);
    emit transmitBytes(payload);
}

bool UpdateService::waitReply(uint8_t code, uint64_t timeoutMs, QByteArray *reply)
{
    uint32_t seen = 0;
    if (!waitEvent(EV_FRAME | EV_CONNECT, ModeAny | ModeConsume, timeoutMs, &seen))
        return false;
    if (seen != EV_FRAME)
        return false; // a cancel, a connect request or stop()
    const QByteArray frame = takeLastFrame();
    // A frame for another command is consumed and fails the wait; it is not skipped.
    if (frame.isEmpty() || uint8_t(frame.at(0)) != code)
        return false;
    *reply = frame;
    return true;
}

bool UpdateService::getInfo(int address, chipInfo *chip)
{
    const uint8_t code = commandCode(GET_INFO, address);
    sendCommand(code);
    QByteArray reply;
    return waitReply(code, GetInfoTimeoutMs, &reply) && chipInfo::fromReply(reply, address, chip);
}

bool UpdateService::readCrc(int address, uint32_t length, uint16_t *crc)
{
    const uint8_t code = commandCode(READ_CRC, address);
    QByteArray data;
    appendU16(data, uint16_t(length & 0xFFFF));
    appendU16(data, uint16_t(length >> 16));
    sendCommand(code, data);
    QByteArray reply;
    return waitReply(code, ReadCrcTimeoutMs, &reply) && BootloaderReplies::readCrc(reply, crc);
}

bool UpdateService::writePage(int address, uint16_t index, const QByteArray &bytes)
{
    const uint8_t code = commandCode(WRITE_PAGE, address);
    QByteArray data;
    data.reserve(2 + bytes.size());
    appendU16(data, index);
    data.append(bytes);
    sendCommand(code, data);
    QByteArray reply;
    if (!waitReply(code, WritePageTimeoutMs, &reply) || !BootloaderReplies::writePage(reply, index)) {
        qCDebug(lcUpdate) << ">> comm:" << "ack timeout";
        return false;
    }
    return true;
}

bool UpdateService::next(int address)
{
    const uint8_t code = commandCode(NEXT, address);
    sendCommand(code);
    QByteArray reply;
    if (!waitReply(code, NextTimeoutMs, &reply) || !BootloaderReplies::next(reply))
        return false;
    pause(NextPauseMs); // gives the chain time to hand over to the next chip
    return true;
}

void UpdateService::sendWithoutReply(Number command)
{
    sendCommand(commandCode(command, 1));
    pause(RunRestartPauseMs);
}

bool UpdateService::probe(int address, int totalMs)
{
    QElapsedTimer clock;
    clock.start();
    const uint8_t code = commandCode(GET_INFO, address);
    for (;;) {
        sendCommand(code);
        uint32_t seen = 0;
        if (waitEvent(EV_FRAME | EV_CONNECT, ModeAny | ModeConsume, ProbeReplyMs, &seen)) {
            if (seen != EV_FRAME)
                return false; // a cancel or stop()
            const QByteArray frame = takeLastFrame();
            if (!frame.isEmpty() && uint8_t(frame.at(0)) == code)
                return true; // any length: the bootloader is there, its record is read later
        }
        const qint64 elapsed = clock.elapsed();
        emit connectTimeout(int(totalMs - elapsed));
        if (elapsed >= totalMs)
            return false;
    }
}

bool UpdateService::listChips(QList<chipInfo> *chips)
{
    chips->clear();
    sendWithoutReply(RESTART);
    if (multiChipMode.load()) {
        chipInfo first;
        if (!getInfo(1, &first))
            return false;
        chips->append(first);
        next(1);
        for (int address = 2; address <= 15; ++address) {
            chipInfo chip;
            if (!getInfo(address, &chip))
                break;
            chips->append(chip);
        }
        sendWithoutReply(RESTART);
        return true;
    }
    for (;;) {
        chipInfo chip;
        if (!getInfo(0, &chip))
            break;
        // The same cpuid again means the chain did not move on: that was the last chip.
        if (!chips->isEmpty() && chip.cpuid == chips->last().cpuid)
            break;
        chips->append(chip);
        if (!next(0))
            break;
    }
    sendWithoutReply(RESTART);
    return !chips->isEmpty();
}

bool UpdateService::nextChip()
{
    chipInfo before;
    chipInfo after;
    return getInfo(0, &before) && next(0) && getInfo(0, &after) && before.cpuid != after.cpuid;
}

bool UpdateService::programChip(const chipInfo &chip, const ptzImage &image)
{
    const auto length = uint32_t(image.data.size());
    uint16_t crc = 0;
    if (!readCrc(chip.address, length, &crc))
        return false;
    if (crc == image.crc) {
        emit progressUpdate(1000);
        qCDebug(lcUpdate) << "program skip";
        return true;
    }
    // A page size of 0 would never advance; one too large for a frame could never be sent.
    if (chip.pageSize == 0 || chip.pageSize > BootloaderFrame::MaxPayload - PageRequestHead) {
        qCDebug(lcUpdate) << "> page size error:" << chip.pageSize;
        return false;
    }
    uint32_t offset = 0;
    uint16_t index = 0;
    while (offset < length) {
        const uint32_t take = qMin<uint32_t>(chip.pageSize, length - offset);
        const QByteArray page = image.data.mid(offset, take);
        offset += take;
        if (!writePage(chip.address, index, page)) {
            qCDebug(lcUpdate) << "> page" << index << "error";
            return false;
        }
        ++index;
        emit progressUpdate(int(uint64_t(offset) * 1000 / length));
        qCDebug(lcUpdate) << "> page:" << index;
    }
    if (!readCrc(chip.address, length, &crc))
        return false;
    qCDebug(lcUpdate, "crc1: %04X, crc2: %04X", crc, image.crc);
    return crc == image.crc;
}
