// velmora-cli flash: one update per port, all ports in parallel.
#pragma once

#include "Command.h"
#include "CliOptions.h"
#include "CatalogueSource.h"
#include "CheckedPackage.h"

#include <QList>
#include <memory>
#include <optional>

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

    // Reads and checks the package (format and signature) before any port is touched, and
    // says who signed it; a refusal is said in words (and, with --json, as a JSON event) and
    // gives no package. A refusal for the signature is recorded in `journal` when there is one.
    static std::optional<CheckedPackage> admitPackage(const CliOptions &options, Journal *journal = nullptr);
    // --from-catalogue: the catalogue client's settings, or nullopt (said) when no catalogue is
    // set; and what to take from it.
    static std::optional<CatalogueClient::Settings> catalogueSettings(const CliOptions &options);
    static CatalogueSource::Request catalogueRequest(const CliOptions &options);
    // Says what the catalogue gave for the gimbal on `port`: its release, or why there is none.
    static void sayCatalogue(const QString &port, const CatalogueResult &result, bool json);

private:
    void onSessionFinished();
    // flash --from-catalogue: the catalogue's source for every session, or false (said) when
    // no catalogue is set.
    bool openCatalogue();
    // Asks the catalogue for the package of the chips `session` listed, and hands it over.
    void fetchFor(FlashSession *session);

    CliOptions options;
    std::unique_ptr<CatalogueSource> catalogue;
    bool ageSaid = false;
    QList<FlashSession *> sessions;
    std::unique_ptr<ProgressDisplay> display;
    bool interrupted = false;
    bool ended = false;
};
