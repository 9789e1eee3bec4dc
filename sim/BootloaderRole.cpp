// The simulated gimbal in its bootloader role.
#include "BootloaderRole.h"

#include <QDir>

#include <algorithm>

namespace {

void putLe16(QByteArray &out, uint16_t value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void putLe32(QByteArray &out, uint32_t value)
{
    putLe16(out, uint16_t(value & 0xFFFF));
    putLe16(out, uint16_t(value >> 16));
}

uint16_t le16(const QByteArray &bytes, qsizetype at)
{
    return uint16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8);
}

uint32_t le32(const QByteArray &bytes, qsizetype at)
{
    return uint32_t(le16(bytes, at)) | uint32_t(le16(bytes, at + 2)) << 16;
}

QByteArray status(uint8_t code, uint8_t value)
{
    QByteArray reply;
    reply.append(char(code));
    reply.append(char(value));
    return reply;
}

} // namespace

BootloaderRole::BootloaderRole(const BootloaderSettings &settings)
    : settings(settings)
    , multiChip(settings.multiChip)
    , pageWriteMs(settings.pageWriteMs)
{
    for (const SimChipInfo &info : settings.chips) {
        order.push_back(int(chipList.size()));
        chipList.emplace_back(info);
    }
}

void BootloaderRole::startOver()
{
    current = 0;
    open = false;
    handoverUntilNs = -1;
}

QByteArray BootloaderRole::receive(const QByteArray &hostBytes, qint64 nowMs)
{
    QByteArray out;
    for (const BootloaderReply &reply : take(hostBytes, false, nullptr, nowMs * 1000000, 0))
        out += reply.frame;
    return out;
}

QList<BootloaderReply> BootloaderRole::take(const QByteArray &hostBytes, bool stopAfterRun, qsizetype *consumed,
                                            qint64 startNs, qint64 byteNs)
{
    QList<BootloaderReply> replies;
    qsizetype used = 0;
    // One byte at a time (without copying), so that each request knows where in the chunk it
    // ended: its answer may not start before that byte has crossed the line.
    while (used < hostBytes.size()) {
        const QByteArray byte = QByteArray::fromRawData(hostBytes.constData() + used, 1);
        ++used;
        int crcErrors = 0;
        const QList<QByteArray> requests = parser.feed(byte, &crcErrors);
        if (crcErrors > 0)
            trace(QStringLiteral("B BAD FRAME"));
        bool stop = false;
        for (const QByteArray &request : requests) {
            BootloaderReply reply;
            reply.requestEnd = used;
            requestNs = startNs + used * byteNs;
            const QByteArray payload = handle(request, &reply);
            if (!payload.isEmpty())
                reply.frame = BootloaderFrame::encode(payload, BootloaderFrame::ToHost);
            replies.append(reply);
            stop = stop || (reply.run && stopAfterRun);
        }
        if (stop)
            break;
    }
    if (consumed)
        *consumed = used;
    return replies;
}

bool BootloaderRole::decode(uint8_t code, int *chipIndex, int *command) const
{
    if (multiChip) {
        const int address = code >> 4;
        if (address < 1 || address > chipCount())
            return false;
        *chipIndex = order[size_t(address - 1)];
        *command = code & 0x0F;
        return *command == GetInfo || *command == WritePage || *command == ReadCrc || *command == Next
            || *command == Run || *command == Restart;
    }
    *chipIndex = order[size_t(current)];
    switch (code) {
    case 0x01: *command = GetInfo; return true;
    case 0x02: *command = WritePage; return true;
    case 0x03: *command = ReadCrc; return true;
    case 0x20: *command = Next; return true;
    case 0x22: *command = Run; return true;
    case 0x23: *command = Restart; return true;
    default: return false;
    }
}

