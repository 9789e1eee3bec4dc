// Runs the sessions side by side and turns their results into one exit status.
#include "FlashCommand.h"

#include "CatalogueSettings.h"
#include "CatalogueSource.h"
#include "CatalogueWords.h"
#include "CliOutput.h"
#include "ExitCode.h"
#include "FlashSession.h"
#include "Journal.h"
#include "ProductRows.h"
#include "ProgressDisplay.h"
#include "RefusedPackageRecord.h"
#include "SystemPortEnumerator.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonObject>

FlashCommand::FlashCommand(const CliOptions &opts, QObject *parent)
    : Command(parent)
    , options(opts)
{
}

FlashCommand::~FlashCommand()
{
    catalogue.reset();
    display.reset();
    qDeleteAll(sessions);
}

void FlashCommand::start()
{
    std::optional<CheckedPackage> package;
    if (!options.fromCatalogue.isEmpty()) {
        if (!openCatalogue()) {
            emit finished(ExitCode::BadArguments);
            return;
        }
    } else if (!(package = admitPackage(options, journal))) {
        emit finished(ExitCode::BadPackage);
        return;
    }
    const bool multiChip = ProductRows::row(options.productRow).multiChip;
    QHash<QString, QString> adapterSerials;
    for (const PortInfo &info : SystemPortEnumerator().availablePorts())
        adapterSerials.insert(info.portName, info.serialNumber);
    for (const QString &port : std::as_const(options.ports)) {
        auto *session = new FlashSession(port, multiChip, options.connectTimeoutMs, package);
        if (catalogue) {
            session->awaitPackage();
            connect(session, &FlashSession::packageWanted, this, [this, session] { fetchFor(session); });
        }
        if (journal) {
            session->recordAttempt(options.productRow, adapterSerials.value(port));
            session->setUnitSerial(options.unitSerial);
        }
        sessions.append(session);
    }
    ProgressDisplay::Mode mode = options.json ? ProgressDisplay::Mode::Json
                                 : CliOutput::isTerminal() ? ProgressDisplay::Mode::Terminal
                                                           : ProgressDisplay::Mode::Plain;
    display = std::make_unique<ProgressDisplay>(mode, sessions);
    for (FlashSession *session : std::as_const(sessions)) {
        connect(session, &FlashSession::changed, this,
                [this, session](FlashSession::Change change) { display->update(session, change); });
        connect(session, &FlashSession::finished, this, [this, session] {
            if (journal && session->isRecorded())
                journal->record(session->record());
            onSessionFinished();
        }, Qt::QueuedConnection);
    }
    for (FlashSession *session : std::as_const(sessions))
        session->start();
}

void FlashCommand::interrupt()
{
    interrupted = true;
    for (FlashSession *session : std::as_const(sessions))
        session->interrupt();
    onSessionFinished();
}

void FlashCommand::onSessionFinished()
{
    if (ended || !display)
        return;
    for (const FlashSession *session : std::as_const(sessions))
        if (!session->isDone())
            return;
    ended = true;
    int code = ExitCode::Success;
    for (const FlashSession *session : std::as_const(sessions)) {
        if (session->exitCode() != ExitCode::Success) {
            code = session->exitCode();
            break;
        }
    }
    if (interrupted)
        code = ExitCode::Interrupted;
    display->summary(code);
    emit finished(code);
}

std::optional<CatalogueClient::Settings> FlashCommand::catalogueSettings(const CliOptions &options)
{
    CatalogueClient::Settings settings;
    settings.location = CatalogueSettings::location(options.catalogue);
    if (settings.location.isEmpty()) {
        CliOutput::error(QStringLiteral("velmora-cli: %1: no catalogue set (--catalogue, VELMORA_CATALOGUE or the window's setting)")
                             .arg(options.command == CliOptions::Command::Station ? QStringLiteral("station") : QStringLiteral("flash")));
        return std::nullopt;
    }
    settings.offline = options.offline;
    QStringList problems;
    settings.trusted = TrustedKeys::load(&problems);
    for (const QString &problem : std::as_const(problems))
        CliOutput::error(QStringLiteral("velmora-cli: trusted key skipped: %1").arg(problem));
    settings.requireSigned = options.requireSigned;
    return settings;
}

CatalogueSource::Request FlashCommand::catalogueRequest(const CliOptions &options)
{
    return {options.fromCatalogue, options.channel.isEmpty() ? CatalogueSettings::channel() : options.channel, options.allowOlder};
}

bool FlashCommand::openCatalogue()
{
    const std::optional<CatalogueClient::Settings> settings = catalogueSettings(options);
    if (!settings)
        return false;
    catalogue = std::make_unique<CatalogueSource>(*settings, catalogueRequest(options));
    return true;
}

void FlashCommand::fetchFor(FlashSession *session)
{
    catalogue->resolve(session->listedChips(), [this, session](const CatalogueResult &result) {
        // Ended meanwhile (Ctrl-C, the adapter pulled): nothing more to give it.
        if (session->isDone() || ended)
            return;
        session->setCatalogue(result.origin);
        const QString age = CatalogueWords::age(catalogue->index(), QDateTime::currentDateTimeUtc());
        if (!age.isEmpty() && !ageSaid) {
            ageSaid = true;
            CliOutput::error(QStringLiteral("velmora-cli: catalogue: %1").arg(age));
        }
        sayCatalogue(session->portName(), result, options.json);
        if (!result.given())
            session->refuse(result.ending(), CatalogueWords::reason(result.refusal));
        else
            session->supplyPackage(*result.package);
    });
}

