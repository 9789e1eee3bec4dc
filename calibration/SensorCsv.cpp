// Formats read-out samples as comma-separated lines.
#include "SensorCsv.h"

#include <cmath>

namespace SensorCsv {

namespace {

// Fixed-point text, independent of the locale; a value that rounds to zero is written "0",
// never "-0".
void append(QByteArray &line, double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0)
        rounded = 0.0;
    if (!line.isEmpty())
        line += ',';
    line += QByteArray::number(rounded, 'f', decimals);
}

} // namespace

QByteArray header()
{
    return QByteArrayLiteral("time_s,gyro_x_dps,gyro_y_dps,gyro_z_dps,acc_x_g,acc_y_g,acc_z_g,gyro_mod_dps,acc_mod_g");
}

QByteArray row(double seconds, const SensorReadout &r)
{
    QByteArray line;
    line.reserve(80);
    append(line, seconds, 3);
    for (float v : {r.gx, r.gy, r.gz})
        append(line, v, 1);
    for (float v : {r.ax, r.ay, r.az})
        append(line, v, 3);
    append(line, r.gmod, 1);
    append(line, r.amod, 3);
    return line;
}

} // namespace SensorCsv
