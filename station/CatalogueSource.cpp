// One gimbal at a time: the catalogue's index (loaded once), the release for its chips, its package.
#include "CatalogueSource.h"

#include "CatalogueChoice.h"
#include "StationLog.h"

#include <QUrl>

UpdateEnding CatalogueResult::ending() const
{
    return UpdateEnding::refusedByCatalogue(refusal);
}

CatalogueSource::CatalogueSource(const CatalogueClient::Settings &settings, const Request &wanted, QObject *parent)
    : QObject(parent)
    , client(settings)
    , location(settings.location)
    , request(wanted)
{
    connect(&client, &CatalogueClient::indexLoaded, this, [this] {
        indexLoaded = true;
        choose();
    });
    connect(&client, &CatalogueClient::packageLoaded, this, &CatalogueSource::packageLoaded);
}

void CatalogueSource::resolve(const QList<chipInfo> &chips, std::function<void(const CatalogueResult &)> done)
{
    jobs.append({chips, std::move(done)});
    QMetaObject::invokeMethod(this, &CatalogueSource::next, Qt::QueuedConnection);
}

void CatalogueSource::next()
{
    if (busy || jobs.isEmpty())
        return;
    busy = true;
    current = CatalogueResult();
    current.origin.url = CatalogueClient::shownUrl(CatalogueClient::indexUrl(location).toString());
    if (indexLoaded)
        choose();
    else
        client.loadIndex();
}

void CatalogueSource::choose()
{
    const CatalogueLoad &load = client.lastIndex();
    current.indexFromCache = load.fromCache;
    if (!load.checked.url.isEmpty())
        current.origin.url = CatalogueClient::shownUrl(load.checked.url);
    // An expired index still chooses, and its kept packages may be flashed, online as offline;
    // the client refuses new downloads from it.
    if (!load.checked.usable()) {
        current.refusal = load.checked.refusal;
        current.detail = load.checked.detail;
        end();
        return;
    }
    current.origin.sequence = load.checked.index.sequence;
    const CatalogueChoice choice = CatalogueMatch::choose(load.checked.index, CatalogueTarget::fromChips(jobs.first().chips),
                                                          request.channel, request.wanted, request.allowOlder);
    if (!choice.release.version.isEmpty()) {
        current.origin.version = choice.release.version;
        current.origin.channel = choice.release.channel;
        current.origin.package = QUrl(choice.release.package).fileName();
    }
    if (!choice.chosen()) {
        current.refusal = choice.refusal;
        current.detail = choice.detail;
        end();
        return;
    }
    qCDebug(lcStation) << "catalogue: release" << choice.release.version << "for" << jobs.first().chips.size() << "chips";
    client.fetchPackage(load.checked, choice.release);
}

void CatalogueSource::packageLoaded()
{
    if (!busy)
        return;
    const CataloguePackage &package = client.lastPackage();
    current.fromCache = package.fromCache;
    if (package.accepted()) {
        current.package = package.checked;
    } else {
        current.refusal = package.refusal;
        current.detail = package.detail;
    }
    end();
}

void CatalogueSource::end()
{
    const Job job = jobs.takeFirst();
    busy = false;
    job.done(current);
    next();
}
