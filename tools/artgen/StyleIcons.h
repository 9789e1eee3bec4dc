// Paints the style sheet's small PNG icons (arrows, tree branches, grips, check mark, ...).
#pragma once

#include <QImage>
#include <QString>
#include <vector>

namespace StyleIcons {

struct Icon {
    QString name; // file name, e.g. "down_arrow.png"
    QImage image;
};

std::vector<Icon> all();

} // namespace StyleIcons
