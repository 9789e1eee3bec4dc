// Where records go: the local SQLite file, the shared PostgreSQL database if one is set, the station.
#pragma once

#include <QString>
#include <QUrl>

struct JournalConfig
{
    QString localPath; // the SQLite file
    QString sharedUri; // a libpq connection URI; empty when records stay on this machine
    QString station;

    // What a command gives the shared journal: to connect, and for each statement of a listing,
    // a write or an upgrade check. A report's statements get far longer on the server: they read
    // every record of their range (Ctrl-C ends them sooner).
    static constexpr int SharedBudgetMs = 2500;
    static constexpr int ReportBudgetMs = 10 * 60 * 1000;

    // From, in this order: `uriOption` (--journal), VELMORA_JOURNAL, the settings key
    // "journal/url"; the station from VELMORA_STATION, "journal/station", else the host name;
    // the file from VELMORA_JOURNAL_FILE, else journal.sqlite in the window's data location
    // (~/.local/share/Velmora/Velmora), which velmora-cli shares.
    static JournalConfig resolve(const QString &uriOption = QString());

    // Empty when `uri` may be used; otherwise why not. A password in the URI is refused: it
    // would sit in plain text in the settings, the environment or the command line.
    static QString checkSharedUri(const QString &uri);
    // Whether `url` names a PostgreSQL database (postgresql:// or postgres://).
    static bool isConnectionUri(const QUrl &url);
    // The URI as it may be shown: a password in it, in the user part or as a parameter, is
    // shown as "***" (checkSharedUri refuses such URIs, and its refusal shows them so).
    static QString describe(const QString &uri);
};
