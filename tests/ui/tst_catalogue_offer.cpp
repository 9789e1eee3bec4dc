// End to end: the simulator's bootloader listed, a signed catalogue on a loopback HTTPS server,
// and the firmware tab's offer of the release for those chips, down to the package box.
#include "CatalogueFixture.h"
#include "CatalogueSettings.h"
#include "FirmwareProbe.h"
#include "IsolatedSettings.h"
#include "JournalRows.h"
#include "Sha256.h"
#include "SimulatedSession.h"
#include "TestHttpsServer.h"
#include "TestPackages.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QToolButton>
#include <QGroupBox>
#include <QTemporaryDir>

namespace {

constexpr int kWaitMs = 20000;
const QStringList kBootloader = {QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip")};

} // namespace

class CatalogueOfferTest : public QObject
{
    Q_OBJECT

    QTemporaryDir keys;
    QTemporaryDir certificates;
    std::unique_ptr<QTemporaryDir> home;
    QByteArray package;
    SimulatedSession session;
    std::unique_ptr<FirmwareProbe> fw;

    template<typename T>
    T *offerWidget(const char *name) const { return session.window->findChild<T *>(QLatin1String(name)); }
    QGroupBox *group() const { return offerWidget<QGroupBox>("catalogueGroup"); }
    QString stateWords() const { return offerWidget<QLabel>("catalogueStateWords")->text(); }

