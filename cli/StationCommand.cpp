// Takes adapters as they appear, runs one flash session each, and keeps the tally.
#include "StationCommand.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "FirmwareCheck.h"
#include "FlashCommand.h"
#include "FlashSession.h"
#include "Journal.h"
#include "ProductRows.h"
#include "SystemPortEnumerator.h"

#include <QFileInfo>

StationCommand::StationCommand(const CliOptions &opts, QObject *parent)
    : Command(parent)
    , options(opts)
{
}

StationCommand::~StationCommand()
{
    ports.reset();
    for (const Adapter &adapter : std::as_const(adapters)) {
        delete adapter.check;
        delete adapter.session;
    }
}

void StationCommand::start()
{
    // Every gimbal of the run gets these bytes, read and checked once, here.
    package = FlashCommand::admitPackage(options, journal);
    if (!package) {
        emit finished(ExitCode::BadPackage);
        return;
    }
    multiChip = ProductRows::row(options.productRow).multiChip;
    const StationDisplay::Mode mode = options.json ? StationDisplay::Mode::Json
                                      : CliOutput::isTerminal() ? StationDisplay::Mode::Terminal
                                                                : StationDisplay::Mode::Plain;
    display = std::make_unique<StationDisplay>(mode);
    display->started(QFileInfo(options.package).fileName(), options.count);
    ports = std::make_unique<SystemPortEnumerator>();
    // udev's events and the directory notices wake the station; with neither it compares the
    // tty list now and then, as the window does.
    connect(ports.get(), &PortEnumerator::deviceDiscovered, this, &StationCommand::take);
    connect(ports.get(), &PortEnumerator::deviceRemoved, this, &StationCommand::onRemoved);
    for (const PortInfo &info : ports->availablePorts())
        take(info);
}

int StationCommand::busyCount() const
{
    int busy = 0;
    for (const Adapter &adapter : adapters)
        busy += adapter.phase == Adapter::Phase::Updating || adapter.phase == Adapter::Phase::Checking;
    return busy;
}

bool StationCommand::takesMore() const
{
    return !stopping && (options.count <= 0 || tally.gimbalsEnded() + busyCount() < options.count);
}

void StationCommand::take(const PortInfo &info)
{
    if (!isGimbalAdapter(info))
        return;
    Adapter &adapter = adapters[info.portName];
    adapter.plugged = true;
    adapter.serial = info.serialNumber;
    if (adapter.phase != Adapter::Phase::Waiting || !takesMore())
        return;
    auto *session = new FlashSession(info.portName, multiChip, options.connectTimeoutMs, package);
    if (journal)
        session->recordAttempt(options.productRow, info.serialNumber);
    adapter.session = session;
    adapter.phase = Adapter::Phase::Updating;
    display->taken(info.portName, info.serialNumber);
    connect(session, &FlashSession::changed, this, [this, session](FlashSession::Change change) {
        if (change != FlashSession::Change::Done)
            display->update(session, change);
    });
    const QString port = info.portName;
    connect(session, &FlashSession::finished, this, [this, port] { onSessionFinished(port); }, Qt::QueuedConnection);
    session->start();
}

void StationCommand::onRemoved(const PortInfo &info)
{
    if (!isGimbalAdapter(info) || !adapters.contains(info.portName))
        return;
    Adapter &adapter = adapters[info.portName];
    adapter.plugged = false;
    switch (adapter.phase) {
    case Adapter::Phase::Updating:
        adapter.session->portRemoved(); // its line goes once its end is shown
        return;
    case Adapter::Phase::Checking:
        adapter.check->cancel();
        return;
    case Adapter::Phase::Waiting:
    case Adapter::Phase::Done:
        break;
    }
    adapters.remove(info.portName);
    display->removed(info.portName);
}

void StationCommand::onSessionFinished(const QString &port)
{
    Adapter &adapter = adapters[port];
    if (adapter.phase != Adapter::Phase::Updating)
        return;
    const bool updated = adapter.session->exitCode() == ExitCode::Success;
    if (!options.check || !updated) {
        conclude(port, BootCheck::NotChecked);
        return;
    }
    if (!adapter.plugged) {
        conclude(port, BootCheck::Cancelled);
        return;
    }
    adapter.phase = Adapter::Phase::Checking;
    adapter.check = new FirmwareCheck(port, options.productRow, FirmwareCheck::DefaultTimeoutMs);
    connect(adapter.check, &FirmwareCheck::finished, this,
            [this, port](BootCheck result, double g) { onCheckFinished(port, result, g); }, Qt::QueuedConnection);
    display->checking(port);
    adapter.check->start();
}

void StationCommand::onCheckFinished(const QString &port, BootCheck result, double accelerationG)
{
    Adapter &adapter = adapters[port];
    if (adapter.phase != Adapter::Phase::Checking)
        return;
    adapter.check->deleteLater();
    adapter.check = nullptr;
    display->checked(port, UpdateAttempt::checkName(result), accelerationG);
    conclude(port, result);
}

void StationCommand::conclude(const QString &port, BootCheck check)
{
    Adapter &adapter = adapters[port];
    FlashSession *session = adapter.session;
    const bool checkFailed = check != BootCheck::NotChecked && check != BootCheck::Running;
    const bool success = session->exitCode() == ExitCode::Success && !checkFailed;
    const bool upToDate = success && session->wroteNothing();
    const StationTally::Result result = upToDate ? StationTally::Result::UpToDate
                                        : success ? StationTally::Result::Updated
                                                  : StationTally::Result::Failed;
    // A new firmware that does not run fails the gimbal, though its write went well.
    tally.add(session->gimbalIdentity(), result, checkFailed ? ExitCode::Failed : session->exitCode(),
              session->end() == FlashSession::End::PortLost);
    if (session->end() == FlashSession::End::Interrupted)
        cancelled = true;
    if (journal)
        journal->record(session->record(check));
    static const char *const words[] = {"updated", "up-to-date", "failed"};
    display->ended(session, QLatin1String(words[int(result)]), UpdateAttempt::checkName(check), tally.counts());
    session->deleteLater();
    adapter.session = nullptr;
    // Still plugged in: not taken again until it leaves. Gone already: its line goes.
    if (adapter.plugged) {
        adapter.phase = Adapter::Phase::Done;
    } else {
        adapters.remove(port);
        display->removed(port);
    }
    if (options.count > 0 && tally.gimbalsEnded() >= options.count)
        stopping = true;
    endIfDone();
}

void StationCommand::interrupt()
{
    if (stopping && busyCount() == 0) {
        endIfDone();
        return;
    }
    stopping = true;
    if (display && busyCount() > 0)
        display->stopping(false, busyCount());
    endIfDone();
}

void StationCommand::interruptAgain()
{
    if (!display || busyCount() == 0)
        return;
    display->stopping(true, busyCount());
    cancelled = true;
    for (const Adapter &adapter : std::as_const(adapters)) {
        if (adapter.phase == Adapter::Phase::Updating)
            adapter.session->interrupt();
        else if (adapter.phase == Adapter::Phase::Checking)
            adapter.check->cancel();
    }
}

void StationCommand::endIfDone()
{
    if (ended || !display || !stopping || busyCount() > 0)
        return;
    ended = true;
    ports.reset();
    const int code = tally.exitStatus(cancelled);
    display->summary(tally.counts(), code);
    emit finished(code);
}
