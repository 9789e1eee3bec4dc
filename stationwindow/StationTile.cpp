// One adapter's tile on the station window.
#include "StationTile.h"

StationTile::StationTile(const QString &port, QWidget *parent)
    : QFrame(parent)
    , portName(port)
{
}

QString StationTile::phaseText() const
{
    return QString();
}
