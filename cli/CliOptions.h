// The command line of velmora-cli: sub-command, options and their checks.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

struct CliOptions
{
    enum class Command { None, Ports, Monitor, Calibrate, Check, Flash, Info, Journal, Station };
    enum class JournalAction { List, Sync, Status, Init, Report };

    Command command = Command::None;
    QStringList ports;
    int productRow = -1;
    double rateHz = 10.0;
    int connectTimeoutMs = 30000;
    bool json = false;
    bool csv = false; // monitor: comma-separated rows on standard output
    bool verbose = false;
    QString package;
    // flash: refuse a package without a signature (also when /etc/velmora/require-signed exists).
    bool requireSigned = false;
    QString unitSerial; // flash (one port) and station (--count 1): the unit's own serial
    // flash --from-catalogue: the release ("latest" or a version) instead of a package file,
    // taken from the catalogue (--catalogue, else VELMORA_CATALOGUE or the setting) for the
    // listed chips; --channel (else the setting), --allow-older, --offline as catalogue fetch.
    QString fromCatalogue;
    QString catalogue;
    QString channel;
    bool allowOlder = false;
    bool offline = false;
    // station: end once this many gimbals have ended (0: run until Ctrl-C).
    int count = 0;
    // station: check after each update that the new firmware runs.
    bool check = false;
    // check, calibrate --limits: the check's limits file (else the machine's, else the defaults).
    QString limitsFile;
    // --journal: the shared journal's URI (else VELMORA_JOURNAL or the settings).
    QString journalUri;
    // journal: what to do, and the listing's filters (unset ones do not filter).
    JournalAction journalAction = JournalAction::List;
    QDateTime since;
    QDateTime until;
    std::optional<uint32_t> cpuid;
    std::optional<uint32_t> serial;
    QString outcome;
    QString station;
    QString kind;
    int limit = -1;
    // journal: show times in UTC; list the local file even when a shared journal is set.
    bool utc = false;
    bool localOnly = false;
    // journal report --html: the file to write the report into.
    QString htmlFile;

    // Empty unless parsing failed: then a one-line reason for the user.
    QString error;
    // Set when --help or --version was asked for: the text to print (exit status 0).
    QString help;

    // Parses the arguments after the program name.
    static CliOptions parse(const QStringList &arguments);
    // The overview of all sub-commands, with the exit statuses.
    static QString overview();
};
