// Looks the listed chips up in the journal by cpuid.
#include "ChipHistory.h"

#include "JournalStore.h"

namespace {

QString versionText(int firmware)
{
    return firmware < 0 ? QStringLiteral("?") : JournalRecord::firmwareText(firmware);
}

} // namespace

QStringList ChipHistory::lines(JournalStore &store, const QList<chipInfo> &chips, QString *error)
{
    error->clear();
    QStringList found;
    for (int k = 0; k < chips.size(); ++k) {
        JournalFilter filter;
        filter.cpuid = chips.at(k).cpuid;
        filter.kind = JournalRecord::Kind::Update;
        // Newest first: the first record in which this chip was written or found up to date
        // wins; failed and unreached attempts say nothing about what the chip holds.
        const QList<JournalRecord> records = store.find(filter, error);
        if (!error->isEmpty())
            return {};
        bool seen = false;
        for (const JournalRecord &record : records) {
            for (const JournalChip &chip : record.chips) {
                if (chip.cpuid != chips.at(k).cpuid)
                    continue;
                const QDateTime when = (record.ended.isValid() ? record.ended : record.started).toLocalTime();
                const QString day = when.toString(QStringLiteral("yyyy-MM-dd"));
                if (chip.result == QLatin1String("written")) {
                    found.append(tr("芯片 %1：本站上次更新于 %2，%3 → %4")
                                     .arg(k + 1)
                                     .arg(day, versionText(chip.firmwareBefore), versionText(chip.firmwareAfter)));
                    seen = true;
                } else if (chip.result == QLatin1String("up-to-date")) {
                    found.append(tr("芯片 %1：本站上次检查于 %2，已是 %3").arg(k + 1).arg(day, versionText(chip.firmwareAfter)));
                    seen = true;
                }
                break;
            }
            if (seen)
                break;
        }
    }
    return found;
}
