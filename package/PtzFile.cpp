// The `.ptz` firmware package: checks, parsing and building.
#include "PtzFile.h"

#include "PackageLog.h"
#include "crc16.h"

namespace {

constexpr uint32_t HeaderSize = 16;
constexpr uint32_t CrcSize = 2;
constexpr uint32_t RecordHeadSize = 8; // length, hardware, firmware
constexpr uint32_t RecordOverhead = RecordHeadSize + CrcSize;

// Little-endian readers; callers have checked that the bytes lie inside the input.
uint16_t readU16(const QByteArray &bytes, qsizetype at)
{
    return uint16_t(uint8_t(bytes.at(at)) | (uint8_t(bytes.at(at + 1)) << 8));
}

uint32_t readU32(const QByteArray &bytes, qsizetype at)
{
    return uint32_t(readU16(bytes, at)) | (uint32_t(readU16(bytes, at + 2)) << 16);
}

void appendU16(QByteArray &out, uint16_t value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void appendU32(QByteArray &out, uint32_t value)
{
    appendU16(out, uint16_t(value & 0xFFFF));
    appendU16(out, uint16_t(value >> 16));
}

uint16_t crcOf(const QByteArray &bytes, qsizetype length)
{
    return crc16(reinterpret_cast<const uint8_t *>(bytes.constData()), uint32_t(length));
}

} // namespace

PtzFile::PtzFile(QObject *parent)
    : QObject(parent)
{
}

const ptzHeader &PtzFile::header() const
{
    return head;
}

QString PtzFile::flawName(Flaw flaw)
{
    switch (flaw) {
    case Flaw::None: return QString();
    case Flaw::HeaderFlag: return QStringLiteral("file header flag error");
    case Flaw::Size: return QStringLiteral("file size error");
    case Flaw::Crc: return QStringLiteral("file check crc error");
    }
    return QString();
}

bool PtzFile::refuse(Flaw flaw)
{
    lastFlaw = flaw;
    qCDebug(lcPackage, "> %s!", qPrintable(flawName(flaw)));
    return false;
}

bool PtzFile::unpack(const QByteArray &bytes)
{
    if (!bytes.startsWith(head.flag))
        return refuse(Flaw::HeaderFlag);
    // Anything shorter than header plus CRC cannot even hold the size field safely.
    const auto total = uint64_t(bytes.size());
    if (total < HeaderSize + CrcSize || readU32(bytes, 4) != total)
        return refuse(Flaw::Size);
    const auto end = uint32_t(total - CrcSize); // where the package CRC starts
    const uint16_t crc = readU16(bytes, end);
    if (crc != crcOf(bytes, end))
        return refuse(Flaw::Crc);

    // Walk the records into a new header first, so that a refusal leaves the old state as it was.
    ptzHeader parsed;
    parsed.flag = head.flag;
    parsed.format = uint8_t(bytes.at(3));
    parsed.size = uint32_t(total);
    parsed.count = readU16(bytes, 8);
    parsed.boot = readU16(bytes, 10);
    parsed.arch = readU16(bytes, 12);
    parsed.pack = readU16(bytes, 14);
    parsed.crc = crc;
    for (uint32_t offset = HeaderSize; offset < end;) {
        // A record needs its head and CRC, and must end at or before the package CRC.
        if (end - offset < RecordOverhead)
            return refuse(Flaw::Size);
        ptzImage image;
        image.length = readU32(bytes, offset);
        if (image.length < RecordOverhead || image.length > end - offset)
            return refuse(Flaw::Size);
        image.hardware = readU16(bytes, offset + 4);
        image.firmware = readU16(bytes, offset + 6);
        image.data = bytes.mid(offset + RecordHeadSize, image.length - RecordOverhead);
        image.crc = readU16(bytes, offset + image.length - CrcSize);
        parsed.images.append(image);
        offset += image.length;
    }
    // Consumers iterate by `count`; it must name exactly the records that are there.
    if (parsed.images.size() != parsed.count)
        return refuse(Flaw::Size);

    qCDebug(lcPackage, "> ------------------unpack-------------------");
    qCDebug(lcPackage, ">    BOOT:%04X, ARCH:%04X, PACK:%4d", parsed.boot, parsed.arch, parsed.pack);
    for (const ptzImage &image : std::as_const(parsed.images))
        qCDebug(lcPackage, "> %8d, %04X, %4d, %04X, %8d", int(image.length), image.hardware,
                image.firmware, image.crc, int(image.data.size()));
    head = parsed;
    lastFlaw = Flaw::None;
    return true;
}

bool PtzFile::addImage(uint16_t hardware, uint16_t firmware, const QByteArray &bytes)
{
    if (bytes.isEmpty() || head.count == 0xFFFF)
        return false;
    QByteArray data = bytes;
    if (data.size() % 16 != 0)
        data.append(16 - data.size() % 16, char(0xFF));
    // The record length and the package size are 32-bit fields; refuse what they cannot hold.
    const uint64_t length = uint64_t(data.size()) + RecordOverhead;
    if (uint64_t(head.size) + length > 0xFFFFFFFFu)
        return false;

    ptzImage image;
    image.length = uint32_t(length);
    image.hardware = hardware;
    image.firmware = firmware;
    image.crc = crcOf(data, data.size());
    image.data = data;
    head.count++;
    head.images.append(image);
    head.size += image.length;
    return true;
}

QByteArray PtzFile::build(uint8_t format, uint16_t boot, uint16_t arch, uint16_t pack)
{
    head.format = format;
    head.boot = boot;
    head.arch = arch;
    head.pack = pack;

    QByteArray out;
    out.reserve(qsizetype(head.size));
    out.append(head.flag);
    out.append(char(head.format));
    appendU32(out, head.size);
    appendU16(out, head.count);
    appendU16(out, head.boot);
    appendU16(out, head.arch);
    appendU16(out, head.pack);
    for (const ptzImage &image : std::as_const(head.images)) {
        appendU32(out, image.length);
        appendU16(out, image.hardware);
        appendU16(out, image.firmware);
        out.append(image.data);
        appendU16(out, image.crc);
    }
    head.crc = crcOf(out, out.size());
    appendU16(out, head.crc);
    return out;
}
