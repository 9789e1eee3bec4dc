// Parses velmora-cli's sub-commands; every mistake becomes a one-line reason.
#include "CliOptions.h"

#include "Attempts.h"
#include "CatalogueIndex.h"
#include "JournalTime.h"
#include "ProductRows.h"
#include "UnitSerial.h"
#include "VelmoraVersion.h"

#include <QCommandLineParser>

namespace {

const char *const kExitStatuses =
    "Exit status:\n"
    "  0    success (flash: every port finished with RUN)\n"
    "  1    the calibration ran and failed (also when its check did not pass: check-failed), the\n"
    "       check did not pass, or journal report could not write its --html file\n"
    "  2    bad arguments\n"
    "  3    package unreadable or invalid, or refused by its signature (with --json the reason is\n"
    "       signature-invalid, signature-untrusted-key or unsigned)\n"
    "  4    no answer from the gimbal or its bootloader, or no such port; check: the gimbal never\n"
    "       kept still (the reason is said)\n"
    "  5    the package does not match the gimbal's chips\n"
    "  6    writing the firmware failed\n"
    "  7    the port exists but cannot be opened: permission denied (install the udev rule\n"
    "       60-velmora.rules or join the dialout group) or in use by another program; with\n"
    "       --json the reason is the \"openError\" field (permission-denied, in-use, other)\n"
    "  8    journal: the journal cannot be read, sync could not send what waits, or init could\n"
    "       not make or upgrade the tables\n"
    "  130  interrupted (Ctrl-C); nothing was reported as a success\n"
    "monitor exits with 4 if the gimbal never answered.\n"
    "flash with several ports exits with the status of the first port (in command-line order)\n"
    "that did not finish with RUN.\n"
    "station exits with 0 when every gimbal of the run ended updated or already up to date (one\n"
    "pulled out mid-write counts by its last attempt), 130 when a second Ctrl-C cancelled writes,\n"
    "else with the status of the first gimbal that did not (1 when --check did not see its new\n"
    "firmware running).\n";

struct CommandEntry
{
    const char *name;
    CliOptions::Command command;
    const char *synopsis;
    const char *description;
};

const CommandEntry kCommands[] = {
    {"ports", CliOptions::Command::Ports, "ports [--json]",
     "List the gimbal adapters (and VELMORA_VIRTUAL_PORTS) with name, description and serial number;\n"
     "on a terminal under a header, with - for a field the system does not report."},
    {"monitor", CliOptions::Command::Monitor, "monitor [--port P] --product ROW [--rate HZ] [--json | --csv]",
     "Print the live gyroscope (degree/s) and accelerometer (g) values, one line per sample, and the\n"
     "link state changes, until Ctrl-C. With --csv, standard output carries a header and one row per\n"
     "sample (the window's recording columns); the other lines go to standard error."},
    {"calibrate", CliOptions::Command::Calibrate, "calibrate [--port P] --product ROW [--limits FILE]",
     "Run the IMU calibration: a prompt for each of the six faces, the steps as they pass, the result.\n"
     "After the save the gimbal is checked where it rests, as check does: its figures, then the result\n"
     "(check-failed, status 1, when it did not pass). Ctrl-C cancels it; nothing more is written to the\n"
     "gimbal after that."},
    {"check", CliOptions::Command::Check, "check [--port P] --product ROW [--limits FILE] [--json]",
     "Check the gimbal at rest without calibrating it: wait up to 10 s for it to keep still, take two\n"
     "seconds of samples, and print each measurement (gravity reading, accelerometer noise,\n"
     "gyroscope bias and noise, tilt) with its value and limits, pass or FAIL, and the verdict.\n"
     "Status 0 when every measurement lies within its limits, 1 when one does not, 4 when the\n"
     "gimbal does not answer or never keeps still. The limits are the product's defaults, with\n"
     "/etc/velmora/limits.conf (or --limits FILE) laid over them; a file with a mistake is refused\n"
     "with its line (status 2). --json prints one object at the end."},
    {"flash", CliOptions::Command::Flash,
     "flash [--port P [--port Q ...]] --product ROW [--connect-timeout S] [--require-signed] [--unit-serial S] [--json] PACKAGE\n"
     "  flash [--port P ...] --product ROW --from-catalogue VERSION|latest [--allow-older] [--channel C]\n"
     "        [--catalogue URL] [--offline] [--connect-timeout S] [--require-signed] [--json]",
     "Write a .ptz package through the bootloader into the gimbal on every port, all in parallel.\n"
     "A signature beside the package (PACKAGE.minisig) must hold for a trusted key, or the package is\n"
     "refused before anything is sent (status 3); --require-signed refuses an unsigned one too.\n"
     "--from-catalogue lists the chips first, then takes the release that fits them from the maker's\n"
     "signed catalogue (as catalogue fetch does) and writes it; any refusal of the catalogue or its\n"
     "package exits 3 with its reason, nothing written, the gimbal left in its bootloader.\n"
     "--unit-serial (with one port) keeps the unit's own serial, from its label, in the record."},
    {"station", CliOptions::Command::Station,
     "station --package P --product ROW [--count N] [--check] [--connect-timeout S] [--require-signed]\n"
     "        [--count 1 --unit-serial S] [--json]\n"
     "  station --from-catalogue VERSION|latest [--allow-older] [--channel C] [--catalogue URL] [--offline]\n"
     "        --product ROW [the same options]",
     "Update every gimbal adapter that is plugged in, those present at the start too, each as flash\n"
     "does and in parallel, until Ctrl-C or until N gimbals have ended. The package is read and\n"
     "checked once, at the start. An adapter is updated once while it stays plugged in; pulled out\n"
     "and plugged in again, it starts over. The first Ctrl-C takes no more gimbals and lets the\n"
     "running ones finish; a second cancels them (RESTART). Every attempt lands in the journal, with\n"
     "the result of --check when it was asked for. The package's signature is checked as flash does.\n"
     "--from-catalogue takes each gimbal's release from the maker's catalogue once its chips are\n"
     "listed, as flash does (the index is checked once for the run).\n"
     "--unit-serial (with --count 1) keeps the unit's own serial in the gimbal's record. A station\n"
     "set to require a unit serial (station/require-serial) refuses to start without it (status 2)."},
    {"info", CliOptions::Command::Info, "info [--port P] --product ROW [--connect-timeout S] [--json]",
     "Connect to the bootloader and list its chips as the firmware tab does."},
    {"journal", CliOptions::Command::Journal,
     "journal [list | sync | status | init | report] [--since T] [--until T] [--cpuid HEX] [--serial HEX]\n"
     "              [--unit-serial S] [--outcome WORD] [--station NAME] [--kind update|calibration|check] [--limit N] [--local] [--utc]\n"
     "              [--csv | --json | --html FILE]",
     "List the journal's records of updates, calibrations and checks, newest first (list, the default), send\n"
     "the records that wait for the shared journal now (sync), or say where records go, whether the\n"
     "shared journal answers and may be written, and how many records wait (status). With a shared\n"
     "journal set, list and report read the shared one (with --local, or for list when it cannot be\n"
     "reached, this machine's records). init makes or upgrades the tables of the shared journal\n"
     "(else of the local file) and says their version: run it once as the shared database's owner, so that the\n"
     "stations' role needs only to insert and read. Times are shown in the local time zone with\n"
     "its offset (--utc: in UTC); --json and --csv give ISO 8601 UTC. T is a date or a time\n"
     "(2026-11-30, 2026-11-30T14:00, 2026-11-30 14:00:05 +08:00), local time unless it names a zone.\n"
     "report sums up the updates the filters keep: attempts, gimbals, first-pass and final yield,\n"
     "attempt times, failures by outcome (largest first), days and stations, calibrations; --json as\n"
     "one object, --csv the day and station rows, --html FILE a page with charts for a browser; on a\n"
     "shared journal it may take minutes over a large range (Ctrl-C ends it)."},
};

const CommandEntry *findCommand(const QString &name)
{
    for (const CommandEntry &entry : kCommands)
        if (name == QLatin1String(entry.name))
            return &entry;
    return nullptr;
}

bool takesPorts(CliOptions::Command c)
{
    return c != CliOptions::Command::Ports && c != CliOptions::Command::Journal && c != CliOptions::Command::Station;
}

bool usesJournal(CliOptions::Command c)
{
    return c == CliOptions::Command::Flash || c == CliOptions::Command::Calibrate || c == CliOptions::Command::Journal
           || c == CliOptions::Command::Station || c == CliOptions::Command::Check;
}

// A date (the day's start) or an ISO time; UTC unless the text gives an offset.
bool parseHex32(const QString &text, std::optional<uint32_t> *value)
{
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    bool ok = false;
    const qulonglong number = digits.toULongLong(&ok, 16);
    if (!ok || digits.isEmpty() || digits.size() > 8)
        return false;
    *value = uint32_t(number);
    return true;
}

QString commandHelp(const CommandEntry &entry, const QCommandLineParser &parser)
{
    QString text = QStringLiteral("Usage: velmora-cli %1\n%2\n\n").arg(QLatin1String(entry.synopsis),
                                                                        QLatin1String(entry.description));
    // The parser's own text begins with its usage line, which names the wrong program form.
    QString options = parser.helpText();
    const qsizetype at = options.indexOf(QLatin1String("Options:"));
    if (at >= 0)
        text += options.mid(at);
    if (takesPorts(entry.command) || entry.command == CliOptions::Command::Station)
        text += QStringLiteral("\nProducts (ROW):\n") + ProductRows::helpList();
    return text + QLatin1Char('\n') + QLatin1String(kExitStatuses);
}

CliOptions failure(const QString &reason)
{
    CliOptions options;
    options.error = reason;
    return options;
}

} // namespace

