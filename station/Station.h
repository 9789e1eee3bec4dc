// The flashing station without a face: updates every gimbal adapter that appears, until stopped
// or a count.
#pragma once

#include "Attempts.h"
#include "CatalogueSource.h"
#include "CheckedPackage.h"
#include "FlashSession.h"
#include "StationTally.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

class FirmwareCheck;
class SystemPortEnumerator;
struct PortInfo;

// Every gimbal gets the bytes of the one package given, read and checked before. Each adapter
// gets one attempt while it stays plugged in; pulled out and plugged in again, it gets a new
// one. With `check`, a gimbal counts as updated only when its new firmware was seen running
// afterwards. Each attempt's record is built once, when it is over, and handed to the face in
// attemptConcluded(); the station never writes the journal itself.
class Station : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        int productRow = 0;
        int connectTimeoutMs = 0;
        int count = 0;                // gimbals that end the run; 0: until stop()
        bool check = false;           // check that each new firmware runs
        bool recordAttempts = false;  // build each attempt's journal record
        // A gimbal plugged in without a unit serial waits (Phase::AwaitingSerial, serialWanted())
        // until one is tied to it; nothing is written before.
        bool requireSerial = false;
        // Without a package: each gimbal's release is taken from the maker's catalogue for its
        // listed chips (catalogueAnswered() tells the face what it gave).
        std::optional<CatalogueClient::Settings> catalogueClient;
        CatalogueSource::Request catalogueRequest;
    };
    // Where an adapter's attempt is, for a face's line or tile.
    enum class Phase {
        Waiting,  // plugged in, not taken (the run takes no more)
        AwaitingSerial, // plugged in, waits for its unit serial before anything is written
        Updating, // its session runs
        Checking, // updated; its new firmware is being checked
        Done,     // its attempt is over; not taken again until it leaves
    };
    enum class Result { Updated = int(StationTally::Result::Updated), UpToDate, Failed };
    // What became of a scanned unit serial.
    enum class SerialTie {
        Tied,    // to a gimbal (serialTied() names its port)
        Held,    // for the next gimbal plugged in (serialHeld())
        Invalid, // not a serial (UnitSerial::normalized)
        InUse,   // already tied to a gimbal whose attempt runs or waits
    };

    // With a package, every gimbal gets its bytes; without one, settings.catalogueClient must be
    // set and each gimbal gets the catalogue's release for its chips.
    Station(const Settings &settings, const std::optional<CheckedPackage> &package, QObject *parent = nullptr);
    ~Station() override;

    // Takes the gimbal adapters plugged in now and then each one that appears.
    void start();
    // No new gimbals; running attempts go on. finished() follows once none runs.
    void stop();
    // Cancels the running attempts (writes end safely, checks end cancelled).
    void cancel();

    // Ties a scanned unit serial: with `port` (the tile the operator picked), to that adapter's
    // gimbal (its running attempt when it has no serial yet, else the next gimbal there);
    // without, to the gimbal that has waited longest for one, else it is held for the next
    // gimbal plugged in (a new scan replaces a held one).
    SerialTie tieSerial(const QString &scanned, const QString &port = QString());
    // The serial held for the next gimbal; empty when none.
    QString heldSerial() const;
    // The unit serial of the attempt on `port` (running, waiting or just concluded); empty when none.
    QString unitSerial(const QString &port) const;

    int busyCount() const;
    bool isStopping() const { return stopping; }
    const StationCounts &counts() const { return tally.counts(); }
    // The session of the attempt on `port`, while it runs and during attemptConcluded(); null
    // otherwise.
    const FlashSession *session(const QString &port) const;

    // The whole gimbal's remaining seconds of a write `permille` done, from how long that share
    // took since `clock` started; -1 when unknown.
    static int secondsLeft(const QElapsedTimer &clock, int permille);
    // "updated", "up-to-date", "failed".
    static QString resultName(Result result);

signals:
    // A gimbal adapter was plugged in (taken or not).
    void adapterAppeared(const QString &port, const QString &serial);
    // A new attempt began on the adapter.
    void adapterTaken(const QString &port, const QString &serial);
    // The attempt's session changed (see FlashSession::changed); session(port) tells the rest.
    void sessionChanged(const QString &port, FlashSession::Change change);
    // The same in plain values: the session's state, the gimbal's write in percent and its
    // seconds left (-1 when unknown).
    void progressed(const QString &port, FlashSession::State state, int percent, int secondsLeft);
    // The update went well; its new firmware is being checked.
    void checkStarted(const QString &port);
    // The gimbal on `port` waits for its unit serial (settings.requireSerial).
    void serialWanted(const QString &port);
    // `unitSerial` is now the serial of the gimbal on `port`.
    void serialTied(const QString &port, const QString &unitSerial);
    // `unitSerial` waits for the next gimbal plugged in.
    void serialHeld(const QString &unitSerial);
    // Catalogue mode: what the catalogue gave for the gimbal on `port` (a release or a refusal).
    void catalogueAnswered(const QString &port, const CatalogueResult &result);
    void checkEnded(const QString &port, BootCheck result, double accelerationG);
    // The attempt on `port` is over: its journal record (empty unless recordAttempts), its
    // result and the check's.
    void attemptConcluded(const QString &port, const JournalRecord &record, Station::Result result, BootCheck check);
    void tallyChanged(const StationCounts &counts);
    // The adapter left and its attempt, if any, is over.
    void adapterGone(const QString &port);
    // Stopping, and no attempt runs any longer: the run's exit status.
    void finished(int exitStatus);

private:
    struct Adapter
    {
        QString serial;
        Phase phase = Phase::Waiting;
        bool plugged = true;
        FlashSession *session = nullptr; // owned while Updating or Checking
        FirmwareCheck *check = nullptr;  // owned while Checking
        QElapsedTimer writeClock;        // since the gimbal's first chip began to be written
        QString unitSerial;              // the gimbal's, once tied
        quint64 waitingSince = 0;        // order of AwaitingSerial adapters, oldest first
    };

    void take(const PortInfo &info);
    // Starts the attempt on `port` (its serial, if any, tied already).
    void begin(const QString &port);
    // Catalogue mode: asks the catalogue for the release of the chips the session listed.
    void fetchFor(const QString &port);
    // Ties `serial` to the adapter's gimbal and, if it waited for one, starts its attempt.
    void tie(const QString &port, const QString &serial);
    void onRemoved(const PortInfo &info);
    void onSessionChanged(const QString &port, FlashSession::Change change);
    void onSessionFinished(const QString &port);
    void onCheckFinished(const QString &port, BootCheck result, double accelerationG);
    // The attempt is over (and checked, with `check`): tally, record, tell the face.
    void conclude(const QString &port, BootCheck check);
    bool takesMore() const;
    void endIfDone();

    Settings settings;
    std::optional<CheckedPackage> package;
    bool multiChip = false;
    std::unique_ptr<CatalogueSource> catalogue; // catalogue mode only
    std::unique_ptr<SystemPortEnumerator> ports;
    QHash<QString, Adapter> adapters; // by port name
    QString held;                       // for the next gimbal plugged in
    QHash<QString, QString> heldForPort; // for the next gimbal on a picked adapter
    quint64 waits = 0;
    StationTally tally;
    bool stopping = false;
    bool cancelled = false;
    bool ended = false;
};
