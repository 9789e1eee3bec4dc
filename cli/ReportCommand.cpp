// Reads the yield report from the journal the listing reads, and hands it to the form asked for.
#include "ReportCommand.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "JournalCommand.h"
#include "JournalStore.h"
#include "ReportHtml.h"

#include <QSaveFile>

int ReportCommand::run(const CliOptions &options, const JournalConfig &config)
{
    // The shared journal when one is set, as the listing reads it; --local reads this machine's file.
    const bool shared = !config.sharedUri.isEmpty() && !options.localOnly;
    const QString where = shared ? JournalConfig::describe(config.sharedUri) : config.localPath;
    JournalStore store;
    QString error;
    std::optional<YieldReport> report;
    // Reached within the listing's budget; its statements then get a report's.
    if (store.open(shared ? JournalStore::Backend::Shared : JournalStore::Backend::Local, shared ? config.sharedUri : config.localPath,
                   JournalConfig::SharedBudgetMs, &error)
        && store.setStatementBudget(JournalConfig::ReportBudgetMs, &error))
        report = YieldReport::compute(store, JournalCommand::filterOf(options), &error);
    if (!report) {
        CliOutput::error(QStringLiteral("velmora-cli: journal report: %1: %2").arg(where, error));
        return ExitCode::JournalFailed;
    }
    if (options.json) {
        CliOutput::json(report->toJson());
    } else if (options.csv) {
        CliOutput::line(YieldReport::csvHeader());
        for (const QString &row : report->csvRows())
            CliOutput::line(row);
    } else if (!options.htmlFile.isEmpty()) {
        // Written whole or not at all: a page cut short by a full disk is not left behind.
        QSaveFile file(options.htmlFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(ReportHtml::page(*report, where).toUtf8()) < 0 || !file.commit()) {
            CliOutput::error(QStringLiteral("velmora-cli: journal report: %1: %2").arg(options.htmlFile, file.errorString()));
            return ExitCode::Failed;
        }
        CliOutput::line(QStringLiteral("report written to %1").arg(options.htmlFile));
    } else {
        for (const QString &line : textLines(*report))
            CliOutput::line(line);
    }
    return ExitCode::Success;
}
