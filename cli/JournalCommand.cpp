// velmora-cli journal: prints records as text, CSV or JSON, sends what waits, makes the tables.
#include "JournalCommand.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "Journal.h"
#include "JournalStore.h"
#include "JournalTime.h"
#include "ReportCommand.h"

#include <QJsonDocument>

namespace {

constexpr int SharedBudgetMs = JournalConfig::SharedBudgetMs;

QString chipsText(const JournalRecord &record)
{
    QStringList chips;
    for (const JournalChip &chip : record.chips)
        chips.append(QStringLiteral("%1 %2→%3 %4")
                         .arg(JournalRecord::hex32(chip.cpuid), JournalRecord::firmwareText(chip.firmwareBefore),
                              JournalRecord::firmwareText(chip.firmwareAfter), chip.result));
    return chips.join(QStringLiteral(", "));
}

// A check's figures in a few words: the first outside its limits, else that all were within.
QString measuredText(const JournalRecord &record)
{
    if (record.measurements.isEmpty())
        return QStringLiteral("nothing measured");
    for (const CheckMeasurement &m : record.measurements)
        if (!m.passed())
            return QStringLiteral("%1 %2 %3 outside %4–%5").arg(m.name).arg(m.value).arg(m.unit).arg(m.low).arg(m.high);
    return QStringLiteral("%1 measurements within their limits").arg(record.measurements.size());
}

QString textLine(const JournalRecord &record, bool utc)
{
    const QString when = JournalTime::shown(record.started, utc);
    // A catalogue's package says its release: "k5-1.09.ptz 1.09 (catalogue, stable)".
    QString package = record.packageName;
    if (!record.catalogue.version.isEmpty())
        package += record.catalogue.channel.isEmpty()
                       ? QStringLiteral(" %1 (catalogue)").arg(record.catalogue.version)
                       : QStringLiteral(" %1 (catalogue, %2)").arg(record.catalogue.version, record.catalogue.channel);
    QString what;
    switch (record.kind) {
    case JournalRecord::Kind::Update:
        what = QStringLiteral("update %1 [%2]").arg(package, chipsText(record));
        break;
    case JournalRecord::Kind::Calibration:
        what = QStringLiteral("calibration step %1, save %2")
                   .arg(record.stepReached, record.saveAcknowledged ? QStringLiteral("acknowledged") : QStringLiteral("not acknowledged"));
        if (!record.measurements.isEmpty())
            what += QStringLiteral(", check: ") + measuredText(record);
        break;
    case JournalRecord::Kind::Check:
        what = QStringLiteral("check: ") + measuredText(record);
        break;
    }
    if (!record.checkResult.isEmpty())
        what += QStringLiteral(", new firmware ") + record.checkResult;
    return QStringLiteral("%1  %2  %3  %4  %5").arg(when, record.station, record.port, record.outcome, what);
}

QList<JournalRecord> findIn(JournalStore::Backend backend, const QString &target, const JournalFilter &filter,
                            QString *error)
{
    JournalStore store;
    if (!store.open(backend, target, SharedBudgetMs, error))
        return {};
    return store.find(filter, error);
}

int list(const CliOptions &options, const JournalConfig &config)
{
    JournalFilter filter = JournalCommand::filterOf(options);
    filter.limit = options.limit;
    QString error;
    QList<JournalRecord> records;
    bool found = false;
    if (!config.sharedUri.isEmpty() && !options.localOnly) {
        records = findIn(JournalStore::Backend::Shared, config.sharedUri, filter, &error);
        found = error.isEmpty();
        // This machine's records are still worth seeing while the shared journal is away.
        if (!found)
            CliOutput::error(QStringLiteral("velmora-cli: journal: the shared journal %1 could not be reached (%2); "
                                            "listing this machine's records only")
                                 .arg(JournalConfig::describe(config.sharedUri), error.simplified()));
    }
    if (!found) {
        error.clear();
        records = findIn(JournalStore::Backend::Local, config.localPath, filter, &error);
        if (!error.isEmpty()) {
            CliOutput::error(QStringLiteral("velmora-cli: journal: %1: %2").arg(config.localPath, error));
            return ExitCode::JournalFailed;
        }
    }
    if (options.csv)
        CliOutput::line(JournalRecord::csvHeader());
    for (const JournalRecord &record : std::as_const(records)) {
        if (options.json)
            CliOutput::line(QString::fromUtf8(QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact)));
        else if (options.csv)
            CliOutput::line(record.toCsv());
        else
            CliOutput::line(textLine(record, options.utc));
    }
    if (records.isEmpty())
        CliOutput::error(QStringLiteral("velmora-cli: journal: no record matched"));
    return ExitCode::Success;
}

int waitingHere(const JournalConfig &config, QString *error)
{
    JournalStore store;
    if (!store.open(JournalStore::Backend::Local, config.localPath, SharedBudgetMs, error))
        return -1;
    return store.waitingCount(error);
}

