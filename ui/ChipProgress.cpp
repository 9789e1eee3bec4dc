#include "ChipProgress.h"

#include <QCoreApplication>
#include <cmath>

namespace {

QString text(const char *source)
{
    return QCoreApplication::translate("ChipProgress", source);
}

} // namespace

void ChipProgress::start(int chipCount)
{
    chips = chipCount;
    chip = 0;
    active = true;
}

void ChipProgress::stop()
{
    active = false;
}

QString ChipProgress::chipStarted(int number)
{
    if (!active)
        return QString();
    chip = number;
    chipClock.start();
    return text("正在写入芯片 %1/%2").arg(chip).arg(chips);
}

QString ChipProgress::chipUpToDate(int number)
{
    if (!active)
        return QString();
    chip = number;
    return text("芯片 %1/%2：已是最新，无需写入").arg(chip).arg(chips);
}

QString ChipProgress::report(int perMille)
{
    if (!active || chip == 0)
        return QString();
    if (perMille >= 1000)
        return text("芯片 %1/%2：写入完成").arg(chip).arg(chips);
    const qint64 spent = chipClock.elapsed();
    if (perMille <= 0 || spent < 500)
        return text("正在写入芯片 %1/%2").arg(chip).arg(chips);
    const double left = double(spent) * (1000 - perMille) / perMille / 1000.0;
    return text("正在写入芯片 %1/%2，约剩 %3 秒").arg(chip).arg(chips).arg(qMax(1, int(std::ceil(left))));
}
