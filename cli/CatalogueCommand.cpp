// velmora-cli catalogue: list the releases that fit, or fetch one into the cache and print its path.
#include "CatalogueCommand.h"
#include "CatalogueChoice.h"
#include "CatalogueSettings.h"
#include "CatalogueWords.h"
#include "CliOutput.h"
#include "ExitCode.h"
#include "PackageSignature.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QJsonArray>

#include <algorithm>

namespace {

// Waits in a local loop for one of the client's single-shot signals.
void waitFor(CatalogueClient *client, void (CatalogueClient::*signal)())
{
    QEventLoop loop;
    QObject::connect(client, signal, &loop, &QEventLoop::quit);
    loop.exec();
}

QString hardwareText(const QList<CatalogueImage> &images)
{
    QStringList codes;
    for (const CatalogueImage &image : images)
        codes << QStringLiteral("%1").arg(image.hardware, 4, 16, QLatin1Char('0')).toUpper();
    return codes.join(QLatin1Char(','));
}

QJsonObject releaseJson(const CatalogueRelease &release)
{
    QJsonObject notes;
    for (auto it = release.notes.begin(); it != release.notes.end(); ++it)
        notes.insert(it.key(), it.value());
    return QJsonObject{{QStringLiteral("version"), release.version},
                       {QStringLiteral("channel"), release.channel},
                       {QStringLiteral("released"), release.released.toString(Qt::ISODate)},
                       {QStringLiteral("arch"), QStringLiteral("%1").arg(release.arch, 4, 16, QLatin1Char('0')).toUpper()},
                       {QStringLiteral("hardware"), QJsonArray::fromStringList(hardwareText(release.images).split(QLatin1Char(',')))},
                       {QStringLiteral("package"), release.package},
                       {QStringLiteral("size"), double(release.size)},
                       {QStringLiteral("sha256"), QString::fromLatin1(release.sha256.toHex())},
                       {QStringLiteral("notes"), notes}};
}

// A refusal: its words on standard error, its value in JSON; status 3, or 5 for no fit.
int refuse(bool json, CatalogueReason reason, const QString &detail)
{
    const bool fit = reason == CatalogueReason::NoMatch || reason == CatalogueReason::Older;
    if (json)
        CliOutput::json({{QStringLiteral("reason"), CatalogueReasons::name(reason)}, {QStringLiteral("detail"), detail}});
    CliOutput::error(QStringLiteral("velmora-cli: catalogue: %1").arg(CatalogueWords::refusal(reason, detail)));
    return fit ? ExitCode::PackageMismatch : ExitCode::BadPackage;
}

} // namespace

QString CatalogueCommand::synopsis()
{
    return QStringLiteral("catalogue list|fetch [VERSION|latest] [--hardware 0101,0102] [--channel C] [--allow-older]\n"
                          "              [--catalogue URL] [--offline] [--json]");
}

int CatalogueCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print one JSON object."));
    const QCommandLineOption hardware(QStringLiteral("hardware"), QStringLiteral("The chips' hardware codes in order."), QStringLiteral("CODES"));
    const QCommandLineOption channel(QStringLiteral("channel"), QStringLiteral("stable (the default setting) or another channel."), QStringLiteral("C"));
    const QCommandLineOption older(QStringLiteral("allow-older"), QStringLiteral("Accept a release older than the running firmware."));
    const QCommandLineOption location(QStringLiteral("catalogue"), QStringLiteral("The catalogue's URL or folder (else VELMORA_CATALOGUE or the setting)."),
                                      QStringLiteral("URL"));
    const QCommandLineOption offline(QStringLiteral("offline"), QStringLiteral("Use only what was fetched before."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Show the debug lines."));
    for (const QCommandLineOption &option : {help, json, hardware, channel, older, location, offline, verbose})
        parser.addOption(option);
    parser.addPositionalArgument(QStringLiteral("ACTION"), QStringLiteral("list, or fetch VERSION|latest."));
    if (!parser.parse(QStringList(QStringLiteral("velmora-cli")) + arguments.mid(1))) {
        CliOutput::error(QStringLiteral("velmora-cli: catalogue: ") + parser.errorText());
        return ExitCode::BadArguments;
    }
    if (parser.isSet(help)) {
        CliOutput::raw(QStringLiteral("Usage: velmora-cli %1\nList the maker's releases that fit the chips, or fetch one into the cache\n"
                                      "and print the kept package's path.\n\n").arg(synopsis())
                       + parser.helpText().mid(parser.helpText().indexOf(QLatin1String("Options:"))));
        return ExitCode::Success;
    }
    CliOutput::setVerbose(parser.isSet(verbose));
    const QStringList positional = parser.positionalArguments();
    const QString action = positional.value(0);
    const bool fetch = action == QLatin1String("fetch");
    if ((action != QLatin1String("list") && !fetch) || positional.size() != (fetch ? 2 : 1)) {
        CliOutput::error(QStringLiteral("velmora-cli: catalogue: list, or fetch VERSION|latest"));
        return ExitCode::BadArguments;
    }
    CatalogueTarget target;
    if (parser.isSet(hardware) && !CatalogueTarget::fromHardwareText(parser.value(hardware), &target)) {
        CliOutput::error(QStringLiteral("velmora-cli: catalogue: --hardware takes codes of four hex digits, as 0101,0102"));
        return ExitCode::BadArguments;
    }
    if (fetch && !parser.isSet(hardware)) {
        CliOutput::error(QStringLiteral("velmora-cli: catalogue: fetch needs --hardware"));
        return ExitCode::BadArguments;
    }
    CatalogueClient::Settings settings;
    settings.location = CatalogueSettings::location(parser.value(location));
    if (settings.location.isEmpty()) {
        CliOutput::error(QStringLiteral("velmora-cli: catalogue: no catalogue set (--catalogue, VELMORA_CATALOGUE or the window's setting)"));
        return ExitCode::BadArguments;
    }
    settings.offline = parser.isSet(offline);
    settings.trusted = TrustedKeys::load();
    const QString followed = parser.isSet(channel) ? parser.value(channel) : CatalogueSettings::channel();
    const bool asJson = parser.isSet(json);

    CatalogueClient client(settings);
    client.loadIndex();
    waitFor(&client, &CatalogueClient::indexLoaded);
    const CatalogueLoad load = client.lastIndex();
    // An expired index still lists and hands out what is kept, online as offline; the client
    // refuses new downloads from it.
    if (!load.checked.usable())
        return refuse(asJson, load.checked.refusal, load.checked.detail);
    const QString age = CatalogueWords::age(load, QDateTime::currentDateTimeUtc());
    if (!age.isEmpty())
        CliOutput::error(QStringLiteral("velmora-cli: catalogue: %1").arg(age));
    if (load.checked.refusal == CatalogueReason::Expired)
        CliOutput::error(QStringLiteral("velmora-cli: catalogue: %1").arg(CatalogueWords::reason(CatalogueReason::Expired)));

    if (!fetch) {
        // Newest first, with --hardware or without.
        const QList<CatalogueRelease> releases = parser.isSet(hardware) ? CatalogueMatch::matching(load.checked.index, target, followed) : [&] {
            QList<CatalogueRelease> all;
            for (const CatalogueRelease &release : load.checked.index.releases)
                if (CatalogueMatch::follows(followed, release.channel))
                    all.append(release);
            std::stable_sort(all.begin(), all.end(), [](const CatalogueRelease &a, const CatalogueRelease &b) {
                return CatalogueVersions::compare(a.version, b.version) > 0;
            });
            return all;
        }();
        if (asJson) {
            QJsonArray list;
            for (const CatalogueRelease &release : releases)
                list.append(releaseJson(release));
            CliOutput::json({{QStringLiteral("catalogue"), CatalogueClient::shownUrl(load.checked.url)},
                             {QStringLiteral("sequence"), double(load.checked.index.sequence)},
                             {QStringLiteral("published"), load.checked.index.published.toString(Qt::ISODate)},
                             {QStringLiteral("offline"), load.fromCache},
                             {QStringLiteral("expired"), load.checked.refusal == CatalogueReason::Expired},
                             {QStringLiteral("releases"), list}});
        } else {
            for (const CatalogueRelease &release : releases)
                CliOutput::line(QStringLiteral("%1  %2  %3  %4  %5").arg(release.version, release.channel, release.released.toString(Qt::ISODate),
                                                                         hardwareText(release.images), release.notesFor(QStringLiteral("en"))));
        }
        return ExitCode::Success;
    }

    const CatalogueChoice choice = CatalogueMatch::choose(load.checked.index, target, followed, positional.at(1), parser.isSet(older));
    if (!choice.chosen())
        return refuse(asJson, choice.refusal, choice.detail);
    client.fetchPackage(load.checked, choice.release);
    waitFor(&client, &CatalogueClient::packageLoaded);
    const CataloguePackage package = client.lastPackage();
    if (!package.accepted())
        return refuse(asJson, package.refusal, package.detail);
    if (!package.checked.accepted()) {
        const QString reason = package.checked.refusedBySignature() ? SignatureCheck::stateName(package.checked.signature.state) : QStringLiteral("package-invalid");
        if (asJson)
            CliOutput::json({{QStringLiteral("reason"), reason}, {QStringLiteral("detail"), package.checked.detail()}});
        CliOutput::error(QStringLiteral("velmora-cli: catalogue: refused (%1): %2: %3").arg(reason, package.path, package.checked.detail()));
        return ExitCode::BadPackage;
    }
    if (asJson)
        CliOutput::json({{QStringLiteral("path"), package.path},
                         {QStringLiteral("version"), choice.release.version},
                         {QStringLiteral("channel"), choice.release.channel},
                         {QStringLiteral("sequence"), double(load.checked.index.sequence)},
                         {QStringLiteral("sha256"), QString::fromLatin1(choice.release.sha256.toHex())},
                         {QStringLiteral("offline"), package.fromCache}});
    else
        CliOutput::line(package.path);
    return ExitCode::Success;
}
