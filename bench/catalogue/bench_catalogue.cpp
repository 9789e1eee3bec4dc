// The catalogue's costs: an index of 1,000 releases parsed and checked, and a 64 MiB package
// fetched over HTTPS on the loopback by the catalogue and by curl from the same server, with the
// steps that follow a download timed on their own (digest, package door, its format check).
//   bench_catalogue [ROUNDS]
#include "BenchServer.h"
#include "CatalogueClient.h"
#include "CatalogueFixture.h"
#include "SequenceStore.h"
#include "Sha256.h"
#include "TestPackages.h"
#include "crc16.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

void indexOfAThousand(const QDir &keys, int rounds)
{
    QList<QJsonObject> releases;
    const QByteArray package(65586, 'p');
    for (int i = 0; i < 1000; ++i)
        releases.append(CatalogueFixture::release(QStringLiteral("1.%1").arg(i), i % 3 ? QStringLiteral("stable") : QStringLiteral("beta"),
                                                  package, QStringLiteral("k-%1.ptz").arg(i)));
    QTemporaryDir dir;
    const QByteArray text = CatalogueFixture::index(42, releases);
    const QByteArray signature = CatalogueFixture::writeSigned(QDir(dir.path()), QStringLiteral("catalogue.json"), text, keys, QStringLiteral("maker"));
    const QList<MinisignKey> trusted{CatalogueFixture::loadKey(keys, QStringLiteral("maker"))};
    SequenceStore store(dir.filePath(QStringLiteral("sequences.json")));
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        const CheckedCatalogue checked = CatalogueTrust::check(QStringLiteral("https://bench/catalogue.json"), text, signature, trusted, &store,
                                                               QDateTime::currentDateTimeUtc());
        times.push_back(clock.nsecsElapsed() / 1e6);
        if (!checked.accepted() || checked.index.releases.size() != 1000) {
            std::printf("index check failed\n");
            return;
        }
    }
    std::printf("index of 1000 releases (%lld bytes): signature, parse, sequence, expiry: median %.2f ms (goal < 20 ms)\n",
                static_cast<long long>(text.size()), median(times));
}

void sixtyFourMiB(int rounds)
{
    QTemporaryDir dir;
    if (!TestCertificates::make(QDir(dir.path()))) {
        std::printf("no openssl: fetch not measured\n");
        return;
    }
    TestCertificates::trust(QDir(dir.path()));
    const QString path = dir.filePath(QStringLiteral("big.ptz"));
    writeTestPackage(path, {32 * 1024 * 1024 - 64, 32 * 1024 * 1024 - 64}, 3);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray package = file.readAll();

    // The steps after the download, each on its own: the digest, the package door on the file
    // and on bytes already held, and within it the format's check (its CRC over the whole file).
    {
        QElapsedTimer clock;
        clock.start();
        const HashedBytes hashed = HashedBytes::of(package);
        const qint64 hashMs = clock.restart();
        const PackageCheck opened = CheckedPackage::open(path, false, {});
        const qint64 openMs = clock.restart();
        const PackageCheck checked = CheckedPackage::check(path, hashed, false, {});
        const qint64 checkMs = clock.restart();
        PtzFile ptz;
        const bool unpacked = ptz.unpack(package);
        const qint64 unpackMs = clock.restart();
        const uint16_t crc = crc16(reinterpret_cast<const uint8_t *>(package.constData()), uint32_t(package.size() - 2));
        const qint64 crcMs = clock.restart();
        std::printf("  after the download: SHA-256 %lld ms; CheckedPackage::open (read, SHA-256, signature, format) %lld ms, "
                    "::check of bytes held %lld ms, of which PtzFile::unpack %lld ms, of which its CRC %lld ms%s\n",
                    static_cast<long long>(hashMs), static_cast<long long>(openMs), static_cast<long long>(checkMs),
                    static_cast<long long>(unpackMs), static_cast<long long>(crcMs),
                    opened.accepted() && checked.accepted() && unpacked && crc == ptz.header().crc ? "" : " (refused)");
    }

    // The server runs in a thread of its own, so that both clients meet the same server.
    BenchServer server({{"/big.ptz", {200, package, {}, -1}}}, dir.path());
    const QString base = server.base();

    CatalogueRelease release;
    release.package = QStringLiteral("big.ptz");
    release.size = package.size();
    release.sha256 = QCryptographicHash::hash(package, QCryptographicHash::Sha256);
    CheckedCatalogue catalogue;
    catalogue.refusal = CatalogueReason::None;
    catalogue.url = base + QStringLiteral("catalogue.json");

    std::vector<double> ours, curl, bare;
    for (int round = 0; round < rounds; ++round) {
        QTemporaryDir cache;
        CatalogueClient::Settings settings;
        settings.location = base;
        settings.cacheDir = cache.path();
        CatalogueClient client(settings);
        QElapsedTimer clock;
        clock.start();
        client.fetchPackage(catalogue, release);
        QSignalSpy done(&client, &CatalogueClient::packageLoaded);
        if (!done.wait(120000) || !client.lastPackage().accepted()) {
            std::printf("catalogue fetch failed: %s\n", qPrintable(client.lastPackage().detail));
            break;
        }
        ours.push_back(clock.elapsed());

        QNetworkAccessManager network;
        CatalogueDownload download(&network, {});
        QSignalSpy ended(&download, &CatalogueDownload::finished);
        clock.restart();
        download.start(QUrl(base + QStringLiteral("big.ptz")), package.size());
        if (!ended.wait(120000) || download.outcome() != CatalogueDownload::Outcome::Ok)
            break;
        bare.push_back(clock.elapsed());

        QProcess process;
        clock.restart();
        process.start(QStringLiteral("curl"), {QStringLiteral("-sS"), QStringLiteral("--cacert"), dir.filePath(QStringLiteral("ca.pem")),
                                               QStringLiteral("-o"), cache.filePath(QStringLiteral("curl.ptz")), base + QStringLiteral("big.ptz")});
        if (!process.waitForFinished(120000) || process.exitCode() != 0) {
            std::printf("curl failed: %s\n", process.readAllStandardError().constData());
            break;
        }
        curl.push_back(clock.elapsed());
    }
    server.stop();
    const double a = median(ours), b = median(curl);
    std::printf("64 MiB package over HTTPS on the loopback (%lld bytes): catalogue (fetch, SHA-256, kept, checked) median %.0f ms, "
                "curl -o median %.0f ms: %.2fx (goal <= 1.1x)\n",
                static_cast<long long>(package.size()), a, b, b > 0 ? a / b : 0.0);
    std::printf("  of which the download alone (CatalogueDownload) median %.0f ms: %.2fx curl\n", median(bare), b > 0 ? median(bare) / b : 0.0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    QTemporaryDir keys;
    if (!MinisignTool::makeKey(QDir(keys.path()), QStringLiteral("maker")))
        return 1;
    indexOfAThousand(QDir(keys.path()), rounds * 4);
    sixtyFourMiB(rounds);
    return 0;
}
