// Takes adapters as they appear, runs one flash session each, and keeps the tally.
#include "StationCommand.h"

#include "CliOutput.h"
#include "ExitCode.h"
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
    qDeleteAll(checking);
    qDeleteAll(running);
}

void StationCommand::start()
{
    const QString problem = FlashCommand::checkPackage(options.package, &packageBytes);
    if (!problem.isEmpty()) {
        CliOutput::error(problem);
        emit finished(ExitCode::BadPackage);
        return;
    }
    // Every gimbal of the run gets these bytes, whose signature is checked once, here.
    if (!FlashCommand::checkSignature(options, packageBytes, &signature)) {
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

bool StationCommand::takesMore() const
{
    return !stopping && (options.count <= 0 || gimbalsEnded + busyCount() < options.count);
}

void StationCommand::take(const PortInfo &info)
{
    if (!isGimbalAdapter(info))
        return;
    serials.insert(info.portName, info.serialNumber);
    if (!takesMore() || running.contains(info.portName) || checking.contains(info.portName)
        || finishedPlugged.contains(info.portName))
        return;
    auto *session = new FlashSession(info.portName, multiChip, options.connectTimeoutMs, options.package);
    session->usePackageBytes(packageBytes);
    if (journal) {
        session->recordAttempt(options.productRow, info.serialNumber, packageBytes, signature);
        // With --check the record waits for the check's result: one record per attempt.
        if (options.check)
            connect(session, &FlashSession::attemptEnded, this, [this, session](const JournalRecord &record) { held.insert(session, record); });
        else
            connect(session, &FlashSession::attemptEnded, journal, &Journal::record);
    }
    running.insert(info.portName, session);
    display->taken(info.portName, info.serialNumber);
    connect(session, &FlashSession::changed, this, [this, session](const QString &kind) {
        if (kind != QLatin1String("done"))
            display->update(session, kind);
    });
    connect(session, &FlashSession::finished, this, [this, session] { onSessionFinished(session); }, Qt::QueuedConnection);
    session->start();
}

void StationCommand::onRemoved(const PortInfo &info)
{
    if (!isGimbalAdapter(info))
        return;
    serials.remove(info.portName);
    finishedPlugged.remove(info.portName);
    if (FlashSession *session = running.value(info.portName)) {
        session->portRemoved();
        return; // its line goes once its end is shown
    }
    if (FirmwareCheck *check = checking.value(info.portName)) {
        check->cancel();
        return;
    }
    display->removed(info.portName);
}

void StationCommand::onSessionFinished(FlashSession *session)
{
    const QString port = session->portName();
    if (running.value(port) != session)
        return;
    running.remove(port);
    if (options.check && session->exitCode() == ExitCode::Success && serials.contains(port)) {
        auto *check = new FirmwareCheck(port, options.productRow, FirmwareCheck::DefaultTimeoutMs);
        checking.insert(port, check);
        connect(check, &FirmwareCheck::finished, this,
                [this, session](FirmwareCheck::Result result, double g) { onCheckFinished(session, result, g); },
                Qt::QueuedConnection);
        display->checking(port);
        check->start();
        return;
    }
    conclude(session, options.check && session->exitCode() == ExitCode::Success ? FirmwareCheck::resultName(FirmwareCheck::Result::Cancelled)
                                                                                : QString());
}

void StationCommand::onCheckFinished(FlashSession *session, FirmwareCheck::Result result, double accelerationG)
{
    FirmwareCheck *check = checking.take(session->portName());
    if (check)
        check->deleteLater();
    display->checked(session->portName(), FirmwareCheck::resultName(result), accelerationG);
    conclude(session, FirmwareCheck::resultName(result));
}

void StationCommand::conclude(FlashSession *session, const QString &checkWord)
{
    const QString port = session->portName();
    const bool pulled = session->reason() == QLatin1String("port-lost");
    const bool checkFailed = !checkWord.isEmpty() && checkWord != FirmwareCheck::resultName(FirmwareCheck::Result::Running);
    const bool success = session->exitCode() == ExitCode::Success && !checkFailed;
    // A new firmware that does not run fails the gimbal, though its write went well.
    const int status = checkFailed ? ExitCode::Failed : session->exitCode();
    const bool upToDate = success && session->chipCount() > 0 && session->chipsUpToDate() == session->chipCount();
    QString result = QStringLiteral("failed");
    if (upToDate) {
        ++tally.upToDate;
        result = QStringLiteral("up-to-date");
    } else if (success) {
        ++tally.updated;
        result = QStringLiteral("updated");
    } else {
        ++tally.failed;
    }
    // A gimbal pulled out comes back and is counted when its next attempt ends.
    if (!pulled)
        ++gimbalsEnded;
    if (session->reason() == QLatin1String("interrupted"))
        cancelled = true;
    const QString gimbal = session->gimbalIdentity();
    if (gimbal.isEmpty()) {
        if (!success)
            unidentifiedFailures.append(status);
    } else {
        if (!lastStatus.contains(gimbal))
            gimbalOrder.append(gimbal);
        lastStatus.insert(gimbal, status);
    }
    if (journal && held.contains(session)) {
        JournalRecord record = held.take(session);
        record.checkResult = checkWord;
        journal->record(record);
    }
    display->ended(session, result, checkWord, tally);
    // Still plugged in: not taken again until it leaves. Gone already: its line goes.
    if (serials.contains(port))
        finishedPlugged.insert(port);
    else
        display->removed(port);
    session->deleteLater();
    if (options.count > 0 && gimbalsEnded >= options.count)
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
    for (FlashSession *session : std::as_const(running))
        session->interrupt();
    for (FirmwareCheck *check : std::as_const(checking))
        check->cancel();
}

void StationCommand::endIfDone()
{
    if (ended || !display || !stopping || busyCount() > 0)
        return;
    ended = true;
    ports.reset();
    const int code = exitStatus();
    display->summary(tally, code);
    emit finished(code);
}

int StationCommand::exitStatus() const
{
    if (cancelled)
        return ExitCode::Interrupted;
    for (const QString &gimbal : gimbalOrder)
        if (lastStatus.value(gimbal) != ExitCode::Success)
            return lastStatus.value(gimbal);
    return unidentifiedFailures.isEmpty() ? ExitCode::Success : unidentifiedFailures.first();
}
