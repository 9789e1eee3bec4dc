// One chip behind the simulated bootloader: its identity codes and its flash, optionally kept in a file.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <cstdint>
#include <memory>

struct SimChipInfo
{
    uint32_t cpuid = 0;
    uint16_t pageSize = 1024;
    uint16_t pageCount = 64;
    uint16_t boot = 0x0100;
    uint16_t arch = 0x4B35;
    uint16_t hardware = 0x0101;
    uint16_t firmware = 100; // reported while the flash holds none of `knownImages`
    uint32_t serial = 0;
    // Images the chip recognises at the start of its flash, each with its firmware version
    // (times 100): a chip holding one reports that version, as a real chip reports the
    // version of the firmware it holds.
    QList<QPair<QByteArray, uint16_t>> knownImages;
};

// Flash starts erased (0xFF). With a backing file, every page write also goes to the file,
// so a later run of the simulator sees what this one wrote.
class SimChip
{
public:
    explicit SimChip(const SimChipInfo &info);

    const SimChipInfo &info() const { return identity; }
    // The version of the firmware the flash holds: the longest known image it begins with,
    // else the configured version.
    uint16_t firmware() const;
    const QByteArray &flash() const { return memory; }
    qsizetype flashSize() const { return memory.size(); }

    // Loads the flash from `path` when the file holds exactly one flash image, otherwise
    // starts the file from the current flash. False with errorString() when it cannot be used.
    bool attachFile(const QString &path);
    QString errorString() const { return error; }

    // Writes `bytes` at page `index`; false (nothing written) when they do not fit in one page
    // or run past the flash. A write that the backing file refuses is refused as a whole.
    bool writePage(uint16_t index, const QByteArray &bytes);
    // Puts `bytes` at the start of the flash, as a factory programmer would; false if too long
    // or refused by the backing file.
    bool preload(const QByteArray &bytes);
    // CRC-16 of the first `count` bytes of flash; false when `count` runs past the flash.
    bool crcOf(uint32_t count, uint16_t *crc) const;

private:
    bool store(qsizetype offset, const QByteArray &bytes);

    SimChipInfo identity;
    QByteArray memory;
    std::unique_ptr<QFile> file;
    QString error;
};
