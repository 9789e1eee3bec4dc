// The update service's lower layer: bootloader requests and replies, probe, listing, writing a chip.
#include "UpdateService.h"

#include "BootloaderFrame.h"
#include "BootloaderReplies.h"
#include "PtzFile.h"
#include "UpdateLog.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <algorithm>

using namespace BootloaderCommand;

namespace {

constexpr uint64_t ProbeReplyMs = 200;
// GET_INFO is asked up to this many times while its replies come damaged.
constexpr int GetInfoAttempts = 3;
// Multi-chip addresses run from 1 to 15; a single-address chain is no longer.
constexpr qsizetype MaxChainLength = 15;
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
    {
        // A reply answers only the request it follows: what came before is dropped now.
        QMutexLocker lock(&eventLock);
        inbox.clear();
        frameBytes = false;
        events &= ~EV_FRAME;
    }
    emit transmitBytes(payload);
}

UpdateService::Exchange UpdateService::waitReply(uint8_t code, uint64_t timeoutMs, QByteArray *reply)
{
    const QDeadlineTimer deadline(qint64(qMin<uint64_t>(timeoutMs, uint64_t(INT64_MAX))));
    QMutexLocker lock(&eventLock);
    for (;;) {
        // A cancel, a connect request or stop() ends the wait at once.
        if (quitRequested.load() || (events & EV_CONNECT)) {
            events &= ~(EV_FRAME | EV_CONNECT);
            cancelSeen = true;
            return Exchange::Cancelled;
        }
        while (!inbox.isEmpty()) {
            const QByteArray frame = inbox.takeFirst();
            // A frame for another command (a late answer to an earlier request) is passed over.
            if (!frame.isEmpty() && uint8_t(frame.at(0)) == code) {
                if (inbox.isEmpty())
                    events &= ~EV_FRAME;
                *reply = frame;
                return Exchange::Reply;
            }
        }
        events &= ~EV_FRAME;
        if (deadline.hasExpired())
            return frameBytes ? Exchange::Damaged : Exchange::Silence;
        eventChanged.wait(&eventLock, deadline);
    }
}

UpdateService::Exchange UpdateService::getInfo(int address, chipInfo *chip)
{
    const uint8_t code = commandCode(GET_INFO, address);
    Exchange result = Exchange::Damaged;
    for (int attempt = 0; attempt < GetInfoAttempts && result == Exchange::Damaged; ++attempt) {
        if (attempt > 0)
            qCDebug(lcUpdate, "> damaged reply, GET_INFO %02X again", code);
        sendCommand(code);
        QByteArray reply;
        result = waitReply(code, GetInfoTimeoutMs, &reply);
        if (result != Exchange::Reply)
            continue;
        if (chipInfo::fromReply(reply, address, chip))
            return Exchange::Reply;
        // [code, status] with a non-zero status is a clear "no chip here"; any other length
        // is a reply that was damaged on its way.
        result = reply.size() == 2 && reply.at(1) != 0 ? Exchange::Silence : Exchange::Damaged;
    }
    return result;
}

bool UpdateService::readCrc(int address, uint32_t length, uint16_t *crc)
{
    const uint8_t code = commandCode(READ_CRC, address);
    QByteArray data;
    appendU16(data, uint16_t(length & 0xFFFF));
    appendU16(data, uint16_t(length >> 16));
    sendCommand(code, data);
    QByteArray reply;
    return waitReply(code, ReadCrcTimeoutMs, &reply) == Exchange::Reply && BootloaderReplies::readCrc(reply, crc);
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
    if (waitReply(code, WritePageTimeoutMs, &reply) != Exchange::Reply || !BootloaderReplies::writePage(reply, index)) {
        qCDebug(lcUpdate) << ">> comm:" << "ack timeout";
        return false;
    }
    return true;
}

UpdateService::Exchange UpdateService::next(int address, bool *accepted)
{
    const uint8_t code = commandCode(NEXT, address);
    sendCommand(code);
    QByteArray reply;
    const Exchange result = waitReply(code, NextTimeoutMs, &reply);
    *accepted = result == Exchange::Reply && BootloaderReplies::next(reply);
    if (*accepted)
        pause(NextPauseMs); // gives the chain time to hand over to the next chip
    return result;
}

void UpdateService::sendWithoutReply(Number command)
{
    sendCommand(commandCode(command, 1));
    pause(RunRestartPauseMs);
}

void UpdateService::endUpdate(Number command, const QString &message, int type, const UpdateOutcome &outcome)
{
    sendCommand(commandCode(command, 1));
    emit updateReport(type, message);
    emit updateOutcome(outcome);
    pause(RunRestartPauseMs);
}