QString CliOptions::overview()
{
    QString text = QStringLiteral("Usage: velmora-cli COMMAND [options]\nThe gimbal tool without a window.\n\nCommands:\n");
    for (const CommandEntry &entry : kCommands)
        text += QStringLiteral("  velmora-cli %1\n").arg(QLatin1String(entry.synopsis));
    text += QStringLiteral("  velmora-cli catalogue list|fetch [VERSION|latest] [--hardware CODES] [--channel C] [--allow-older]\n"
                           "              [--catalogue URL] [--offline] [--json]\n");
    text += QStringLiteral("\n'velmora-cli COMMAND --help' describes one command; 'velmora-cli --version' shows the version.\n"
                           "--port may be left out when exactly one gimbal adapter is listed.\n"
                           "Debug lines are off: add --verbose to a command to see them, or choose\n"
                           "categories with QT_LOGGING_RULES, e.g. QT_LOGGING_RULES='velmora.stars.debug=true'.\n\n");
    return text + QLatin1String(kExitStatuses);
}

CliOptions CliOptions::parse(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return failure(QStringLiteral("no command given (try --help)"));
    const QString first = arguments.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") || first == QLatin1String("help")) {
        CliOptions options;
        options.help = overview();
        return options;
    }
    if (first == QLatin1String("--version")) {
        CliOptions options;
        options.help = QStringLiteral("velmora-cli " VELMORA_VERSION "\n");
        return options;
    }
    const CommandEntry *entry = findCommand(first);
    if (!entry)
        return failure(QStringLiteral("unknown command '%1' (try --help)").arg(first));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    // ports prints one object for the whole listing; the others one per event.
    const QCommandLineOption json(QStringLiteral("json"),
                                  entry->command == Command::Ports
                                      ? QStringLiteral("Print one JSON object, {\"ports\": [...]}, each port with its name, "
                                                       "description and serialNumber (empty when unknown).")
                                      : QStringLiteral("Print one JSON object per line."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  entry->command == Command::Flash ? QStringLiteral("Serial port (repeat for more gimbals).")
                                                                  : QStringLiteral("Serial port of the gimbal."),
                                  QStringLiteral("P"));
    const QCommandLineOption product(QStringLiteral("product"), QStringLiteral("Product row (0-8) or name."),
                                     QStringLiteral("ROW"));
    const QCommandLineOption rate(QStringLiteral("rate"), QStringLiteral("Samples per second, above 0 up to 50 (default 10)."),
                                  QStringLiteral("HZ"));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("Print a header and one comma-separated row per sample: time (s), "
                                                "gyroscope X Y Z (degree/s), accelerometer X Y Z (g), both moduli."));
    const QCommandLineOption timeout(QStringLiteral("connect-timeout"),
                                     QStringLiteral("Seconds to look for the bootloader (default 30)."), QStringLiteral("S"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Show the debug lines (or choose them with QT_LOGGING_RULES)."));
    parser.addOption(help);
    parser.addOption(verbose);
    const Command c = entry->command;
    if (c != Command::Calibrate)
        parser.addOption(json);
    if (takesPorts(c)) {
        parser.addOption(port);
        parser.addOption(product);
    }
    if (c == Command::Monitor) {
        parser.addOption(rate);
        parser.addOption(csv);
    }
    if (c == Command::Flash || c == Command::Info || c == Command::Station)
        parser.addOption(timeout);
    const QCommandLineOption limitsOption(QStringLiteral("limits"),
                                          QStringLiteral("The check's limits file (default /etc/velmora/limits.conf, if present)."),
                                          QStringLiteral("FILE"));
    if (c == Command::Check || c == Command::Calibrate)
        parser.addOption(limitsOption);
    const QCommandLineOption packageOption(QStringLiteral("package"), QStringLiteral("The .ptz firmware package."),
                                           QStringLiteral("P"));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("End once N gimbals have ended (default: run until Ctrl-C)."),
                                   QStringLiteral("N"));
    const QCommandLineOption check(QStringLiteral("check"),
                                   QStringLiteral("After RUN, wait up to 10 s for the new firmware's runtime link and six sensor values, "
                                                  "with an acceleration of 0.9 to 1.1 g (the gimbal lying still): running, no-answer "
                                                  "or implausible, shown and recorded; only a running one counts as updated."));
    if (c == Command::Station) {
        parser.addOption(check);
        parser.addOption(product);
        parser.addOption(packageOption);
        parser.addOption(count);
    }
    const QCommandLineOption journal(QStringLiteral("journal"),
                                     QStringLiteral("The shared journal, a PostgreSQL connection URI without a password "
                                                    "(postgresql://user@host/velmora); else VELMORA_JOURNAL or the window's setting."),
                                     QStringLiteral("URL"));
    const QCommandLineOption since(QStringLiteral("since"), QStringLiteral("Records started at or after T."), QStringLiteral("T"));
    const QCommandLineOption until(QStringLiteral("until"), QStringLiteral("Records started before T."), QStringLiteral("T"));
    const QCommandLineOption cpuid(QStringLiteral("cpuid"), QStringLiteral("Records of the chip with this cpuid (hex)."), QStringLiteral("HEX"));
    const QCommandLineOption serial(QStringLiteral("serial"), QStringLiteral("Records of the chip with this serial (hex)."), QStringLiteral("HEX"));
    const QCommandLineOption outcome(QStringLiteral("outcome"), QStringLiteral("Records with this outcome (success, cancelled, write-failed...)."),
                                     QStringLiteral("WORD"));
    const QCommandLineOption station(QStringLiteral("station"), QStringLiteral("Records of this station."), QStringLiteral("NAME"));
    const QCommandLineOption kind(QStringLiteral("kind"), QStringLiteral("update, calibration or check."), QStringLiteral("KIND"));
    const QCommandLineOption limit(QStringLiteral("limit"), QStringLiteral("At most N records."), QStringLiteral("N"));
    const QCommandLineOption utc(QStringLiteral("utc"), QStringLiteral("Show times in UTC rather than the local time zone."));
    const QCommandLineOption localOnly(QStringLiteral("local"),
                                       QStringLiteral("List or report this machine's journal file, also when a shared journal is set."));
    const QCommandLineOption journalCsv(QStringLiteral("csv"), QStringLiteral("Print a header and one comma-separated row per record."));
    const QCommandLineOption html(QStringLiteral("html"), QStringLiteral("report: write the report as one HTML page to FILE."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption unitSerial(QStringLiteral("unit-serial"), QStringLiteral("journal: records of the unit with this serial (from its label); flash, station: the unit's serial for the record."),
                                        QStringLiteral("S"));
    if (usesJournal(c))
        parser.addOption(journal);
    if (c == Command::Journal) {
        for (const QCommandLineOption &option : {since, until, cpuid, serial, unitSerial, outcome, station, kind, limit, utc, localOnly, journalCsv, html})
            parser.addOption(option);
        parser.addPositionalArgument(QStringLiteral("ACTION"), QStringLiteral("list (the default), sync, status, init or report."));
    }
    const QCommandLineOption requireSigned(QStringLiteral("require-signed"),
                                           QStringLiteral("Refuse a package that has no signature (PACKAGE.minisig)."));
    if (c == Command::Flash || c == Command::Station) {
        parser.addOption(requireSigned);
        parser.addOption(unitSerial);
    }
    const QCommandLineOption fromCatalogue(QStringLiteral("from-catalogue"),
                                           QStringLiteral("Take the release (latest or a version) that fits the listed chips from the catalogue."),
                                           QStringLiteral("VERSION"));
    const QCommandLineOption allowOlder(QStringLiteral("allow-older"), QStringLiteral("Accept a release older than the running firmware."));
    const QCommandLineOption channel(QStringLiteral("channel"), QStringLiteral("stable (the default setting) or another channel."),
                                     QStringLiteral("C"));
    const QCommandLineOption catalogue(QStringLiteral("catalogue"),
                                       QStringLiteral("The catalogue's URL or folder (else VELMORA_CATALOGUE or the setting)."),
                                       QStringLiteral("URL"));
    const QCommandLineOption offline(QStringLiteral("offline"), QStringLiteral("Use only what was fetched from the catalogue before."));
    if (c == Command::Flash || c == Command::Station) {
        for (const QCommandLineOption &option : {fromCatalogue, allowOlder, channel, catalogue, offline})
            parser.addOption(option);
    }
    if (c == Command::Flash)
        parser.addPositionalArgument(QStringLiteral("PACKAGE"), QStringLiteral("The .ptz firmware package."));

    if (!parser.parse(QStringList(QStringLiteral("velmora-cli")) + arguments.mid(1)))
        return failure(QStringLiteral("%1: %2").arg(first, parser.errorText()));
    CliOptions options;
    options.command = c;
    if (parser.isSet(help)) {
        options.help = commandHelp(*entry, parser);
        return options;
    }
    options.json = c != Command::Calibrate && parser.isSet(json);
    options.csv = (c == Command::Monitor && parser.isSet(csv)) || (c == Command::Journal && parser.isSet(journalCsv));
    if (options.json && options.csv)
        return failure(QStringLiteral("%1: --json and --csv exclude each other").arg(first));
    options.verbose = parser.isSet(verbose);
    if ((c == Command::Check || c == Command::Calibrate) && parser.isSet(limitsOption)) {
        options.limitsFile = parser.value(limitsOption);
        if (options.limitsFile.isEmpty())
            return failure(QStringLiteral("%1: --limits needs a file").arg(first));
    }

    const QStringList positional = parser.positionalArguments();
    if (usesJournal(c) && parser.isSet(journal)) {
        options.journalUri = parser.value(journal);
        if (options.journalUri.isEmpty())
            return failure(QStringLiteral("%1: --journal needs a postgresql:// URI").arg(first));
    }
    if (c == Command::Journal) {
        const QString action = positional.value(0, QStringLiteral("list"));
        if (positional.size() > 1)
            return failure(QStringLiteral("journal: one action only, got '%1'").arg(positional.join(QLatin1Char(' '))));
        if (action == QLatin1String("list"))
            options.journalAction = JournalAction::List;
        else if (action == QLatin1String("sync"))
            options.journalAction = JournalAction::Sync;
        else if (action == QLatin1String("status"))
            options.journalAction = JournalAction::Status;
        else if (action == QLatin1String("init"))
            options.journalAction = JournalAction::Init;
        else if (action == QLatin1String("report"))
            options.journalAction = JournalAction::Report;
        else
            return failure(QStringLiteral("journal: no action '%1' (list, sync, status, init or report)").arg(action));
        if (parser.isSet(html)) {
            options.htmlFile = parser.value(html);
            if (options.journalAction != JournalAction::Report)
                return failure(QStringLiteral("journal: --html is for report only"));
            if (options.htmlFile.isEmpty() || options.json || options.csv)
                return failure(QStringLiteral("journal: --html needs a file, and excludes --json and --csv"));
        }
        for (const auto &[option, target] : {std::pair{&since, &options.since}, std::pair{&until, &options.until}}) {
            if (!parser.isSet(*option))
                continue;
            *target = JournalTime::parse(parser.value(*option));
            if (!target->isValid())
                return failure(QStringLiteral("journal: --%1 must be a date or an ISO time, not '%2'")
                                   .arg(option->names().first(), parser.value(*option)));
        }
        if (parser.isSet(cpuid) && !parseHex32(parser.value(cpuid), &options.cpuid))
            return failure(QStringLiteral("journal: --cpuid must be up to 8 hex digits, not '%1'").arg(parser.value(cpuid)));
        options.unitSerial = parser.value(unitSerial).trimmed();
        if (parser.isSet(serial) && !parseHex32(parser.value(serial), &options.serial))
            return failure(QStringLiteral("journal: --serial must be up to 8 hex digits, not '%1'").arg(parser.value(serial)));
        options.outcome = parser.value(outcome);
        options.station = parser.value(station);
        options.kind = parser.value(kind);
        JournalRecord::Kind kindValue;
        if (!options.kind.isEmpty() && !JournalRecord::kindFromName(options.kind, &kindValue))
            return failure(QStringLiteral("journal: --kind must be update, calibration or check, not '%1'").arg(options.kind));
        // A word no record can carry would list nothing and look like an empty journal.
        const QStringList outcomes = JournalWords::outcomes();
        if (!options.outcome.isEmpty() && !outcomes.contains(options.outcome))
            return failure(QStringLiteral("journal: --outcome must be one of %1; not '%2'")
                               .arg(outcomes.join(QLatin1Char(' ')), options.outcome));
        options.utc = parser.isSet(utc);
        options.localOnly = parser.isSet(localOnly);
        if (parser.isSet(limit)) {
            bool ok = false;
            options.limit = parser.value(limit).toInt(&ok);
            if (!ok || options.limit < 0)
                return failure(QStringLiteral("journal: --limit must be a count, not '%1'").arg(parser.value(limit)));
        }
        return options;
    }
    // flash and station take the same catalogue options; empty when they are sound.
    const auto takeCatalogue = [&]() -> QString {
        if (!parser.isSet(fromCatalogue)) {
            for (const QCommandLineOption *option : {&allowOlder, &channel, &catalogue, &offline})
                if (parser.isSet(*option))
                    return QStringLiteral("%1: --%2 goes with --from-catalogue").arg(first, option->names().first());
            return QString();
        }
        options.fromCatalogue = parser.value(fromCatalogue);
        if (options.fromCatalogue != QLatin1String("latest") && !CatalogueVersions::valid(options.fromCatalogue))
            return QStringLiteral("%1: --from-catalogue takes latest or a version such as 1.07, not '%2'").arg(first, options.fromCatalogue);
        if (parser.isSet(channel) && parser.value(channel).isEmpty())
            return QStringLiteral("%1: --channel needs a name").arg(first);
        options.catalogue = parser.value(catalogue);
        options.channel = parser.value(channel);
        options.allowOlder = parser.isSet(allowOlder);
        options.offline = parser.isSet(offline);
        return QString();
    };
    if (c == Command::Flash || c == Command::Station) {
        const QString mistake = takeCatalogue();
        if (!mistake.isEmpty())
            return failure(mistake);
    }
    if (c == Command::Flash && parser.isSet(fromCatalogue)) {
        if (!positional.isEmpty())
            return failure(QStringLiteral("flash: --from-catalogue and a package file exclude each other"));
        options.requireSigned = parser.isSet(requireSigned);
    } else if (c == Command::Flash) {
        if (positional.isEmpty())
            return failure(QStringLiteral("flash: no package given"));
        if (positional.size() > 1)
            return failure(QStringLiteral("flash: one package only, got '%1'").arg(positional.join(QLatin1Char(' '))));
        options.package = positional.first();
        options.requireSigned = parser.isSet(requireSigned);
    } else if (!positional.isEmpty()) {
        return failure(QStringLiteral("%1: unexpected argument '%2'").arg(first, positional.first()));
    }
    if (c == Command::Station) {
        if (parser.isSet(fromCatalogue) && parser.isSet(packageOption))
            return failure(QStringLiteral("station: --from-catalogue and --package exclude each other"));
        if (!parser.isSet(fromCatalogue) && (parser.values(packageOption).size() != 1 || parser.value(packageOption).isEmpty()))
            return failure(QStringLiteral("station: one --package is required (or --from-catalogue)"));
        options.package = parser.value(packageOption);
        options.check = parser.isSet(check);
        options.requireSigned = parser.isSet(requireSigned);
        if (parser.isSet(count)) {
            bool ok = false;
            options.count = parser.value(count).toInt(&ok);
            if (!ok || options.count < 1)
                return failure(QStringLiteral("station: --count must be a whole number from 1, not '%1'").arg(parser.value(count)));
        }
    } else if (!takesPorts(c)) {
        return options;
    }
    if ((c == Command::Flash || c == Command::Station) && parser.isSet(unitSerial)) {
        options.unitSerial = UnitSerial::normalized(parser.value(unitSerial));
        if (options.unitSerial.isEmpty())
            return failure(QStringLiteral("%1: --unit-serial takes 1 to %2 letters, digits or signs, without spaces; not '%3'")
                               .arg(first)
                               .arg(UnitSerial::MaxLength)
                               .arg(parser.value(unitSerial)));
        if (c == Command::Station && options.count != 1)
            return failure(QStringLiteral("station: --unit-serial names one gimbal: it goes with --count 1"));
        if (c == Command::Flash && parser.values(port).size() != 1)
            return failure(QStringLiteral("flash: --unit-serial names one gimbal: it goes with one --port"));
    }

    // No --port: the only listed adapter is taken later (PortChoice), or the command fails there.
    if (c != Command::Station)
        options.ports = parser.values(port);
    if (c != Command::Flash && options.ports.size() > 1)
        return failure(QStringLiteral("%1: only one --port").arg(first));
    for (const QString &name : std::as_const(options.ports)) {
        if (name.isEmpty())
            return failure(QStringLiteral("%1: empty port name").arg(first));
        if (options.ports.count(name) > 1)
            return failure(QStringLiteral("%1: port '%2' given twice").arg(first, name));
    }
    if (!parser.isSet(product))
        return failure(QStringLiteral("%1: --product is required").arg(first));
    if (parser.values(product).size() > 1)
        return failure(QStringLiteral("%1: only one --product").arg(first));
    options.productRow = ProductRows::parse(parser.value(product));
    if (options.productRow < 0)
        return failure(QStringLiteral("%1: no product row '%2' (0 to %3)").arg(first, parser.value(product)).arg(ProductRows::RowCount - 1));

    if (c == Command::Monitor && parser.isSet(rate)) {
        bool ok = false;
        options.rateHz = parser.value(rate).toDouble(&ok);
        if (!ok || !(options.rateHz > 0.0) || options.rateHz > 50.0)
            return failure(QStringLiteral("monitor: --rate must be above 0 and at most 50, not '%1'").arg(parser.value(rate)));
    }
    if ((c == Command::Flash || c == Command::Info || c == Command::Station) && parser.isSet(timeout)) {
        bool ok = false;
        const double seconds = parser.value(timeout).toDouble(&ok);
        if (!ok || !(seconds > 0.0) || seconds > 3600.0)
            return failure(QStringLiteral("%1: --connect-timeout must be above 0 and at most 3600 seconds, not '%2'")
                               .arg(first, parser.value(timeout)));
        options.connectTimeoutMs = qMax(1, int(seconds * 1000.0));
    }
    return options;
}
