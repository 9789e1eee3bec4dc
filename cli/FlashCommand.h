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
    // Checks the signature of `bytes`, read from options.package; says who signed them, or
    // refuses them (false) with the reason in words and, with --json, as a JSON event.
    static bool checkSignature(const CliOptions &options, const QByteArray &bytes, SignatureCheck *signature);

private:
    void onSessionFinished();

    CliOptions options;
    QList<FlashSession *> sessions;
    std::unique_ptr<ProgressDisplay> display;
    bool interrupted = false;
    bool ended = false;
    SignatureCheck signature;
};
