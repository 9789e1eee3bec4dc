// One chip behind the simulated bootloader.
#include "SimChip.h"

#include "crc16.h"

SimChip::SimChip(const SimChipInfo &info)
    : identity(info)
    , memory(qsizetype(info.pageSize) * info.pageCount, char(0xFF))
{
}

uint16_t SimChip::firmware() const
{
    uint16_t version = identity.firmware;
    qsizetype longest = 0;
    for (const auto &[image, imageVersion] : identity.knownImages) {
        if (image.size() > longest && memory.startsWith(image)) {
            longest = image.size();
            version = imageVersion;
        }
    }
    return version;
}

bool SimChip::attachFile(const QString &path)
{
    auto backing = std::make_unique<QFile>(path);
    if (!backing->open(QIODevice::ReadWrite)) {
        error = path + QStringLiteral(": ") + backing->errorString();
        return false;
    }
    if (backing->size() == memory.size()) {
        const QByteArray stored = backing->readAll();
        if (stored.size() != memory.size()) {
            error = path + QStringLiteral(": short read");
            return false;
        }
        memory = stored;
    } else if (!backing->resize(0) || backing->write(memory) != memory.size() || !backing->flush()) {
        // A file of another size belongs to another flash layout: start it afresh.
        error = path + QStringLiteral(": ") + backing->errorString();
        return false;
    }
    file = std::move(backing);
    return true;
}

bool SimChip::writePage(uint16_t index, const QByteArray &bytes)
{
    if (bytes.isEmpty() || bytes.size() > identity.pageSize || index >= identity.pageCount)
        return false;
    return store(qsizetype(index) * identity.pageSize, bytes);
}

bool SimChip::preload(const QByteArray &bytes)
{
    if (bytes.size() > memory.size())
        return false;
    return store(0, bytes);
}

bool SimChip::store(qsizetype offset, const QByteArray &bytes)
{
    if (offset < 0 || offset + bytes.size() > memory.size())
        return false;
    // The file is written first: a page that could not be kept is refused, not half-kept.
    if (file && (!file->seek(offset) || file->write(bytes) != bytes.size() || !file->flush())) {
        error = file->fileName() + QStringLiteral(": ") + file->errorString();
        return false;
    }
    memory.replace(offset, bytes.size(), bytes);
    return true;
}

bool SimChip::crcOf(uint32_t count, uint16_t *crc) const
{
    if (qint64(count) > memory.size())
        return false;
    *crc = crc16(reinterpret_cast<const uint8_t *>(memory.constData()), count);
    return true;
}
