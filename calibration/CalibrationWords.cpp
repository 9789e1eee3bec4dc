// The calibration's instructions; source texts in Chinese, English in the translation.
#include "CalibrationWords.h"

#include <QCoreApplication>

namespace {

const char *const kContext = "CalibrationWords";

// Face n rests with the axis it reads pointing up (see the step pictures).
const char *const kPlacements[CalibrationWords::FaceCount] = {
    QT_TRANSLATE_NOOP("CalibrationWords", "让它仰面躺下，镜头朝上"),
    QT_TRANSLATE_NOOP("CalibrationWords", "让它俯面趴下，镜头朝下"),
    QT_TRANSLATE_NOOP("CalibrationWords", "让它右侧着地躺下，镜头朝前"),
    QT_TRANSLATE_NOOP("CalibrationWords", "让它左侧着地躺下，镜头朝前"),
    QT_TRANSLATE_NOOP("CalibrationWords", "让它手柄朝下竖直立起，镜头朝前"),
    QT_TRANSLATE_NOOP("CalibrationWords", "把它倒过来，手柄朝上，镜头朝前"),
};

const char *const kCheckContext = "CheckWords";

QString checkText(const char *source)
{
    return QCoreApplication::translate(kCheckContext, source);
}

// Decimals a value is shown with: a thousandth of g, a hundredth of a deg/s or degree.
int decimals(const QString &unit)
{
    return unit == QLatin1String("g") ? 3 : 2;
}

} // namespace

namespace CalibrationWords {

QString placement(int face)
{
    if (face < 1 || face > FaceCount)
        return QString();
    return QCoreApplication::translate(kContext, kPlacements[face - 1]);
}

QString faceStep(int face)
{
    if (face < 1 || face > FaceCount)
        return QString();
    return QCoreApplication::translate(kContext, "第 %1 面（共 %2 面）：%3")
        .arg(face)
        .arg(FaceCount)
        .arg(placement(face));
}

QString gyroscopeStep()
{
    return QCoreApplication::translate(kContext, "陀螺仪：请保持静止，不要移动");
}

} // namespace CalibrationWords

namespace CalibrationWords {

QString measurementName(const QString &name)
{
    if (name == QLatin1String("accel_norm"))
        return checkText(QT_TRANSLATE_NOOP("CheckWords", "重力读数"));
    if (name == QLatin1String("accel_noise"))
        return checkText(QT_TRANSLATE_NOOP("CheckWords", "加速度计噪声"));
    if (name == QLatin1String("gyro_bias"))
        return checkText(QT_TRANSLATE_NOOP("CheckWords", "陀螺仪零偏"));
    if (name == QLatin1String("gyro_noise"))
        return checkText(QT_TRANSLATE_NOOP("CheckWords", "陀螺仪噪声"));
    if (name == QLatin1String("tilt"))
        return checkText(QT_TRANSLATE_NOOP("CheckWords", "倾斜"));
    return name;
}

QString unitText(const QString &unit)
{
    if (unit == QLatin1String("deg/s"))
        return QStringLiteral("°/s");
    if (unit == QLatin1String("deg"))
        return QStringLiteral("°");
    return unit;
}

QString measurementLine(const CheckMeasurement &m)
{
    // The limits as they were set, so that a tight one does not read as its rounding.
    return checkText(QT_TRANSLATE_NOOP("CheckWords", "%1：%2 %3（限值 %4 至 %5 %3）"))
        .arg(measurementName(m.name), QString::number(m.value, 'f', decimals(m.unit)), unitText(m.unit),
             QString::number(m.low), QString::number(m.high));
}

QString checkWaiting()
{
    return checkText(QT_TRANSLATE_NOOP("CheckWords", "请把云台放在底座上，保持静止"));
}

QString checkMeasuring()
{
    return checkText(QT_TRANSLATE_NOOP("CheckWords", "正在检查，请保持静止……"));
}

QString checkVerdict(bool passed)
{
    return passed ? checkText(QT_TRANSLATE_NOOP("CheckWords", "校准良好"))
                  : checkText(QT_TRANSLATE_NOOP("CheckWords", "需要校准"));
}

QString checkFailed(const CheckOutcome &outcome)
{
    switch (outcome.reason) {
    case CheckOutcome::Passed:
        return QString();
    case CheckOutcome::Failed:
        if (const CheckMeasurement *failing = outcome.firstFailing())
            return checkText(QT_TRANSLATE_NOOP("CheckWords", "检查未通过：%1")).arg(measurementLine(*failing));
        break;
    case CheckOutcome::NotStill:
        return checkText(QT_TRANSLATE_NOOP("CheckWords", "检查未通过：云台一直没有保持静止"));
    case CheckOutcome::LinkLost:
        return checkText(QT_TRANSLATE_NOOP("CheckWords", "检查未完成：云台停止了应答"));
    case CheckOutcome::Cancelled:
        return checkText(QT_TRANSLATE_NOOP("CheckWords", "检查已取消"));
    }
    return checkText(QT_TRANSLATE_NOOP("CheckWords", "检查未通过"));
}

QString checkHint()
{
    return checkText(QT_TRANSLATE_NOOP("CheckWords", "请把云台放在稳固、水平的表面上重新校准；如果再次检查仍未通过，可能是传感器故障。"));
}

} // namespace CalibrationWords
