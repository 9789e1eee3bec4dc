// velmora-cli entry: English texts, argument parsing, the chosen command and Ctrl-C.
#include "CalibrateCommand.h"
#include "CheckCommand.h"
#include "CatalogueCommand.h"
#include "CliOptions.h"
#include "CliOutput.h"
#include "ExitCode.h"
#include "FlashCommand.h"
#include "InfoCommand.h"
#include "InterruptWatcher.h"
#include "Journal.h"
#include "JournalCommand.h"
#include "MonitorCommand.h"
#include "PortChoice.h"
#include "PortsCommand.h"
#include "StationCommand.h"
#include "SystemPortEnumerator.h"

#include <QCoreApplication>
#include <QTranslator>
#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-cli"));
    CliOutput::installMessageHandler();

    // The messages are the translation's English texts, whatever the locale.
    QTranslator english;
    if (english.load(QStringLiteral(":/en_US")))
        QCoreApplication::installTranslator(&english);

    if (app.arguments().value(1) == QLatin1String("catalogue"))
        return CatalogueCommand::run(app.arguments().mid(1));
    CliOptions options = CliOptions::parse(app.arguments().mid(1));
    CliOutput::setVerbose(options.verbose);
    if (!options.error.isEmpty()) {
        CliOutput::error(QStringLiteral("velmora-cli: ") + options.error);
        return ExitCode::BadArguments;
    }
    if (!options.help.isEmpty()) {
        CliOutput::raw(options.help);
        return ExitCode::Success;
    }
    if (options.command == CliOptions::Command::Ports)
        return PortsCommand::run(options.json);
    // The long-running commands (the station, the monitor) send records while they run, as the
    // window does, so that a line's server hears of each gimbal within seconds.
    const bool longRunning = options.command == CliOptions::Command::Station || options.command == CliOptions::Command::Monitor;
    const bool journals = longRunning || options.command == CliOptions::Command::Flash
                          || options.command == CliOptions::Command::Calibrate || options.command == CliOptions::Command::Journal
                          || options.command == CliOptions::Command::Check;
    const JournalConfig journalConfig = JournalConfig::resolve(options.journalUri);
    if (journals && !journalConfig.sharedUri.isEmpty()) {
        const QString refusal = JournalConfig::checkSharedUri(journalConfig.sharedUri);
        if (!refusal.isEmpty()) {
            CliOutput::error(QStringLiteral("velmora-cli: journal: ") + refusal);
            return ExitCode::BadArguments;
        }
    }
    if (options.command == CliOptions::Command::Journal)
        return JournalCommand::run(options);
    if (options.ports.isEmpty() && options.command != CliOptions::Command::Station) {
        QString reason;
        const QString only = PortChoice::onlyAdapter(SystemPortEnumerator().availablePorts(), &reason);
        const QString command = app.arguments().value(1);
        if (only.isEmpty()) {
            CliOutput::error(QStringLiteral("velmora-cli: %1: %2").arg(command, reason));
            return ExitCode::BadArguments;
        }
        // Said on standard error, so that output meant for a script stays as it was.
        CliOutput::error(QStringLiteral("velmora-cli: %1: using %2, the only gimbal adapter listed").arg(command, only));
        options.ports = QStringList{only};
    }

    std::unique_ptr<Command> command;
    switch (options.command) {
    case CliOptions::Command::Monitor: command = std::make_unique<MonitorCommand>(options); break;
    case CliOptions::Command::Calibrate: command = std::make_unique<CalibrateCommand>(options); break;
    case CliOptions::Command::Check: command = std::make_unique<CheckCommand>(options); break;
    case CliOptions::Command::Flash: command = std::make_unique<FlashCommand>(options); break;
    case CliOptions::Command::Info: command = std::make_unique<InfoCommand>(options); break;
    case CliOptions::Command::Station: command = std::make_unique<StationCommand>(options); break;
    default: return ExitCode::BadArguments;
    }

    // Every attempt of flash, station, calibrate and check lands in the journal; a journal that cannot be
    // written, or a shared one that cannot be reached, never stops them, and says why once. The
    // words name the local file or the server, so a record not written and one waiting to be
    // sent are told apart.
    std::unique_ptr<Journal> journal;
    if (journals) {
        journal = std::make_unique<Journal>(journalConfig);
        QObject::connect(journal.get(), &Journal::problem, [said = QString()](const QString &why) mutable {
            if (why == said)
                return;
            said = why;
            CliOutput::error(QStringLiteral("velmora-cli: journal: ") + why);
        });
        command->setJournal(journal.get());
        if (longRunning)
            journal->startSending();
    }

    InterruptWatcher watcher;
    bool interrupted = false;
    QObject::connect(&watcher, &InterruptWatcher::interrupted, command.get(), [&] {
        if (interrupted) {
            command->interruptAgain();
            return;
        }
        interrupted = true;
        command->interrupt();
    });
    // Queued, so a command that finishes inside start() still ends the loop that follows.
    QObject::connect(command.get(), &Command::finished, &app, [](int code) { QCoreApplication::exit(code); },
                     Qt::QueuedConnection);
    command->start();
    const int code = app.exec();
    command.reset();
    if (journal && journal->hasShared()) {
        // What waits goes now, giving the server about 2 s; what it did not take waits for
        // the next command or `journal sync`.
        QString error;
        if (journal->sendWaiting(JournalConfig::SharedBudgetMs, &error) < 0)
            CliOutput::error(QStringLiteral("velmora-cli: journal: %1; the records wait for 'velmora-cli journal sync'").arg(error));
    }
    Journal::exitIfSenderAbandoned(code);
    return code;
}
