// Fetching from a real HTTPS server on the loopback: every fault of the index, the package and
// the server refused with its reason, and nothing kept or handed on from a refused fetch.
#include "CatalogueChoice.h"
#include "CatalogueClient.h"
#include "CatalogueFixture.h"
#include "SequenceStore.h"
#include "TestHttpsServer.h"
#include "TestPackages.h"

#include <QTemporaryDir>
#include <QtTest>

class CatalogueFetchTest : public QObject
{
    Q_OBJECT

    QTemporaryDir keys;
    QTemporaryDir certificates;
    QByteArray package;

    static bool wait(CatalogueClient &client, void (CatalogueClient::*signal)())
    {
        QSignalSpy spy(&client, signal);
        return spy.wait(10000);
    }

private slots:
    void initTestCase()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS backend");
        QVERIFY(MinisignTool::makeKey(QDir(keys.path()), QStringLiteral("maker")));
        QVERIFY(MinisignTool::makeKey(QDir(keys.path()), QStringLiteral("stranger")));
        QVERIFY(TestCertificates::make(QDir(certificates.path())));
        TestCertificates::trust(QDir(certificates.path()));
        QTemporaryDir scratch;
        QCOMPARE(writeTestPackage(scratch.filePath(QStringLiteral("k.ptz")), {3000, 1000}, 7).size(), 2);
        QFile file(scratch.filePath(QStringLiteral("k.ptz")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        package = file.readAll();
    }

    void everyFaultIsRefusedWithItsReason_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("indexReason");
        QTest::addColumn<QString>("packageReason");
        QTest::newRow("sound") << "" << "" << "";
        QTest::newRow("index signed by a stranger") << "stranger" << "catalogue-signature" << "catalogue-signature";
        QTest::newRow("index edited after signing") << "edited" << "catalogue-signature" << "catalogue-signature";
        QTest::newRow("index older than one seen") << "rollback" << "catalogue-rollback" << "catalogue-rollback";
        QTest::newRow("index expired") << "expired" << "catalogue-expired" << "catalogue-expired";
        QTest::newRow("index over 1 MiB") << "huge-index" << "download-failed" << "download-failed";
        QTest::newRow("index redirected to http") << "redirect-http" << "download-failed" << "download-failed";
        QTest::newRow("index behind 6 redirects") << "redirect-6" << "download-failed" << "download-failed";
        QTest::newRow("index behind 5 redirects") << "redirect-5" << "" << "";
        QTest::newRow("package of the wrong digest") << "digest" << "" << "package-digest";
        QTest::newRow("package truncated") << "truncated" << "" << "package-digest";
        QTest::newRow("package longer than listed") << "longer" << "" << "package-digest";
        QTest::newRow("package names a file of this machine") << "local-file" << "" << "download-failed";
        QTest::newRow("package stalls") << "stall" << "" << "download-failed";
        QTest::newRow("server gone, nothing kept") << "gone" << "download-failed" << "download-failed";
        QTest::newRow("server gone, index and package kept") << "gone-kept" << "" << "";
        QTest::newRow("kept package damaged, fetched again") << "damaged-kept" << "" << "";
        QTest::newRow("kept package damaged, server gone") << "gone-damaged-kept" << "" << "download-failed";
        QTest::newRow("kept package signed wrongly, re-signed since") << "resigned-kept" << "" << "";
        QTest::newRow("kept package signed wrongly, offline") << "offline-resigned-kept" << "" << "signature";
    }
    void everyFaultIsRefusedWithItsReason()
    {
        QFETCH(QString, fault);
        QFETCH(QString, indexReason);
        QFETCH(QString, packageReason);
        QTemporaryDir home;
        const QDir keyDir(keys.path());
        const QDir served(home.filePath(QStringLiteral("served")));
        QVERIFY(QDir().mkpath(served.path()));

        QByteArray listed = package;
        // A server's index naming a sound copy of the package on this machine.
        QString packageName = QStringLiteral("k.ptz");
        if (fault == QLatin1String("local-file")) {
            packageName = QUrl::fromLocalFile(home.filePath(QStringLiteral("local.ptz"))).toString();
            QFile local(home.filePath(QStringLiteral("local.ptz")));
            QVERIFY(local.open(QIODevice::WriteOnly) && local.write(package) == package.size());
        }
        if (fault == QLatin1String("digest"))
            listed[100] = char(listed[100] ^ 1);
        QByteArray text = CatalogueFixture::index(
            42, {CatalogueFixture::release(QStringLiteral("1.07"), QStringLiteral("stable"), listed, packageName)},
            QDateTime::currentDateTimeUtc().addSecs(fault == QLatin1String("expired") ? -60 : 86400));
        if (fault == QLatin1String("huge-index"))
            text.replace("\"format\"", "\"padding\": \"" + QByteArray(CatalogueIndex::SizeLimit, 'x') + "\", \"format\"");
        QByteArray signature = CatalogueFixture::writeSigned(served, QStringLiteral("catalogue.json"), text, keyDir,
                                                             fault == QLatin1String("stranger") ? QStringLiteral("stranger") : QStringLiteral("maker"));
        QVERIFY(!signature.isEmpty());
        if (fault == QLatin1String("edited"))
            text.replace("\"stable\"", "\"beta\"  ");

        TestHttpsServer server;
        QVERIFY(server.listen(certificates.path()));
        QByteArray served_package = package;
        if (fault == QLatin1String("truncated"))
            served_package.chop(100);
        if (fault == QLatin1String("longer"))
            served_package += QByteArray(100, '\0');
        server.routes.insert("/catalogue.json", {200, text, {}, -1});
        server.routes.insert("/catalogue.json.minisig", {200, signature, {}, -1});
        server.routes.insert("/k.ptz", {200, served_package, {}, fault == QLatin1String("stall") ? 1000 : -1});
        if (fault.contains(QLatin1String("resigned")))
            server.routes.insert("/k.ptz.minisig", {200, CatalogueFixture::writeSigned(served, QStringLiteral("k.ptz"), package, keyDir, QStringLiteral("stranger")), {}, -1});
        QString location = server.base();
        if (fault.startsWith(QLatin1String("redirect"))) {
            const int hops = fault == QLatin1String("redirect-6") ? 6 : (fault == QLatin1String("redirect-5") ? 5 : 1);
            for (const QByteArray &name : {QByteArray("/catalogue.json"), QByteArray("/catalogue.json.minisig")}) {
                for (int hop = 0; hop < hops; ++hop) {
                    const QByteArray target = hop + 1 < hops ? "/r" + QByteArray::number(hop + 1) + name : name;
                    const QByteArray origin = fault == QLatin1String("redirect-http") ? "http://127.0.0.1:9" : server.base().chopped(1).toLatin1();
                    server.routes.insert("/r" + QByteArray::number(hop) + name, {302, {}, origin + target, -1});
                }
            }
            server.routes.insert("/r0/k.ptz", server.routes.value("/k.ptz"));
            location = server.base() + QStringLiteral("r0/");
        }

        CatalogueClient::Settings settings;
        settings.location = location;
        settings.trusted = {CatalogueFixture::loadKey(keyDir, QStringLiteral("maker"))};
        settings.cacheDir = home.filePath(QStringLiteral("cache"));
        settings.sequencePath = home.filePath(QStringLiteral("state/sequences.json"));
        settings.timeouts = {2000, 300};
        if (fault == QLatin1String("rollback"))
            QCOMPARE(SequenceStore(settings.sequencePath).record(CatalogueClient::indexUrl(location).toString(QUrl::FullyEncoded), 43), QString());
        if (fault.endsWith(QLatin1String("kept"))) {
            CatalogueClient first(settings);
            first.loadIndex();
            QVERIFY(wait(first, &CatalogueClient::indexLoaded));
            first.fetchPackage(first.lastIndex().checked, first.lastIndex().checked.index.releases.value(0));
            QVERIFY(wait(first, &CatalogueClient::packageLoaded));
            QVERIFY(first.lastPackage().accepted());
            if (fault.endsWith(QLatin1String("damaged-kept"))) {
                // Another sound package of the same size in its place: only the digest tells.
                const QString kept = first.lastPackage().path;
                QVERIFY(QFile::remove(kept));
                QCOMPARE(writeTestPackage(kept, {3000, 1000}, 8).size(), 2);
                QCOMPARE(QFileInfo(kept).size(), package.size());
            }
            // The maker signs the package again with the right key; offline it is not asked.
            server.routes.insert("/k.ptz.minisig", {200, CatalogueFixture::writeSigned(served, QStringLiteral("k.ptz"), package, keyDir, QStringLiteral("maker")), {}, -1});
            settings.offline = fault.startsWith(QLatin1String("offline"));
        }
        if (fault.startsWith(QLatin1String("gone")))
            server.close();

        CatalogueClient client(settings);
        client.loadIndex();
        QVERIFY(wait(client, &CatalogueClient::indexLoaded));
        const CatalogueLoad &loaded = client.lastIndex();
        QCOMPARE(CatalogueReasons::name(loaded.checked.refusal), indexReason);
        QCOMPARE(loaded.fromCache, (fault.startsWith(QLatin1String("gone-")) || settings.offline) && fault.endsWith(QLatin1String("kept")));

        CatalogueRelease release = loaded.checked.index.releases.value(0);
        QSignalSpy progress(&client, &CatalogueClient::packageProgress);
        client.fetchPackage(loaded.checked, release);
        QVERIFY(wait(client, &CatalogueClient::packageLoaded));
        const CataloguePackage &fetched = client.lastPackage();
        QCOMPARE(CatalogueReasons::name(fetched.refusal), packageReason == QLatin1String("signature") ? QString() : packageReason);
        const QStringList kept = QDir(settings.cacheDir + QStringLiteral("/packages")).entryList({QStringLiteral("*.ptz")}, QDir::Files);
        // Nothing half-written is left beside the kept packages.
        QCOMPARE(QDir(settings.cacheDir + QStringLiteral("/packages")).entryList({QStringLiteral("*.part")}, QDir::Files), QStringList());
        if (packageReason.isEmpty()) {
            // What is handed on is exactly the package served, checked by the package door.
            QVERIFY(fetched.checked.accepted());
            QCOMPARE(fetched.checked.package->bytes(), package);
            QCOMPARE(fetched.fromCache, fault == QLatin1String("gone-kept"));
            QCOMPARE(kept.size(), 1);
            if (!fetched.fromCache)
                QVERIFY(!progress.isEmpty());
        } else if (packageReason == QLatin1String("signature")) {
            QVERIFY(fetched.checked.refusedBySignature() && fetched.fromCache); // handed on refused, with its reason
        } else {
            QVERIFY(fetched.path.isEmpty());
            QVERIFY(!fetched.checked.accepted());
            QCOMPARE(kept.size(), 0); // the damaged one was removed, never handed on
        }
    }
};

QTEST_MAIN(CatalogueFetchTest)
#include "tst_catalogue_fetch.moc"
