// Updates through velmora-cli against simulators with a damaged line, counted by outcome.
#pragma once

#include <QString>

// Runs `runs` updates (alternating single-address and multi-chip mode, a fresh simulator each)
// and prints false successes, failures blamed on the package, hangs and the exit statuses.
// Returns false when a run could not be set up.
bool cliFaultSeries(int runs, const QString &workDir);
