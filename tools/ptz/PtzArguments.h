// Parsers for the values velmora-ptz takes on its command line (codes, versions, image arguments).
#pragma once

#include <QString>
#include <cstdint>

namespace PtzArguments {

// A 16-bit code in hexadecimal, with or without "0x": "0x1A2B", "1a2b", "7".
bool parseHex16(const QString &text, uint16_t *value);

// A decimal number from 0 to 65535.
bool parseDecimal16(const QString &text, uint16_t *value);

// A decimal number from 0 to 255.
bool parseDecimal8(const QString &text, uint8_t *value);

// A firmware version with at most two decimals, stored times 100: "1.05" gives 105, "2" gives 200.
// Versions above 655.35 do not fit the 16-bit field and are refused.
bool parseVersion(const QString &text, uint16_t *value);

struct ImageArgument
{
    uint16_t hardware = 0;
    uint16_t firmware = 0;
    QString file;
};

// "HW:VERSION:FILE"; the file part may itself contain ':'. On false, *error says what is wrong.
bool parseImageArgument(const QString &text, ImageArgument *image, QString *error);

} // namespace PtzArguments
