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
