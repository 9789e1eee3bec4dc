// velmora-cli ports: the gimbal adapters, filtered as the window filters them.
#pragma once

namespace PortsCommand {

// Prints the list; returns the exit status.
int run(bool json);

} // namespace PortsCommand
