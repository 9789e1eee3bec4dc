// Product rows, face placements and read-out scaling for the command line.
#include "ProductRows.h"

#include <QCoreApplication>
#include <QtGlobal>
#include <cmath>

namespace {

constexpr float kFineGyro = 32.8f;
constexpr float kCoarseGyro = 16.4f;

// Rows 0 to 2 use register profiles 0/1 and single-address updates; rows 3 to 8 profile 2 and
// multi-chip updates.
const CliProduct kRows[ProductRows::RowCount] = {
    {QT_TRANSLATE_NOOP("MainWindow", "K5 (两轴)"), kFineGyro, 0, false},
    {QT_TRANSLATE_NOOP("MainWindow", "K5 (三轴)"), kFineGyro, 1, false},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Ember"), kFineGyro, 1, false},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Ember2"), kCoarseGyro, 2, true},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Delta"), kCoarseGyro, 2, true},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Cedar"), kCoarseGyro, 2, true},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Birch"), kCoarseGyro, 2, true},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Birch2"), kCoarseGyro, 2, true},
    {QT_TRANSLATE_NOOP("MainWindow", "K5-Aster"), kCoarseGyro, 2, true},
};

// The accelerometer reads +1 g on the axis that points up.
const char *const kPlacements[6] = {
    "turn the gimbal so that its X axis points straight up, and hold it still",
    "turn the gimbal so that its X axis points straight down, and hold it still",
    "turn the gimbal so that its Y axis points straight up, and hold it still",
    "turn the gimbal so that its Y axis points straight down, and hold it still",
    "stand the gimbal level, Z axis up (its normal position), and hold it still",
    "turn the gimbal upside down, Z axis down, and hold it still",
};

} // namespace

namespace ProductRows {

int parse(const QString &text)
{
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (isNumber)
        return number >= 0 && number < RowCount ? number : -1;
    for (int i = 0; i < RowCount; ++i) {
        if (text.compare(displayName(i), Qt::CaseInsensitive) == 0
            || text.compare(QString::fromUtf8(kRows[i].name), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

const CliProduct &row(int row)
{
    Q_ASSERT(row >= 0 && row < RowCount);
    return kRows[row];
}

QString displayName(int row)
{
    return QCoreApplication::translate("MainWindow", kRows[row].name);
}

QString helpList()
{
    QString text;
    for (int i = 0; i < RowCount; ++i)
        text += QStringLiteral("  %1  %2\n").arg(i).arg(displayName(i));
    return text;
}

QString placement(int face)
{
    return face >= 1 && face <= 6 ? QString::fromLatin1(kPlacements[face - 1]) : QString();
}

} // namespace ProductRows

CliReadout CliReadout::fromRaw(int16_t accX, int16_t accY, int16_t accZ, int16_t gyroX, int16_t gyroY,
                               int16_t gyroZ, float gyroCountsPerDps)
{
    constexpr float kGPerCount = 1.0f / 4096.0f;
    const double ax = accX * kGPerCount;
    const double ay = accY * kGPerCount;
    const double az = accZ * kGPerCount;
    const double gx = gyroX / gyroCountsPerDps;
    const double gy = gyroY / gyroCountsPerDps;
    const double gz = gyroZ / gyroCountsPerDps;
    const auto acc = [](double v) { return float(qBound(-10.0, double(float(v)), 10.0)); };
    const auto rate = [](double v) { return float(qBound(-2000.0, double(float(v)), 2000.0)); };
    return CliReadout{acc(ax),
                      acc(ay),
                      acc(az),
                      acc(std::sqrt(ax * ax + ay * ay + az * az)),
                      rate(gx),
                      rate(gy),
                      rate(gz),
                      float(qBound(-32768.0, double(float(std::sqrt(gx * gx + gy * gy + gz * gz))), 32767.0))};
}
