// Runs the sessions side by side and turns their results into one exit status.
#include "FlashCommand.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "FlashSession.h"
#include "Journal.h"
#include "PackageFileReader.h"
#include "PackageSignature.h"
#include "ProductRows.h"
#include "ProgressDisplay.h"
#include "PtzFile.h"
#include "SystemPortEnumerator.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonObject>
#include <cstring>

FlashCommand::FlashCommand(const CliOptions &opts, QObject *parent)
    : Command(parent)
    , options(opts)
{
}

FlashCommand::~FlashCommand()
{
    display.reset();
    qDeleteAll(sessions);
}

QString FlashCommand::checkPackage(const QString &path, QByteArray *bytes)
{
    const auto refusal = [&path](const char *text, const QString &why) {
        const QString message = QStringLiteral("%1: %2").arg(path, QCoreApplication::translate("UpdateService", text));
        return why.isEmpty() ? message : QStringLiteral("%1 (%2)").arg(message, why);
    };
    const PackageFileReader::Result file = PackageFileReader::read(path);
    switch (file.outcome) {
    case PackageFileReader::Outcome::Ok:
        break;
    case PackageFileReader::Outcome::Missing:
        return refusal("固件文件不存在或无法访问！", QString());
    case PackageFileReader::Outcome::NotRegularFile:
        return refusal("固件文件不存在或无法访问！", QStringLiteral("not a regular file"));
    case PackageFileReader::Outcome::ReadError:
        return refusal("固件文件不存在或无法访问！", QString::fromLocal8Bit(std::strerror(file.error)));
    case PackageFileReader::Outcome::TooLarge:
        return refusal("固件文件格式无效！", QStringLiteral("larger than %1, the most a package may be")
                                                .arg(PackageFileReader::sizeLimitText()));
    }
    PtzFile package;
    if (!package.unpack(file.bytes))
        return refusal("固件文件格式无效！", QString());
    if (bytes)
        *bytes = file.bytes;
    return QString();
}

void FlashCommand::start()
{
    QByteArray packageBytes;
    const QString problem = checkPackage(options.package, &packageBytes);
    if (!problem.isEmpty()) {
        CliOutput::error(problem);
        emit finished(ExitCode::BadPackage);
        return;
    }
    // Checked on the bytes just read, before any port is opened.
    if (!checkSignature(options, packageBytes, &signature)) {
        emit finished(ExitCode::BadPackage);
        return;
    }
    const bool multiChip = ProductRows::row(options.productRow).multiChip;
    QHash<QString, QString> adapterSerials;
    for (const PortInfo &info : SystemPortEnumerator().availablePorts())
        adapterSerials.insert(info.portName, info.serialNumber);
    for (const QString &port : std::as_const(options.ports)) {
        auto *session = new FlashSession(port, multiChip, options.connectTimeoutMs, options.package);
        session->usePackageBytes(packageBytes);
        if (journal) {
            session->recordAttempt(options.productRow, adapterSerials.value(port), packageBytes, signature);
            connect(session, &FlashSession::attemptEnded, journal, &Journal::record);
        }
        sessions.append(session);
    }
    ProgressDisplay::Mode mode = options.json ? ProgressDisplay::Mode::Json
                                 : CliOutput::isTerminal() ? ProgressDisplay::Mode::Terminal
                                                           : ProgressDisplay::Mode::Plain;
    display = std::make_unique<ProgressDisplay>(mode, sessions);
    for (FlashSession *session : std::as_const(sessions)) {
        connect(session, &FlashSession::changed, this, [this, session](const QString &kind) { display->update(session, kind); });
        connect(session, &FlashSession::finished, this, &FlashCommand::onSessionFinished, Qt::QueuedConnection);
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

bool FlashCommand::checkSignature(const CliOptions &options, const QByteArray &bytes, SignatureCheck *check)
{
    *check = PackageSignature::check(bytes, options.package, TrustedKeys::load());
    const SignatureCheck &signature = *check;
    const bool required = options.requireSigned || TrustedKeys::requiredBySystem();
    const QString state = SignatureCheck::stateName(signature.state);
    if (signature.refuses(required)) {
        const QString detail = signature.state == SignatureCheck::State::Unsigned
                                   ? QStringLiteral("not signed, and only signed packages are accepted")
                                   : signature.detail;
        if (options.json)
            CliOutput::json({{QStringLiteral("event"), QStringLiteral("refused")},
                             {QStringLiteral("package"), options.package},
                             {QStringLiteral("reason"), state},
                             {QStringLiteral("keyId"), signature.keyId},
                             {QStringLiteral("detail"), detail}});
        CliOutput::error(QStringLiteral("%1: refused: %2").arg(options.package, detail));
        return false;
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
    return true;
}
