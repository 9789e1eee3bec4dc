// Index and package fetching, the cache beside them, and the offline fall-back.
#include "CatalogueClient.h"
#include "CatalogueLog.h"
#include "PackageFileReader.h"
#include "PackageSignature.h"
#include "SequenceStore.h"
#include "Sha256.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cstdio>

#include <functional>

namespace {

const QString IndexName = QStringLiteral("catalogue.json");
const QString SignatureSuffix = QStringLiteral(".minisig");

// Starts one download whose end calls `then` with it; the download goes away afterwards.
CatalogueDownload *fetch(QObject *owner, QNetworkAccessManager *network, const CatalogueDownload::Timeouts &timeouts,
                         const QUrl &url, qint64 limit, std::function<void(CatalogueDownload *)> then, QIODevice *copy = nullptr)
{
    auto *download = new CatalogueDownload(network, timeouts, owner);
    QObject::connect(download, &CatalogueDownload::finished, owner, [download, then] {
        then(download);
        download->deleteLater();
    });
    download->start(url, limit, copy);
    return download;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

// A package is kept in a file of its own name in the same folder, written as it downloads and
// renamed over its place in one step once its digest holds, so that a reader never meets half a
// file and two programs fetching at once (the window and the command line share the cache) never
// write into one file. Where the system allows, the temporary file has no name in the folder until
// it is kept, so a refused fetch or a program that dies leaves nothing behind. It is not flushed to
// the disk first (that would cost as long again as the download): a package kept only partly
// after a power cut fails its digest when it is next taken and is fetched again.
bool keepPart(QTemporaryFile *part, const QString &path)
{
    if (!part->flush() || ::rename(QFile::encodeName(part->fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    part->setAutoRemove(false);
    return true;
}

QString fetchFailure(const CatalogueDownload *download, const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, download->detail());
}

} // namespace

CatalogueClient::CatalogueClient(const Settings &given, QObject *parent)
    : QObject(parent), settings(given), network(new QNetworkAccessManager(this))
{
    // http_proxy, https_proxy and no_proxy as the rest of the system uses them.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    if (settings.cacheDir.isEmpty())
        settings.cacheDir = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Velmora/catalogue");
    if (settings.sequencePath.isEmpty())
        settings.sequencePath = SequenceStore::defaultPath();
}

CatalogueClient::~CatalogueClient() = default;

QUrl CatalogueClient::indexUrl(const QString &location)
{
    QUrl url = QUrl(location, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().size() < 2) // a plain path, or "C:"-like
        url = QUrl::fromLocalFile(QFileInfo(location).absoluteFilePath());
    if (url.path().endsWith(QLatin1String(".json")))
        return url;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + IndexName);
    return url;
}

QString CatalogueClient::shownUrl(const QString &url)
{
    const QUrl parsed(url);
    return parsed.isValid() ? parsed.toString(QUrl::RemoveUserInfo | QUrl::FullyEncoded) : QString();
}

QString CatalogueClient::catalogueCacheDir() const
{
    const QByteArray key = Sha256::of(indexUrl(settings.location).toEncoded());
    return settings.cacheDir + QStringLiteral("/indexes/") + QString::fromLatin1(key.toHex().left(24));
}

QString CatalogueClient::packagePath(const QByteArray &sha256) const
{
    return settings.cacheDir + QStringLiteral("/packages/") + QString::fromLatin1(sha256.toHex()) + QStringLiteral(".ptz");
}

void CatalogueClient::loadIndex()
{
    index = CatalogueLoad();
    if (settings.offline) {
        QMetaObject::invokeMethod(this, [this] { useCachedIndex(QStringLiteral("offline")); }, Qt::QueuedConnection);
        return;
    }
    const QUrl url = indexUrl(settings.location);
    fetch(this, network, settings.timeouts, url, CatalogueIndex::SizeLimit, [this, url](CatalogueDownload *body) {
        if (body->outcome() != CatalogueDownload::Outcome::Ok) {
            indexFetched({}, {}, fetchFailure(body, IndexName));
            return;
        }
        const QByteArray bytes = body->bytes();
        QUrl signatureUrl = url;
        signatureUrl.setPath(url.path() + SignatureSuffix);
        fetch(this, network, settings.timeouts, signatureUrl, PackageSignature::SignatureSizeLimit,
              [this, bytes](CatalogueDownload *signature) {
                  // A missing signature is not a network fault: the index is refused for it.
                  if (signature->outcome() == CatalogueDownload::Outcome::Ok || signature->outcome() == CatalogueDownload::Outcome::Missing)
                      indexFetched(bytes, signature->bytes(), {});
                  else
                      indexFetched({}, {}, fetchFailure(signature, IndexName + SignatureSuffix));
              });
    });
}

void CatalogueClient::indexFetched(const QByteArray &bytes, const QByteArray &signature, const QString &failure)
{
    if (!failure.isEmpty()) {
        useCachedIndex(failure);
        return;
    }
    SequenceStore store(settings.sequencePath);
    const QString url = indexUrl(settings.location).toString(QUrl::FullyEncoded);
    index.checked = CatalogueTrust::check(url, bytes, signature, settings.trusted, &store, QDateTime::currentDateTimeUtc());
    // Only what was believed is kept, so that the cache never holds an index it would refuse.
    if (index.checked.usable()) {
        const QString dir = catalogueCacheDir();
        if (!writeFile(dir + QLatin1Char('/') + IndexName + SignatureSuffix, signature) || !writeFile(dir + QLatin1Char('/') + IndexName, bytes))
            qCWarning(lcCatalogue) << "cannot keep the index in" << dir;
        index.cachedAt = QDateTime::currentDateTimeUtc();
    }
    emit indexLoaded();
}

void CatalogueClient::useCachedIndex(const QString &failure)
{
    const QString dir = catalogueCacheDir();
    const PackageFileReader::Result bytes = PackageFileReader::read(dir + QLatin1Char('/') + IndexName, CatalogueIndex::SizeLimit);
    const PackageFileReader::Result signature =
        PackageFileReader::read(dir + QLatin1Char('/') + IndexName + SignatureSuffix, PackageSignature::SignatureSizeLimit);
    index.networkDetail = failure;
    if (bytes.outcome != PackageFileReader::Outcome::Ok || signature.outcome != PackageFileReader::Outcome::Ok) {
        index.checked.url = indexUrl(settings.location).toString(QUrl::FullyEncoded);
        index.checked.refusal = CatalogueReason::Download;
        index.checked.detail = failure + QStringLiteral(", and no index is kept from before");
        emit indexLoaded();
        return;
    }
    // The kept index is checked again: the cache folder is only as safe as the user's files.
    index.fromCache = true;
    SequenceStore store(settings.sequencePath);
    index.checked = CatalogueTrust::check(indexUrl(settings.location).toString(QUrl::FullyEncoded), bytes.bytes, signature.bytes,
                                          settings.trusted, &store, QDateTime::currentDateTimeUtc());
    index.cachedAt = QFileInfo(dir + QLatin1Char('/') + IndexName).lastModified().toUTC();
    emit indexLoaded();
}

bool CatalogueClient::keptPackage(const CatalogueRelease &release)
{
    const QString path = packagePath(release.sha256);
    PackageFileReader::Result read = PackageFileReader::read(path, release.size);
    if (read.outcome == PackageFileReader::Outcome::Missing)
        return false;
    // Read once: the bytes whose digest is checked here are the ones the door checks.
    const HashedBytes kept = HashedBytes::of(std::move(read.bytes));
    const bool whole = read.outcome == PackageFileReader::Outcome::Ok && kept.size() == release.size && kept.sha256() == release.sha256;
    const PackageCheck checked = whole ? CheckedPackage::check(path, kept, settings.requireSigned, settings.trusted) : PackageCheck();
    if (whole && (checked.accepted() || settings.offline)) {
        // Offline a kept package refused by its own check is handed on refused, with its reason.
        package.fromCache = true;
        package.path = path;
        package.checked = checked;
        endPackage(CatalogueReason::None, {});
        return true;
    }
    if (settings.offline) {
        endPackage(CatalogueReason::Digest, QStringLiteral("offline, and the kept %1 is damaged (size or SHA-256)").arg(release.version));
        return true;
    }
    // A kept package or signature that fails (damaged, or signed wrongly and re-signed since)
    // is fetched again once rather than refused for good.
    qCDebug(lcCatalogue) << "kept package" << path << "refused, fetched again:" << (whole ? checked.detail() : QStringLiteral("damaged"));
    QFile::remove(path);
    QFile::remove(path + SignatureSuffix);
    return false;
}

void CatalogueClient::fetchPackage(const CheckedCatalogue &catalogue, const CatalogueRelease &release)
{
    package = CataloguePackage();
    if (!catalogue.usable()) {
        QMetaObject::invokeMethod(this, [this, catalogue] { endPackage(catalogue.refusal, catalogue.detail); }, Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(this, [this, catalogue, release] {
        if (keptPackage(release))
            return;
        if (settings.offline) {
            endPackage(CatalogueReason::Download, QStringLiteral("offline, and %1 is not kept from before").arg(release.version));
            return;
        }
        if (catalogue.refusal == CatalogueReason::Expired) {
            endPackage(CatalogueReason::Expired, catalogue.detail);
            return;
        }
        const QUrl url = QUrl(catalogue.url).resolved(QUrl(release.package));
        // An index from a server names packages on servers: never a file of this machine.
        if (!QUrl(catalogue.url).isLocalFile() && (url.isLocalFile() || url.scheme().isEmpty())) {
            endPackage(CatalogueReason::Download, QStringLiteral("%1 names a local file").arg(release.package));
            return;
        }
        const QString path = packagePath(release.sha256);
        QDir().mkpath(QFileInfo(path).absolutePath());
        part = std::make_unique<QTemporaryFile>(path + QStringLiteral(".XXXXXX.part"));
        if (!part->open()) {
            endPackage(CatalogueReason::Download, QStringLiteral("cannot keep the package in %1").arg(path));
            return;
        }
        auto *body = fetch(this, network, settings.timeouts, url, qMin(release.size, PackageFileReader::SizeLimit),
                           [this, release, url](CatalogueDownload *body) {
            if (body->outcome() == CatalogueDownload::Outcome::TooLarge) {
                endPackage(CatalogueReason::Digest, QStringLiteral("longer than the %1 bytes listed").arg(release.size));
                return;
            }
            if (body->outcome() != CatalogueDownload::Outcome::Ok) {
                endPackage(CatalogueReason::Download, fetchFailure(body, release.package));
                return;
            }
            // Hashed as it arrived: its digest is ready with its last byte.
            const HashedBytes bytes = body->hashed();
            QUrl signatureUrl = url;
            signatureUrl.setPath(url.path() + SignatureSuffix);
            fetch(this, network, settings.timeouts, signatureUrl, PackageSignature::SignatureSizeLimit,
                  [this, release, bytes](CatalogueDownload *signature) {
                      if (signature->outcome() == CatalogueDownload::Outcome::Ok || signature->outcome() == CatalogueDownload::Outcome::Missing)
                          packageFetched(release, bytes, signature->bytes());
                      else
                          endPackage(CatalogueReason::Download, fetchFailure(signature, release.package + SignatureSuffix));
                  });
        }, part.get());
        connect(body, &CatalogueDownload::progress, this, &CatalogueClient::packageProgress);
    }, Qt::QueuedConnection);
}

void CatalogueClient::packageFetched(const CatalogueRelease &release, const HashedBytes &bytes, const QByteArray &signature)
{
    if (bytes.size() != release.size) {
        endPackage(CatalogueReason::Digest, QStringLiteral("%1 bytes, not the %2 listed").arg(bytes.size()).arg(release.size));
        return;
    }
    if (bytes.sha256() != release.sha256) {
        endPackage(CatalogueReason::Digest, QStringLiteral("its SHA-256 is not the one listed"));
        return;
    }
    const QString path = packagePath(release.sha256);
    QFile::remove(path + SignatureSuffix);
    if ((!signature.isEmpty() && !writeFile(path + SignatureSuffix, signature)) || !part || !keepPart(part.get(), path)) {
        endPackage(CatalogueReason::Download, QStringLiteral("cannot keep the package in %1").arg(path));
        return;
    }
    package.path = path;
    // The same checks as every package (format, its own signature), on the bytes held: the
    // file just written is not read back.
    package.checked = CheckedPackage::check(path, bytes, settings.requireSigned, settings.trusted);
    endPackage(CatalogueReason::None, {});
}

void CatalogueClient::endPackage(CatalogueReason refusal, const QString &detail)
{
    part.reset(); // a file not kept goes with it
    package.refusal = refusal;
    package.detail = detail;
    if (refusal != CatalogueReason::None) {
        package.checked = PackageCheck();
        package.path.clear();
    }
    emit packageLoaded();
}
