// The application icon: a small gimbal with its camera on a dark rounded tile.
#pragma once

#include "Drawing.h"

namespace AppIcon {

Drawing draw(); // 256 x 256 view box

} // namespace AppIcon
