// A catalogue as a user meets it: the index fetched and checked (or the cached one, offline),
// and a release's package fetched, pinned to its listed size and digest, and kept.
#pragma once

#include "CatalogueDownload.h"
#include "CatalogueTrust.h"
#include "CheckedPackage.h"

#include <QDateTime>
#include <QObject>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QTemporaryFile;

// The index as the client ended up with it.
struct CatalogueLoad
{
    CheckedCatalogue checked;
    bool fromCache = false;  // the kept index was used (offline, or the catalogue unreachable)
    QString networkDetail;   // why the cached index was used, when it was
    QDateTime cachedAt;      // when the cached index was fetched
};

// A release's package, or why there is none. An accepted catalogue package still carries its
// own check (`checked`): its format and any signature of its own, as for any package.
struct CataloguePackage
{
    CatalogueReason refusal = CatalogueReason::Download;
    QString detail;
    QString path;           // the kept package, named by its digest
    bool fromCache = false; // flashed without the network
    PackageCheck checked;

    bool accepted() const { return refusal == CatalogueReason::None; }
};

// Lives in the thread that owns it (its QNetworkAccessManager is its child); one request at a time.
class CatalogueClient : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        QString location;  // https://, http://, file:// URL or a folder path; the folder of catalogue.json
        bool offline = false;
        QList<MinisignKey> trusted;
        QString cacheDir;     // default: the user's cache folder + "/Velmora/catalogue", shared by the window and the command line
        QString sequencePath; // default: SequenceStore::defaultPath()
        CatalogueDownload::Timeouts timeouts;
        bool requireSigned = false;
    };

    explicit CatalogueClient(const Settings &settings, QObject *parent = nullptr);
    ~CatalogueClient() override;

    // The index's URL for a location: LOCATION/catalogue.json, or the location itself when it
    // names a .json file. Plain paths become file:// URLs.
    static QUrl indexUrl(const QString &location);
    // A catalogue URL as a record or a screen shows it: a catalogue behind a login may carry the
    // login in its URL, and the journal is read on a whole line. Empty for an invalid URL.
    static QString shownUrl(const QString &url);

    // Fetches and checks the index; indexLoaded() follows once with lastIndex() filled.
    void loadIndex();
    // Fetches the package of `release` from `catalogue` (or takes the kept one);
    // packageLoaded() follows once with lastPackage() filled.
    void fetchPackage(const CheckedCatalogue &catalogue, const CatalogueRelease &release);

    const CatalogueLoad &lastIndex() const { return index; }
    const CataloguePackage &lastPackage() const { return package; }

signals:
    void indexLoaded();
    void packageProgress(qint64 received, qint64 total);
    void packageLoaded();

private:
    QString catalogueCacheDir() const;
    QString packagePath(const QByteArray &sha256) const;
    void indexFetched(const QByteArray &bytes, const QByteArray &signature, const QString &failure);
    void useCachedIndex(const QString &failure);
    bool keptPackage(const CatalogueRelease &release);
    void packageFetched(const CatalogueRelease &release, const HashedBytes &bytes, const QByteArray &signature);
    void endPackage(CatalogueReason refusal, const QString &detail);

    Settings settings;
    QNetworkAccessManager *network;
    CatalogueLoad index;
    CataloguePackage package;
    std::unique_ptr<QTemporaryFile> part; // the package being fetched, until it is kept
};
