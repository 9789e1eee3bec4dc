// Picks the port when the command line names none: the only gimbal adapter listed.
#pragma once

#include "PortInfo.h"

#include <QList>
#include <QString>

namespace PortChoice {

// The gimbal adapters among `listing`, in listing order.
QList<PortInfo> adapters(const QList<PortInfo> &listing);

// The port to use when none was given: the single adapter's name, or empty with `reason` set
// (none listed, or several to choose from).
QString onlyAdapter(const QList<PortInfo> &listing, QString *reason);

} // namespace PortChoice
