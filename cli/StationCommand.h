// velmora-cli station: updates every gimbal adapter that appears, until Ctrl-C or a count.
#pragma once

#include "CliOptions.h"
#include "Command.h"
#include "Station.h"
#include "StationDisplay.h"

#include <memory>

// The terminal's face on the station's engine (Station): the package is read and checked once,
// at the start, then the engine's events are drawn by StationDisplay and each attempt's record
// is written to the journal as the engine hands it over.
class StationCommand : public Command
{
    Q_OBJECT

public:
    explicit StationCommand(const CliOptions &options, QObject *parent = nullptr);
    ~StationCommand() override;

    void start() override;
    // First Ctrl-C: no new gimbals, running attempts go on; the second cancels them.
    void interrupt() override;
    void interruptAgain() override;

private:
    void onConcluded(const QString &port, const JournalRecord &record, Station::Result result, BootCheck check);

    CliOptions options;
    std::unique_ptr<StationDisplay> display;
    std::unique_ptr<Station> station;
};
