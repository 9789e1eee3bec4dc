// velmora-cli flash: one update per port, all ports in parallel.
#pragma once

#include "Command.h"
#include "CliOptions.h"
#include "PackageSignature.h"

#include <QList>
#include <memory>

class FlashSession;
class ProgressDisplay;

class FlashCommand : public Command
{
    Q_OBJECT

public:
    explicit FlashCommand(const CliOptions &options, QObject *parent = nullptr);
    ~FlashCommand() override;

    void start() override;
    void interrupt() override;

    // Reads and checks the package before any port is touched; empty when it is usable,
    // else the reason. `bytes` gets what was read and checked.
    static QString checkPackage(const QString &path, QByteArray *bytes = nullptr);

private:
    void onSessionFinished();
    // Says who signed the package, or refuses it (false) with the reason in words and JSON.
    bool reportSignature();

    CliOptions options;
    QList<FlashSession *> sessions;
    std::unique_ptr<ProgressDisplay> display;
    bool interrupted = false;
    bool ended = false;
    SignatureCheck signature;
};
