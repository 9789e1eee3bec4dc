// Takes adapters as they appear, runs one flash session each, checks and keeps the tally.
#include "Station.h"

#include "ExitCode.h"
#include "FirmwareCheck.h"
#include "ProductTable.h"
#include "StationLog.h"
#include "SystemPortEnumerator.h"
#include "UnitSerial.h"

#include <QPointer>

Station::Station(const Settings &s, const std::optional<CheckedPackage> &p, QObject *parent)
    : QObject(parent)
    , settings(s)
    , package(p)
    , multiChip(ProductTable::row(s.productRow).multiChip)
{
}

Station::~Station()
{
    ports.reset();
    for (const Adapter &adapter : std::as_const(adapters)) {
        delete adapter.check;
        delete adapter.session;
    }
}

void Station::start()
{
    if (!package && settings.catalogueClient)
        catalogue = std::make_unique<CatalogueSource>(*settings.catalogueClient, settings.catalogueRequest);
    ports = std::make_unique<SystemPortEnumerator>();
    // udev's events and the directory notices wake the station; with neither it compares the
    // tty list now and then, as the window does.
    connect(ports.get(), &PortEnumerator::deviceDiscovered, this, &Station::take);
    connect(ports.get(), &PortEnumerator::deviceRemoved, this, &Station::onRemoved);
    for (const PortInfo &info : ports->availablePorts())
        take(info);
}

int Station::secondsLeft(const QElapsedTimer &clock, int permille)
{
    if (!clock.isValid() || permille <= 0 || permille >= 1000)
        return -1;
    return int(clock.elapsed() * (1000 - permille) / permille / 1000);
}

QString Station::resultName(Result result)
{
    static const char *const words[] = {"updated", "up-to-date", "failed"};
    return QLatin1String(words[int(result)]);
}

const FlashSession *Station::session(const QString &port) const
{
    const auto it = adapters.constFind(port);
    return it == adapters.constEnd() ? nullptr : it->session;
}

int Station::busyCount() const
{
    int busy = 0;
    for (const Adapter &adapter : adapters)
        busy += adapter.phase == Phase::Updating || adapter.phase == Phase::Checking;
    return busy;
}

bool Station::takesMore() const
{
    return !stopping && (settings.count <= 0 || tally.gimbalsEnded() + busyCount() < settings.count);
}

void Station::take(const PortInfo &info)
{
    if (!isGimbalAdapter(info))
        return;
    Adapter &adapter = adapters[info.portName];
    adapter.plugged = true;
    adapter.serial = info.serialNumber;
    emit adapterAppeared(info.portName, info.serialNumber);
    if (adapter.phase != Phase::Waiting || !takesMore())
        return;
    // A serial scanned for this adapter, else the one held for whichever gimbal comes next.
    QString serial = heldForPort.take(info.portName);
    if (serial.isEmpty())
        std::swap(serial, held);
    if (!serial.isEmpty()) {
        adapter.unitSerial = serial;
        emit serialTied(info.portName, serial);
    } else if (settings.requireSerial) {
        adapter.phase = Phase::AwaitingSerial;
        adapter.waitingSince = ++waits;
        qCDebug(lcStation) << info.portName << "waits for a unit serial";
        emit serialWanted(info.portName);
        return;
    }
    begin(info.portName);
}

void Station::begin(const QString &port)
{
    Adapter &adapter = adapters[port];
    auto *session = new FlashSession(port, multiChip, settings.connectTimeoutMs, package);
    if (settings.recordAttempts) {
        session->recordAttempt(settings.productRow, adapter.serial);
        session->setUnitSerial(adapter.unitSerial);
    }
    if (catalogue) {
        session->awaitPackage();
        connect(session, &FlashSession::packageWanted, this, [this, port] { fetchFor(port); });
    }
    adapter.session = session;
    adapter.phase = Phase::Updating;
    adapter.writeClock.invalidate();
    qCDebug(lcStation) << "took" << port;
    emit adapterTaken(port, adapter.serial);
    connect(session, &FlashSession::changed, this, [this, port](FlashSession::Change change) {
        if (change != FlashSession::Change::Done)
            onSessionChanged(port, change);
    });
    connect(session, &FlashSession::finished, this, [this, port] { onSessionFinished(port); }, Qt::QueuedConnection);
    session->start();
}

void Station::fetchFor(const QString &port)
{
    const QPointer<FlashSession> session = adapters[port].session;
    catalogue->resolve(session->listedChips(), [this, port, session](const CatalogueResult &result) {
        // Ended meanwhile (cancelled, the adapter pulled): nothing more to give it.
        if (!session || session->isDone())
            return;
        session->setCatalogue(result.origin);
        emit catalogueAnswered(port, result);
        if (result.given())
            session->supplyPackage(*result.package);
        else
            session->refuse(result.ending(), CatalogueReasons::name(result.refusal));
    });
}

Station::SerialTie Station::tieSerial(const QString &scanned, const QString &port)
{
    const QString serial = UnitSerial::normalized(scanned);
    if (serial.isEmpty())
        return SerialTie::Invalid;
    for (auto it = adapters.cbegin(); it != adapters.cend(); ++it) {
        if (it->unitSerial == serial && it->phase != Phase::Done)
            return SerialTie::InUse;
    }
    if (!port.isEmpty()) {
        const auto it = adapters.find(port);
        const bool open = it != adapters.end()
                          && (it->phase == Phase::AwaitingSerial
                              || ((it->phase == Phase::Updating || it->phase == Phase::Checking) && it->unitSerial.isEmpty()));
        if (open) {
            tie(port, serial);
            return SerialTie::Tied;
        }
        heldForPort.insert(port, serial);
        return SerialTie::Held;
    }
    QString oldest;
    quint64 since = 0;
    for (auto it = adapters.cbegin(); it != adapters.cend(); ++it) {
        if (it->phase == Phase::AwaitingSerial && (oldest.isEmpty() || it->waitingSince < since)) {
            oldest = it.key();
            since = it->waitingSince;
        }
    }
    if (!oldest.isEmpty()) {
        tie(oldest, serial);
        return SerialTie::Tied;
    }
    held = serial;
    emit serialHeld(serial);
    return SerialTie::Held;
}

