// velmora-cli catalogue list|fetch: the maker's releases, and a release's package kept in the cache.
#pragma once

#include <QStringList>

namespace CatalogueCommand {

// Runs `catalogue ...` (the arguments after the program name) to its end; returns the exit status.
int run(const QStringList &arguments);
// The synopsis line for the overview.
QString synopsis();

} // namespace CatalogueCommand
