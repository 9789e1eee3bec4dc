// The product rows as the command line uses them, and the read-out scaling of the window.
#pragma once

#include <QString>
#include <cstdint>

// These mirror the window's product table (ui/ProductTable), which cli may not link: keep the
// two in step when a product is added.
struct CliProduct
{
    const char *name;       // source text, translated in the MainWindow context
    float gyroCountsPerDps; // gyroscope counts per degree/s
    int registerProfile;    // register profile of the runtime protocol
    bool multiChip;         // bootloader addressing of the update
};

namespace ProductRows {

constexpr int RowCount = 9;

// A row number (0 to 8) or a product name, English or source text, case-insensitive;
// -1 when it names no product.
int parse(const QString &text);
const CliProduct &row(int row);
// The English name of a row.
QString displayName(int row);
// One line per row for --help.
QString helpList();

// How to hold the gimbal for accelerometer face `face` (1 to 6).
QString placement(int face);

} // namespace ProductRows

// The live values as the window's read-out boxes show them: scaled, then clamped to the boxes'
// ranges (acceleration ±10 g, rates ±2000 degree/s, rate modulus -32768..32767).
struct CliReadout
{
    float ax, ay, az, amod;
    float gx, gy, gz, gmod;

    static CliReadout fromRaw(int16_t accX, int16_t accY, int16_t accZ, int16_t gyroX, int16_t gyroY,
                              int16_t gyroZ, float gyroCountsPerDps);
};
