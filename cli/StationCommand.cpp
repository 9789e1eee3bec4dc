// Draws the station's events on the terminal and writes its records to the journal.
#include "StationCommand.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "FlashCommand.h"
#include "Journal.h"
#include "UnitSerial.h"

#include <QFileInfo>

StationCommand::StationCommand(const CliOptions &opts, QObject *parent)
    : Command(parent)
    , options(opts)
{
}

StationCommand::~StationCommand() = default;

void StationCommand::start()
{
    // A line that ties every gimbal to its unit's serial gets no gimbal without one.
    const bool serialRequired = UnitSerial::required();
    if (serialRequired && options.unitSerial.isEmpty()) {
        CliOutput::error(QStringLiteral("velmora-cli: station: this station requires a unit serial for each gimbal "
                                        "(station/require-serial): give it with --count 1 --unit-serial S, or use the station window's scan field"));
        emit finished(ExitCode::BadArguments);
        return;
    }
    Station::Settings settings;
    std::optional<CheckedPackage> package;
    if (!options.fromCatalogue.isEmpty()) {
        // Each gimbal gets the catalogue's release for the chips it lists.
        settings.catalogueClient = FlashCommand::catalogueSettings(options);
        if (!settings.catalogueClient) {
            emit finished(ExitCode::BadArguments);
            return;
        }
        settings.catalogueRequest = FlashCommand::catalogueRequest(options);
    } else if (!(package = FlashCommand::admitPackage(options, journal))) {
        // Every gimbal of the run gets these bytes, read and checked once, here.
        emit finished(ExitCode::BadPackage);
        return;
    }
    const StationDisplay::Mode mode = options.json ? StationDisplay::Mode::Json
                                      : CliOutput::isTerminal() ? StationDisplay::Mode::Terminal
                                                                : StationDisplay::Mode::Plain;
    display = std::make_unique<StationDisplay>(mode);
    display->started(package ? QFileInfo(options.package).fileName() : QStringLiteral("catalogue %1").arg(options.fromCatalogue), options.count);
    settings.productRow = options.productRow;
    settings.connectTimeoutMs = options.connectTimeoutMs;
    settings.count = options.count;
    settings.check = options.check;
    settings.recordAttempts = journal != nullptr;
    settings.requireSerial = serialRequired;
    station = std::make_unique<Station>(settings, package);
    if (!options.unitSerial.isEmpty())
        station->tieSerial(options.unitSerial);
    connect(station.get(), &Station::adapterTaken, this,
            [this](const QString &port, const QString &serial) { display->taken(port, serial); });
    connect(station.get(), &Station::sessionChanged, this,
            [this](const QString &port, FlashSession::Change change) { display->update(station->session(port), change); });
    connect(station.get(), &Station::catalogueAnswered, this,
            [this](const QString &port, const CatalogueResult &result) { FlashCommand::sayCatalogue(port, result, options.json); });
    connect(station.get(), &Station::checkStarted, this, [this](const QString &port) { display->checking(port); });
    connect(station.get(), &Station::checkEnded, this, [this](const QString &port, BootCheck result, double g) {
        display->checked(port, UpdateAttempt::checkName(result), g);
    });
    connect(station.get(), &Station::attemptConcluded, this, &StationCommand::onConcluded);
    connect(station.get(), &Station::adapterGone, this, [this](const QString &port) { display->removed(port); });
    connect(station.get(), &Station::finished, this, [this](int code) {
        display->summary(station->counts(), code);
        emit finished(code);
    });
    station->start();
}

void StationCommand::onConcluded(const QString &port, const JournalRecord &record, Station::Result result, BootCheck check)
{
    if (journal)
        journal->record(record);
    display->ended(station->session(port), Station::resultName(result), UpdateAttempt::checkName(check), station->counts());
}

void StationCommand::interrupt()
{
    if (!station)
        return;
    if (station->busyCount() > 0)
        display->stopping(false, station->busyCount());
    station->stop();
}

void StationCommand::interruptAgain()
{
    if (!station || station->busyCount() == 0)
        return;
    display->stopping(true, station->busyCount());
    station->cancel();
}