// Makes or upgrades the tables of the shared journal (else the local file) and says their version.
int init(const JournalConfig &config)
{
    const bool shared = !config.sharedUri.isEmpty();
    const QString where = shared ? JournalConfig::describe(config.sharedUri) : config.localPath;
    JournalStore store;
    QString error;
    if (!store.open(shared ? JournalStore::Backend::Shared : JournalStore::Backend::Local,
                    shared ? config.sharedUri : config.localPath, SharedBudgetMs, &error)) {
        CliOutput::error(QStringLiteral("velmora-cli: journal init: %1: %2").arg(where, error));
        return ExitCode::JournalFailed;
    }
    const int found = store.versionFound();
    const int now = JournalSchema::latest();
    if (found == 0)
        CliOutput::line(QStringLiteral("%1: tables made, journal version %2").arg(where).arg(now));
    else if (found < now)
        CliOutput::line(QStringLiteral("%1: upgraded from journal version %2 to %3").arg(where).arg(found).arg(now));
    else
        CliOutput::line(QStringLiteral("%1: already at journal version %2").arg(where).arg(now));
    return ExitCode::Success;
}

// Where records go; with a shared journal, what its server says now and how many records wait.
int status(const JournalConfig &config)
{
    CliOutput::line(QStringLiteral("station: %1").arg(config.station));
    CliOutput::line(QStringLiteral("local journal: %1").arg(config.localPath));
    if (config.sharedUri.isEmpty()) {
        CliOutput::line(QStringLiteral("shared journal: none (records stay on this machine)"));
        return ExitCode::Success;
    }
    CliOutput::line(QStringLiteral("shared journal: %1").arg(JournalConfig::describe(config.sharedUri)));
    int code = ExitCode::Success;
    QString error;
    JournalStore shared;
    if (shared.open(JournalStore::Backend::Shared, config.sharedUri, SharedBudgetMs, &error)) {
        const int version = shared.schemaVersion(&error);
        const int may = version < 0 ? -1 : shared.mayAppend(&error);
        if (may < 0) {
            CliOutput::line(QStringLiteral("reachable: no (%1)").arg(error.simplified()));
            code = ExitCode::JournalFailed;
        } else {
            CliOutput::line(QStringLiteral("reachable: yes"));
            CliOutput::line(QStringLiteral("journal version: %1").arg(version));
            CliOutput::line(QStringLiteral("may add records: %1").arg(may ? QStringLiteral("yes") : QStringLiteral("no")));
            if (!may)
                code = ExitCode::JournalFailed;
        }
    } else {
        CliOutput::line(QStringLiteral("reachable: no (%1)").arg(error.simplified()));
        code = ExitCode::JournalFailed;
    }
    error.clear();
    const int waiting = waitingHere(config, &error);
    if (waiting < 0) {
        CliOutput::error(QStringLiteral("velmora-cli: journal: %1: %2").arg(config.localPath, error));
        return ExitCode::JournalFailed;
    }
    CliOutput::line(QStringLiteral("waiting to be sent: %1").arg(waiting));
    return code;
}

} // namespace

int JournalCommand::run(const CliOptions &options)
{
    const JournalConfig config = JournalConfig::resolve(options.journalUri);
    switch (options.journalAction) {
    case CliOptions::JournalAction::List:
        return list(options, config);
    case CliOptions::JournalAction::Init:
        return init(config);
    case CliOptions::JournalAction::Report:
        return ReportCommand::run(options, config);
    case CliOptions::JournalAction::Status:
        return status(config);
    case CliOptions::JournalAction::Sync: {
        if (config.sharedUri.isEmpty()) {
            CliOutput::error(QStringLiteral("velmora-cli: journal sync: no shared journal is set (--journal, VELMORA_JOURNAL "
                                            "or the window's setting)"));
            return ExitCode::BadArguments;
        }
        Journal journal(config);
        QString error;
        const int sent = journal.sendWaiting(SharedBudgetMs, &error);
        if (sent < 0) {
            CliOutput::error(QStringLiteral("velmora-cli: journal sync: %1").arg(error));
            return ExitCode::JournalFailed;
        }
        const int left = waitingHere(config, &error);
        CliOutput::line(QStringLiteral("sent %1 record%2; %3 wait").arg(sent).arg(sent == 1 ? "" : "s").arg(qMax(0, left)));
        return ExitCode::Success;
    }
    }
    return ExitCode::BadArguments;
}

JournalFilter JournalCommand::filterOf(const CliOptions &options)
{
    JournalFilter filter;
    filter.since = options.since;
    filter.until = options.until;
    filter.cpuid = options.cpuid;
    filter.serial = options.serial;
    filter.unitSerial = options.unitSerial;
    filter.outcome = options.outcome;
    filter.station = options.station;
    JournalRecord::Kind kind;
    if (JournalRecord::kindFromName(options.kind, &kind))
        filter.kind = kind;
    return filter;
}
