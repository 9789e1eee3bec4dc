// Resource paths of the compiled-in pictures, style sheet and translation.
#pragma once

#include <QString>

namespace ResourcePaths {

inline const QString styleSheet = QStringLiteral(":/qdarkstyle/style.qss");
inline const QString connectPicture = QStringLiteral(":/image/connect.svg");
inline const QString disconnectPicture = QStringLiteral(":/image/disconnect.svg");
inline const QString successPicture = QStringLiteral(":/image/success.svg");
inline const QString failPicture = QStringLiteral(":/image/fail.svg");
inline const QString appIcon = QStringLiteral(":/icons/velmora.svg");

// The step picture of accelerometer face `face` (1 to 6) in picture set `set` ("3-axis", ...).
QString stepPicture(const QString &set, int face);

// The eight picture-set directory names.
const QStringList &pictureSets();

} // namespace ResourcePaths
