// The window's texts for a port that exists but cannot be opened, shared with velmora-cli.
#pragma once

#include <QtGlobal>

// Source texts in the context "MainWindow"; each face translates them where it shows them.
namespace PortTexts {

inline constexpr char permissionDenied[] = QT_TRANSLATE_NOOP(
    "MainWindow", "串口无法打开：没有访问权限。请安装 udev 规则 60-velmora.rules，或将用户加入 dialout 组后重新登录。");
inline constexpr char inUse[] = QT_TRANSLATE_NOOP("MainWindow", "串口无法打开：另一个程序正在使用它。");
inline constexpr char cannotOpen[] = QT_TRANSLATE_NOOP("MainWindow", "串口无法打开!");

} // namespace PortTexts
