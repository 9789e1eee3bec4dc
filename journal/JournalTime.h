// Times as a person reads and types them: local time labelled with its offset, or UTC.
#pragma once

#include <QDateTime>
#include <QString>

namespace JournalTime {
// "2026-12-08 16:36:09 +08:00" in the local time zone, or in UTC ("... +00:00") when `utc`;
// empty for an invalid time. The window and the command line show journal times through this.
QString shown(const QDateTime &time, bool utc = false);
// A date ("2026-11-30", its midnight) or a time as ISO 8601 or as shown() prints it
// ("2026-11-30T14:00", "2026-11-30 14:00:05 +08:00", "...Z"). Without a zone it is local time,
// as shown() prints by default. Invalid when the text is none of these.
QDateTime parse(const QString &text);
}
