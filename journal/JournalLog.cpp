// Logging category of the journal.
#include "JournalLog.h"

Q_LOGGING_CATEGORY(lcJournal, "velmora.journal")