    // The maker's folder as routes: 1.07 and 0.90 stable, 1.10 beta and 2.00 for other chips;
    // the index signed by `signer`, the 1.07 package altered after indexing when `tamper`.
    void serve(TestHttpsServer &server, const QString &signer, bool tamper, qint64 stallAfter)
    {
        using namespace CatalogueFixture;
        const QByteArray index = CatalogueFixture::index(3, {release(QStringLiteral("0.90"), QStringLiteral("stable"), package, QStringLiteral("k5-0.90.ptz")),
                                                             release(QStringLiteral("1.07"), QStringLiteral("stable"), package, QStringLiteral("k5-1.07.ptz")),
                                                             release(QStringLiteral("1.10"), QStringLiteral("beta"), package, QStringLiteral("k5-1.10.ptz")),
                                                             release(QStringLiteral("2.00"), QStringLiteral("stable"), package, QStringLiteral("k5-2.00.ptz"),
                                                                     {QStringLiteral("0101")})});
        const QByteArray signature = writeSigned(QDir(home->path()), QStringLiteral("catalogue.json"), index, QDir(keys.path()), signer);
        QVERIFY(!signature.isEmpty());
        QByteArray served = package;
        if (tamper)
            served[200] = char(served[200] ^ 0x55);
        server.routes.insert("/catalogue.json", {200, index, {}, -1});
        server.routes.insert("/catalogue.json.minisig", {200, signature, {}, -1});
        server.routes.insert("/k5-1.07.ptz", {200, served, {}, stallAfter});
        server.routes.insert("/k5-0.90.ptz", {200, package, {}, -1});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(MinisignTool::makeKey(QDir(keys.path()), QStringLiteral("maker")));
        QVERIFY(MinisignTool::makeKey(QDir(keys.path()), QStringLiteral("stranger")));
        QVERIFY(TestCertificates::make(QDir(certificates.path())));
        TestCertificates::trust(QDir(certificates.path()));
        QTemporaryDir scratch;
        QCOMPARE(writeTestPackage(scratch.filePath(QStringLiteral("k.ptz")), {3000, 1000}, 9).size(), 2);
        QFile file(scratch.filePath(QStringLiteral("k.ptz")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        package = file.readAll();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void init()
    {
        // Fresh trusted keys, cache and seen sequences for every row: a kept package must not
        // stand in for the one a row serves.
        IsolatedSettings::reset();
        JournalRows::clear();
        // The catalogue's settings live in the program's own settings file, not the test's.
        CatalogueSettings::setLocation(QString());
        CatalogueSettings::setChannel(QString());
        home = std::make_unique<QTemporaryDir>();
        for (const char *key : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
            qputenv(key, (home->path() + QLatin1Char('/') + QLatin1String(key)).toLocal8Bit());
        const QString trusted = home->filePath(QStringLiteral("XDG_CONFIG_HOME/Velmora/trusted-keys"));
        QVERIFY(QDir().mkpath(trusted));
        QVERIFY(QFile::copy(QDir(keys.path()).filePath(QStringLiteral("maker.pub")), trusted + QStringLiteral("/maker.pub")));
    }

    void cleanup()
    {
        fw.reset();
        session.end();
        qunsetenv("VELMORA_CATALOGUE");
    }

    void offerFollowsTheCatalogue_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("words"); // the group's last words; empty: the package came
        QTest::newRow("sound") << "" << "";
        QTest::newRow("kept file swapped before Upgrade") << "swapped" << "";
        QTest::newRow("index signed by a stranger") << "stranger" << CatalogueOffer::reasonWords(CatalogueReason::Signature);
        QTest::newRow("index edited after signing") << "edited" << QStringLiteral("目录在签名之后被改动过");
        QTest::newRow("index without its signature file") << "unsigned" << QStringLiteral("目录没有签名文件（catalogue.json.minisig）");
        QTest::newRow("package changed after indexing")
            << "digest" << QStringLiteral("1.07 未下载：") + CatalogueOffer::reasonWords(CatalogueReason::Digest);
        QTest::newRow("older release declined") << "older" << "";
        QTest::newRow("port closed mid-download") << "close" << "";
        QTest::newRow("offline: the kept index, the package unreachable")
            << "offline" << QStringLiteral("1.07 未下载：") + CatalogueOffer::reasonWords(CatalogueReason::Download);
        QTest::newRow("no catalogue set") << "unset" << "";
    }
    void offerFollowsTheCatalogue()
    {
        QFETCH(QString, fault);
        QFETCH(QString, words);
        TestHttpsServer server;
        QVERIFY(server.listen(certificates.path()));
        serve(server, fault == QLatin1String("stranger") ? QStringLiteral("stranger") : QStringLiteral("maker"),
              fault == QLatin1String("digest"), fault == QLatin1String("close") ? 100 : -1);
        if (fault == QLatin1String("edited"))
            server.routes["/catalogue.json"].body.replace("\"0.90\"", "\"0.09\"");
        if (fault == QLatin1String("unsigned"))
            server.routes.remove("/catalogue.json.minisig");
        if (fault != QLatin1String("unset"))
            qputenv("VELMORA_CATALOGUE", server.base().toUtf8());
        if (fault == QLatin1String("offline")) {
            // The index was fetched once before (and kept); the server has gone since.
            CatalogueClient::Settings settings;
            settings.location = server.base();
            settings.trusted = {CatalogueFixture::loadKey(QDir(keys.path()), QStringLiteral("maker"))};
            CatalogueClient earlier(settings);
            QSignalSpy loaded(&earlier, &CatalogueClient::indexLoaded);
            earlier.loadIndex();
            QVERIFY(loaded.wait(kWaitMs));
            QVERIFY(earlier.lastIndex().checked.accepted());
            server.close();
        }

        const QString flash = home->filePath(QStringLiteral("flash"));
        QVERIFY(QDir().mkpath(flash));
        QVERIFY(session.start(kBootloader + QStringList{QStringLiteral("--flash-dir"), flash}));
        fw = std::make_unique<FirmwareProbe>(*session.probe);
        fw->showFirmwareTab();
        const QStringList before = fw->pathItems();
        QTest::mouseClick(fw->connectButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(fw->devices()->rowCount(), 2, kWaitMs);
        if (fault == QLatin1String("unset")) {
            QTRY_COMPARE(fw->connectButton()->text(), QStringLiteral("已连接"));
            QVERIFY(!group()->isVisible());
            QCOMPARE(server.requests, 0);
            return;
        }
        QVERIFY(group()->isVisible());
        auto *download = offerWidget<QPushButton>("catalogueDownloadButton");
        if (fault == QLatin1String("stranger") || fault == QLatin1String("edited") || fault == QLatin1String("unsigned")) {
            QTRY_COMPARE_WITH_TIMEOUT(stateWords(), words, kWaitMs);
            QVERIFY(!download->isVisible());
            QCOMPARE(fw->pathItems(), before);
            return;
        }
        // The newest stable release for these chips, against the running firmware.
        QTRY_VERIFY_WITH_TIMEOUT(download->isVisible(), kWaitMs);
        auto *releases = offerWidget<QComboBox>("catalogueReleaseBox");
        QCOMPARE(releases->count(), 2);
        QCOMPARE(releases->currentText(), QStringLiteral("1.07"));
        QCOMPARE(offerWidget<QLabel>("catalogueVersionWords")->text(), QStringLiteral("1.07（正在运行 1.00），发布于 2026-12-01"));
        QCOMPARE(offerWidget<QLabel>("catalogueNotesWords")->text(), QStringLiteral("Smoother pan."));
        if (fault == QLatin1String("offline")) {
            const qint64 days = QDateTime::fromString(QStringLiteral("2026-12-01T10:00:00Z"), Qt::ISODate).daysTo(QDateTime::currentDateTimeUtc());
            QCOMPARE(stateWords(), QStringLiteral("目录发布于 2026-12-01，已 %1 天，离线").arg(days));
        }

        if (fault == QLatin1String("older")) {
            releases->setCurrentIndex(1);
            QTimer::singleShot(0, [] {
                QTRY_VERIFY(QApplication::activeModalWidget());
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                QVERIFY(box && box->objectName() == QLatin1String("olderReleaseQuestion"));
                box->button(QMessageBox::No)->click();
            });
            download->click();
            QVERIFY(download->isEnabled());
            QCOMPARE(server.requests, 2); // the index and its signature, no package
            QCOMPARE(fw->pathItems(), before);
            return;
        }

        download->click();
        QVERIFY(!download->isEnabled());
        download->click(); // a second press starts nothing
        if (fault == QLatin1String("close")) {
            QTRY_COMPARE_WITH_TIMEOUT(server.requests, 3, kWaitMs);
            QTest::mouseClick(session.probe->openButton(), Qt::LeftButton);
            QVERIFY(!group()->isVisible());
            QCOMPARE(fw->pathItems(), before);
            QVERIFY(!session.window->offeredPackage());
            return;
        }
        if (!words.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(stateWords(), words, kWaitMs);
            QCOMPARE(fw->pathItems(), before);
            QVERIFY(!session.window->offeredPackage());
            QVERIFY(download->isEnabled());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(session.window->offeredPackage().has_value(), kWaitMs);
        QCOMPARE(server.requests, 4); // index, signature, package, its missing signature
        const OfferedPackage offered = *session.window->offeredPackage();
        const CatalogueOrigin &origin = offered.origin;
        QCOMPARE(fw->paths()->currentText(), offered.package.path());
        QFile kept(offered.package.path());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), package);
        // Another valid package put in the kept file's place after the check.
        if (fault == QLatin1String("swapped"))
            QCOMPARE(writeTestPackage(offered.package.path(), {3000, 1000}, 8).size(), 2);
        QCOMPARE(origin.url, server.base() + QStringLiteral("catalogue.json"));
        QCOMPARE(origin.sequence, 3);
        QCOMPARE(origin.version, QStringLiteral("1.07"));
        QCOMPARE(origin.channel, QStringLiteral("stable"));
        QCOMPARE(FirmwareProbe::row(fw->firmware(), 0).mid(1, 2), QStringList({"4B35", "0101"}));
        // Upgraded from there, the journal's record names the catalogue's release.
        QTest::mouseClick(fw->downloadButton(), Qt::LeftButton);
        const auto recorded = [] {
            for (const JournalRecord &r : JournalRows::all())
                if (r.outcome == QLatin1String("success"))
                    return r;
            return JournalRecord();
        };
        QTRY_VERIFY_WITH_TIMEOUT(recorded().catalogue.isSet(), 4 * kWaitMs);
        QCOMPARE(recorded().catalogue.url, origin.url);
        QCOMPARE(recorded().catalogue.version, QStringLiteral("1.07"));
        // The bytes checked at the download are written and recorded, whatever the file holds now.
        QCOMPARE(recorded().packageSha256, QString::fromLatin1(Sha256::of(package).toHex()));
        PtzFile ptz;
        QVERIFY(ptz.unpack(package));
        QVERIFY(flashHoldsImages(flash, {ptz.header().images[0].data, ptz.header().images[1].data}));
        // Another package chosen: the origin goes with the catalogue's one.
        const QString other = home->filePath(QStringLiteral("other.ptz"));
        QCOMPARE(writeTestPackage(other, {500, 500}, 3).size(), 2);
        QVERIFY(fw->drop({other}));
        QVERIFY(!session.window->offeredPackage());
    }

    // The corner button's dialog stores what was edited, and only that: a location shown from
    // VELMORA_CATALOGUE is not written into the settings by an OK.
    void settingsDialogStoresWhatWasEdited_data()
    {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed"); // "-" leaves the field as shown
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("typed, beta") << "" << "" << " https://example.org/k5/ " << "beta" << "https://example.org/k5/";
        QTest::newRow("shown from the environment") << "https://mirror.example/k5/" << "" << "-" << "stable" << "";
        QTest::newRow("cleared") << "" << "/srv/k5" << "" << "stable" << "";
    }
    void settingsDialogStoresWhatWasEdited()
    {
        QFETCH(QString, environment);
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(QString, channel);
        QFETCH(QString, storedAfter);
        if (!stored.isEmpty())
            CatalogueSettings::setLocation(stored);
        if (!environment.isEmpty())
            qputenv("VELMORA_CATALOGUE", environment.toUtf8());
        MainWindow window;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(QApplication::activeModalWidget());
            QWidget *dialog = QApplication::activeModalWidget();
            auto *location = dialog->findChild<QLineEdit *>(QStringLiteral("catalogueLocationEdit"));
            QVERIFY(location);
            QCOMPARE(location->text(), environment.isEmpty() ? stored : environment);
            if (typed != QLatin1String("-"))
                location->setText(typed);
            dialog->findChild<QComboBox *>(QStringLiteral("catalogueChannelBox"))->setCurrentText(channel);
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        });
        window.findChild<QToolButton *>(QStringLiteral("catalogueButton"))->click();
        qunsetenv("VELMORA_CATALOGUE");
        QCOMPARE(CatalogueSettings::location(), storedAfter);
        QCOMPARE(CatalogueSettings::channel(), channel);
    }
};

QTEST_MAIN(CatalogueOfferTest)
#include "tst_catalogue_offer.moc"