void FlashCommand::sayCatalogue(const QString &port, const CatalogueResult &result, bool json)
{
    if (!result.given()) {
        if (json)
            CliOutput::json({{QStringLiteral("event"), QStringLiteral("refused")},
                             {QStringLiteral("port"), port},
                             {QStringLiteral("reason"), CatalogueReasons::name(result.refusal)},
                             {QStringLiteral("detail"), result.detail}});
        CliOutput::error(QStringLiteral("velmora-cli: catalogue: %1").arg(CatalogueWords::refusal(result.refusal, result.detail)));
        return;
    }
    const PackageCheck &checked = *result.package;
    const SignatureCheck &signature = checked.signature;
    if (!checked.accepted()) {
        const QString reason = checked.refusedBySignature() ? SignatureCheck::stateName(signature.state) : QStringLiteral("package-invalid");
        if (json)
            CliOutput::json({{QStringLiteral("event"), QStringLiteral("refused")},
                             {QStringLiteral("port"), port},
                             {QStringLiteral("package"), checked.path},
                             {QStringLiteral("reason"), reason},
                             {QStringLiteral("keyId"), signature.keyId},
                             {QStringLiteral("detail"), checked.detail()}});
        CliOutput::error(QStringLiteral("velmora-cli: catalogue: refused (%1): %2: %3").arg(reason, checked.path, checked.detail()));
    } else if (json) {
        CliOutput::json({{QStringLiteral("event"), QStringLiteral("catalogue")},
                         {QStringLiteral("port"), port},
                         {QStringLiteral("catalogue"), result.origin.url},
                         {QStringLiteral("sequence"), double(result.origin.sequence)},
                         {QStringLiteral("version"), result.origin.version},
                         {QStringLiteral("channel"), result.origin.channel},
                         {QStringLiteral("package"), checked.path},
                         {QStringLiteral("offline"), result.fromCache},
                         {QStringLiteral("signature"), SignatureCheck::stateName(signature.state)}});
    } else {
        CliOutput::line(QStringLiteral("%1: release %2 (%3) of %4, sequence %5%6%7")
                            .arg(port, result.origin.version, result.origin.channel, result.origin.url)
                            .arg(result.origin.sequence)
                            .arg(result.fromCache ? QStringLiteral(", kept") : QString(),
                                 signature.state == SignatureCheck::State::Valid ? QStringLiteral(", signed by key %1").arg(signature.keyId)
                                                                                 : QString()));
    }
}

std::optional<CheckedPackage> FlashCommand::admitPackage(const CliOptions &options, Journal *journal)
{
    const PackageCheck package = CheckedPackage::open(options.package, options.requireSigned);
    // A key file that is not a key trusts nobody: said, so that its owner can mend it.
    for (const QString &problem : std::as_const(package.keyProblems))
        CliOutput::error(QStringLiteral("velmora-cli: trusted key skipped: %1").arg(problem));
    RefusedPackageRecord::write(journal, options, package);
    const SignatureCheck &signature = package.signature;
    const QString state = SignatureCheck::stateName(signature.state);
    if (package.refusedBySignature()) {
        if (options.json)
            CliOutput::json({{QStringLiteral("event"), QStringLiteral("refused")},
                             {QStringLiteral("package"), options.package},
                             {QStringLiteral("reason"), state},
                             {QStringLiteral("keyId"), signature.keyId},
                             {QStringLiteral("detail"), package.detail()}});
        CliOutput::error(QStringLiteral("%1: refused: %2").arg(options.package, package.detail()));
        return std::nullopt;
    }
    if (!package.accepted()) {
        // The window's words where they are true (nothing there; not a package), with the
        // package's own reason; a file that is there but cannot be read is not said missing.
        switch (package.refusal) {
        case PackageCheck::Refusal::Missing:
            CliOutput::error(QStringLiteral("%1: %2").arg(options.package, QCoreApplication::translate("UpdateService", "固件文件不存在或无法访问！")));
            break;
        case PackageCheck::Refusal::Invalid:
        case PackageCheck::Refusal::TooLarge:
            CliOutput::error(QStringLiteral("%1: %2 (%3)").arg(options.package, QCoreApplication::translate("UpdateService", "固件文件格式无效！"),
                                                               package.detail()));
            break;
        case PackageCheck::Refusal::ReadError:
            CliOutput::error(QStringLiteral("%1: cannot be read: %2").arg(options.package, package.detail()));
            break;
        default:
            CliOutput::error(QStringLiteral("%1: %2").arg(options.package, package.detail()));
            break;
        }
        return std::nullopt;
    }
    if (options.json) {
        QJsonObject event{{QStringLiteral("event"), QStringLiteral("package")},
                          {QStringLiteral("package"), options.package},
                          {QStringLiteral("signature"), state}};
        if (signature.state == SignatureCheck::State::Valid) {
            event.insert(QStringLiteral("keyId"), signature.keyId);
            event.insert(QStringLiteral("trustedComment"), signature.trustedComment);
        }
        CliOutput::json(event);
    } else if (signature.state == SignatureCheck::State::Valid) {
        CliOutput::line(QStringLiteral("%1: signed by key %2: %3").arg(options.package, signature.keyId, signature.trustedComment));
    } else {
        CliOutput::line(QStringLiteral("%1: not signed").arg(options.package));
    }
    return package.package;
}