QByteArray BootloaderRole::handle(const QByteArray &request, BootloaderReply *reply)
{
    int index = 0;
    int command = 0;
    // Every request carries [code, 0x00]; the commands without data carry nothing more.
    const bool wellFormed = request.size() >= 2 && request[1] == 0 && decode(uint8_t(request[0]), &index, &command)
        && chipCount() > 0;
    const qsizetype dataSize = request.size() - 2;
    const bool sizeFits = wellFormed
        && ((command == WritePage && dataSize >= 3) || (command == ReadCrc && dataSize == 4)
            || (command != WritePage && command != ReadCrc && dataSize == 0));
    if (!sizeFits) {
        trace(QStringLiteral("B IGNORED %1").arg(QString::fromLatin1(request.left(8).toHex(' ').toUpper())));
        return {};
    }
    const uint8_t code = uint8_t(request[0]);
    // While the chain hands over after NEXT, and in multi-chip mode before NEXT to address 1
    // has opened it, only RUN and RESTART (and address 1) are heard.
    const bool chainCommand = command != Run && command != Restart;
    if (chainCommand && requestNs < handoverUntilNs) {
        trace(QStringLiteral("B HANDOVER %1").arg(code, 2, 16, QLatin1Char('0')));
        return {};
    }
    if (multiChip && chainCommand && (code >> 4) > 1 && !open) {
        trace(QStringLiteral("B CLOSED %1").arg(code, 2, 16, QLatin1Char('0')));
        return {};
    }
    const bool listingOver = restarts >= 2;
    SimChip &target = chip(index);
    const QString number = QString::number(index + 1);
    switch (command) {
    case GetInfo:
        trace(QStringLiteral("B GET_INFO ") + number);
        return chipRecord(code, target);
    case WritePage: {
        const uint16_t page = le16(request, 2);
        const QByteArray bytes = request.mid(4);
        uint8_t result = StatusOk;
        if (bytes.size() > target.info().pageSize)
            result = StatusPageTooLong;
        else if (qsizetype(page) * target.info().pageSize + bytes.size() > target.flashSize())
            result = StatusOutOfRange;
        else if (!target.writePage(page, bytes))
            result = StatusStorageFailed;
        trace(QStringLiteral("B WRITE_PAGE %1 %2%3").arg(number).arg(page).arg(result ? QStringLiteral(" refused %1").arg(result) : QString()));
        if (result == StatusOk)
            reply->busyMs = pageWriteMs;
        QByteArray out = status(code, result);
        putLe16(out, page);
        return out;
    }
    case ReadCrc: {
        const uint32_t count = le32(request, 2);
        uint16_t crc = 0;
        const uint8_t result = target.crcOf(count, &crc) ? StatusOk : StatusOutOfRange;
        trace(QStringLiteral("B READ_CRC %1 %2%3").arg(number).arg(count).arg(result ? QStringLiteral(" refused %1").arg(result) : QString()));
        QByteArray out = status(code, result);
        putLe16(out, crc);
        return out;
    }
    case Next: {
        uint8_t result = StatusOk;
        const bool wraps = settings.nextFault == BootloaderSettings::NextFault::Wrap;
        const BootloaderSettings::NextFault fault = listingOver || wraps ? settings.nextFault : BootloaderSettings::NextFault::None;
        if (!multiChip) {
            if (current + 1 >= chipCount() && wraps)
                current = 0;
            else if (current + 1 >= chipCount())
                result = StatusNoNextChip;
            else if (fault == BootloaderSettings::NextFault::Skip)
                current = qMin(current + 2, chipCount() - 1);
            else if (fault != BootloaderSettings::NextFault::Stuck)
                ++current;
        } else if (fault != BootloaderSettings::NextFault::Stuck) {
            open = true;
        }
        if (result == StatusOk)
            handoverUntilNs = requestNs + qint64(settings.handoverMs) * 1000000;
        trace(QStringLiteral("B NEXT %1%2").arg(number, result ? QStringLiteral(" refused %1").arg(result) : QString()));
        return status(code, result);
    }
    case Run:
        trace(QStringLiteral("B RUN"));
        startOver();
        restarts = 0;
        reply->run = true;
        return {};
    case Restart:
        trace(QStringLiteral("B RESTART"));
        startOver();
        if (++restarts == 2 && settings.reorderAfterListing && chipCount() > 1) {
            std::rotate(order.begin(), order.begin() + 1, order.end());
            trace(QStringLiteral("B REORDERED"));
        }
        return {};
    }
    return {};
}

QByteArray BootloaderRole::chipRecord(uint8_t code, const SimChip &chip) const
{
    const SimChipInfo &info = chip.info();
    QByteArray out = status(code, StatusOk);
    putLe32(out, info.cpuid);
    putLe16(out, info.pageSize);
    putLe16(out, info.pageCount);
    putLe16(out, info.boot);
    putLe16(out, info.arch);
    putLe16(out, info.hardware);
    putLe16(out, chip.firmware());
    putLe32(out, info.serial);
    return out;
}

bool BootloaderRole::attachFlashDir(const QString &dir, QString *error)
{
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    for (int i = 0; i < chipCount(); ++i) {
        if (!chip(i).attachFile(QDir(dir).filePath(QStringLiteral("chip%1.bin").arg(i + 1)))) {
            *error = chip(i).errorString();
            return false;
        }
    }
    return true;
}

bool BootloaderRole::preload(const QList<QByteArray> &images, QString *error)
{
    if (images.size() > chipCount()) {
        *error = QStringLiteral("the package has %1 images for %2 chips").arg(images.size()).arg(chipCount());
        return false;
    }
    for (int i = 0; i < images.size(); ++i) {
        if (images[i].size() > chip(i).flashSize()) {
            *error = QStringLiteral("image %1 (%2 bytes) does not fit into chip %1 (%3 bytes)")
                         .arg(i + 1).arg(images[i].size()).arg(chip(i).flashSize());
            return false;
        }
        if (!chip(i).preload(images[i])) {
            *error = chip(i).errorString();
            return false;
        }
    }
    return true;
}

void BootloaderRole::restart()
{
    parser.reset();
    startOver();
}