void Station::tie(const QString &port, const QString &serial)
{
    Adapter &adapter = adapters[port];
    adapter.unitSerial = serial;
    if (adapter.session)
        adapter.session->setUnitSerial(serial);
    emit serialTied(port, serial);
    if (adapter.phase == Phase::AwaitingSerial) {
        adapter.phase = Phase::Waiting;
        if (takesMore())
            begin(port);
    }
}

QString Station::heldSerial() const
{
    return held;
}

QString Station::unitSerial(const QString &port) const
{
    return adapters.value(port).unitSerial;
}

void Station::onSessionChanged(const QString &port, FlashSession::Change change)
{
    Adapter &adapter = adapters[port];
    const FlashSession *s = adapter.session;
    emit sessionChanged(port, change);
    // The time left is the whole gimbal's: from how long the write has taken for its share of
    // all the chips' bytes.
    const bool writing = s->state() == FlashSession::State::Writing;
    if (writing && !adapter.writeClock.isValid())
        adapter.writeClock.start();
    const int permille = s->gimbalPermille();
    emit progressed(port, s->state(), permille / 10, writing ? secondsLeft(adapter.writeClock, permille) : -1);
}

void Station::onRemoved(const PortInfo &info)
{
    if (!isGimbalAdapter(info) || !adapters.contains(info.portName))
        return;
    Adapter &adapter = adapters[info.portName];
    adapter.plugged = false;
    switch (adapter.phase) {
    case Phase::Updating:
        adapter.session->portRemoved(); // it goes once its end is told
        return;
    case Phase::Checking:
        adapter.check->cancel();
        return;
    case Phase::Waiting:
    case Phase::AwaitingSerial:
    case Phase::Done:
        break;
    }
    adapters.remove(info.portName);
    emit adapterGone(info.portName);
}

void Station::onSessionFinished(const QString &port)
{
    Adapter &adapter = adapters[port];
    if (adapter.phase != Phase::Updating)
        return;
    const bool updated = adapter.session->exitCode() == ExitCode::Success;
    if (!settings.check || !updated) {
        conclude(port, BootCheck::NotChecked);
        return;
    }
    if (!adapter.plugged) {
        conclude(port, BootCheck::Cancelled);
        return;
    }
    adapter.phase = Phase::Checking;
    adapter.check = new FirmwareCheck(port, settings.productRow, FirmwareCheck::DefaultTimeoutMs);
    connect(adapter.check, &FirmwareCheck::finished, this,
            [this, port](BootCheck result, double g) { onCheckFinished(port, result, g); }, Qt::QueuedConnection);
    emit checkStarted(port);
    adapter.check->start();
}

void Station::onCheckFinished(const QString &port, BootCheck result, double accelerationG)
{
    Adapter &adapter = adapters[port];
    if (adapter.phase != Phase::Checking)
        return;
    adapter.check->deleteLater();
    adapter.check = nullptr;
    emit checkEnded(port, result, accelerationG);
    conclude(port, result);
}

void Station::conclude(const QString &port, BootCheck check)
{
    Adapter &adapter = adapters[port];
    FlashSession *session = adapter.session;
    const bool checkFailed = check != BootCheck::NotChecked && check != BootCheck::Running;
    const bool success = session->exitCode() == ExitCode::Success && !checkFailed;
    const bool upToDate = success && session->wroteNothing();
    const Result result = upToDate ? Result::UpToDate : success ? Result::Updated : Result::Failed;
    // A new firmware that does not run fails the gimbal, though its write went well.
    tally.add(session->gimbalIdentity(), StationTally::Result(int(result)), checkFailed ? ExitCode::Failed : session->exitCode(),
              session->end() == FlashSession::End::PortLost);
    if (session->end() == FlashSession::End::Interrupted)
        cancelled = true;
    emit tallyChanged(tally.counts());
    emit attemptConcluded(port, session->isRecorded() ? session->record(check) : JournalRecord(), result, check);
    session->deleteLater();
    adapter.session = nullptr;
    // Still plugged in: not taken again until it leaves. Gone already: it goes now.
    if (adapter.plugged) {
        adapter.phase = Phase::Done;
    } else {
        adapters.remove(port);
        emit adapterGone(port);
    }
    if (settings.count > 0 && tally.gimbalsEnded() >= settings.count)
        stopping = true;
    endIfDone();
}

void Station::stop()
{
    stopping = true;
    endIfDone();
}

void Station::cancel()
{
    if (busyCount() == 0)
        return;
    cancelled = true;
    for (const Adapter &adapter : std::as_const(adapters)) {
        if (adapter.phase == Phase::Updating)
            adapter.session->interrupt();
        else if (adapter.phase == Phase::Checking)
            adapter.check->cancel();
    }
}

void Station::endIfDone()
{
    if (ended || !stopping || busyCount() > 0)
        return;
    ended = true;
    ports.reset();
    emit finished(tally.exitStatus(cancelled));
}
