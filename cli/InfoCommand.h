// velmora-cli info: the bootloader's chips, as the firmware tab lists them.
#pragma once

#include "Command.h"
#include "CliOptions.h"

class FlashSession;

class InfoCommand : public Command
{
    Q_OBJECT

public:
    explicit InfoCommand(const CliOptions &options, QObject *parent = nullptr);
    ~InfoCommand() override;

    void start() override;
    void interrupt() override;

private:
    void onFinished(int exitCode);

    CliOptions options;
    FlashSession *session = nullptr;
    bool interrupted = false;
};
