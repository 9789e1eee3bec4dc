// Checks of the bootloader's reply payloads: each reads only bytes the reply holds.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace BootloaderReplies {

// READ_CRC: [code, status, CRC (16-bit LE)]. True with the CRC for status 0.
bool readCrc(const QByteArray &reply, uint16_t *crc);
// WRITE_PAGE: [code, status, page index (16-bit LE)]. True for status 0 and the index sent.
bool writePage(const QByteArray &reply, uint16_t index);
// NEXT: [code, status]. True for status 0.
bool next(const QByteArray &reply);

} // namespace BootloaderReplies
