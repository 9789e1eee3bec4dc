// Registers the names under which the program's integer and byte-array types travel
// through queued signal connections between threads.
#pragma once

void registerQueuedMetaTypes();
