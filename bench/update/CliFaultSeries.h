// Updates through velmora-cli against simulators with a damaged line, counted by outcome.
#pragma once

#include <QString>

// Runs `runs` updates (alternating single-address and multi-chip mode, a fresh simulator each)
// and prints false successes, failures blamed on the package, hangs, the exit statuses and the
// successes of each mode. With `strayMs` above 0 the simulator also puts stray bytes on the line
// that often. Returns false when a run could not be set up.
bool cliFaultSeries(int runs, const QString &workDir, int strayMs = 0);
