// velmora-cli ports: the gimbal adapters, filtered as the window filters them.
#pragma once

#include "PortInfo.h"

#include <QList>
#include <QStringList>

namespace PortsCommand {

// The lines printed for `adapters`: on a terminal a header over aligned columns, "-" for an
// empty field; otherwise one tab-separated line per adapter, empty fields empty, as scripts
// split them.
QStringList lines(const QList<PortInfo> &adapters, bool terminal);

// Prints the list; returns the exit status.
int run(bool json);

} // namespace PortsCommand