bool UpdateService::probe(int address, int totalMs)
{
    QElapsedTimer clock;
    clock.start();
    const uint8_t code = commandCode(GET_INFO, address);
    QElapsedTimer sinceSend;
    int sent = 0;
    for (;;) {
        sendCommand(code);
        sinceSend.start();
        ++sent;
        QByteArray reply;
        const Exchange result = waitReply(code, ProbeReplyMs, &reply);
        if (result == Exchange::Cancelled)
            return false;
        if (result == Exchange::Reply) {
            // A slow bootloader still owes answers to the earlier probes; they must not be
            // taken for answers to what comes next, so their time runs out before going on.
            if (sent > 1)
                pause((unsigned long)qMax<qint64>(0, qint64(GetInfoTimeoutMs) - sinceSend.elapsed()));
            return true; // any length: the bootloader is there, its record is read later
        }
        const qint64 elapsed = clock.elapsed();
        emit connectTimeout(int(totalMs - elapsed));
        if (elapsed >= totalMs)
            return false;
    }
}

UpdateService::Exchange UpdateService::listChips(QList<chipInfo> *chips)
{
    chips->clear();
    sendWithoutReply(RESTART);
    Exchange end = Exchange::Silence;
    if (multiChipMode.load()) {
        chipInfo first;
        end = getInfo(1, &first);
        if (end != Exchange::Reply)
            return end == Exchange::Silence ? Exchange::Silence : end;
        chips->append(first);
        bool accepted = false;
        next(1, &accepted);
        end = Exchange::Silence;
        for (int address = 2; address <= 15; ++address) {
            chipInfo chip;
            end = getInfo(address, &chip);
            if (end != Exchange::Reply)
                break;
            chips->append(chip);
        }
    } else {
        for (;;) {
            chipInfo chip;
            end = getInfo(0, &chip);
            if (end != Exchange::Reply)
                break;
            // The same cpuid again means the chain did not move on: that was the last chip.
            if (!chips->isEmpty() && chip.cpuid == chips->last().cpuid) {
                end = Exchange::Silence;
                break;
            }
            // A chain that comes round to a chip listed before, or runs longer than any chain
            // can be addressed, would be listed for ever: it cannot be trusted.
            const bool listedBefore = std::any_of(chips->cbegin(), chips->cend(),
                                                  [&chip](const chipInfo &c) { return c.cpuid == chip.cpuid; });
            if (listedBefore || chips->size() >= MaxChainLength) {
                qCDebug(lcUpdate, "> chain comes round or runs on: %08X after %d chips", chip.cpuid, int(chips->size()));
                end = Exchange::Damaged;
                break;
            }
            chips->append(chip);
            bool accepted = false;
            end = next(0, &accepted);
            if (!accepted) {
                // A refused NEXT is the end of the chain; a damaged answer leaves it unknown
                // whether the chain moved, so the listing cannot be trusted.
                if (end == Exchange::Reply)
                    end = Exchange::Silence;
                break;
            }
        }
    }
    sendWithoutReply(RESTART);
    // Only silence (or a refusal) ends the chain; a bad reply or a cancel cuts it short.
    if (end == Exchange::Damaged || end == Exchange::Cancelled) {
        qCDebug(lcUpdate) << "> listing cut short after" << chips->size() << "chips";
        return end;
    }
    return chips->isEmpty() ? Exchange::Silence : Exchange::Reply;
}

bool UpdateService::nextChip()
{
    chipInfo before;
    chipInfo after;
    bool accepted = false;
    return getInfo(0, &before) == Exchange::Reply && next(0, &accepted) == Exchange::Reply && accepted
        && getInfo(0, &after) == Exchange::Reply && before.cpuid != after.cpuid;
}

bool UpdateService::programChip(const chipInfo &chip, const ptzImage &image, bool *upToDate)
{
    *upToDate = false;
    const auto length = uint32_t(image.data.size());
    uint16_t crc = 0;
    if (!readCrc(chip.address, length, &crc))
        return false;
    if (crc == image.crc) {
        emit progressUpdate(1000);
        qCDebug(lcUpdate) << "program skip";
        *upToDate = true;
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
        ++pagesWritten;
        emit progressUpdate(int(uint64_t(offset) * 1000 / length));
        qCDebug(lcUpdate) << "> page:" << index;
    }
    if (!readCrc(chip.address, length, &crc))
        return false;
    qCDebug(lcUpdate, "crc1: %04X, crc2: %04X", crc, image.crc);
    return crc == image.crc;
}
