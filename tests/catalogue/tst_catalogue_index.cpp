// An index is believed only when it is well formed, signed by a trusted key, not older than one
// seen and not expired; and only a release made for the listed chips is chosen.
#include "CatalogueChoice.h"
#include "CatalogueFixture.h"
#include "CatalogueTrust.h"
#include "SequenceStore.h"

#include <QTemporaryDir>
#include <QtTest>

class CatalogueIndexTest : public QObject
{
    Q_OBJECT

    QTemporaryDir keys;
    const QByteArray package = QByteArray(1000, 'p');

private slots:
    void initTestCase()
    {
        QVERIFY(MinisignTool::makeKey(QDir(keys.path()), QStringLiteral("maker")));
        QVERIFY(MinisignTool::makeKey(QDir(keys.path()), QStringLiteral("stranger")));
    }

    void strictParsing_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("as written") << QByteArray() << QByteArray() << true;
        QTest::newRow("an unknown field") << QByteArray("\"format\"") << QByteArray("\"colour\": \"red\", \"format\"") << true;
        QTest::newRow("format 2") << QByteArray("\"format\": 1") << QByteArray("\"format\": 2") << false;
        QTest::newRow("format as text") << QByteArray("\"format\": 1") << QByteArray("\"format\": \"1\"") << false;
        QTest::newRow("fractional sequence") << QByteArray("\"sequence\": 42") << QByteArray("\"sequence\": 42.5") << false;
        QTest::newRow("negative sequence") << QByteArray("\"sequence\": 42") << QByteArray("\"sequence\": -1") << false;
        QTest::newRow("lower-case arch") << QByteArray("\"4B35\"") << QByteArray("\"4b35\"") << false;
        QTest::newRow("five-digit hardware") << QByteArray("\"0101\"") << QByteArray("\"01010\"") << false;
        QTest::newRow("size past 64 MiB") << QByteArray("\"size\": 1000") << QByteArray("\"size\": 67108865") << false;
        QTest::newRow("size zero") << QByteArray("\"size\": 1000") << QByteArray("\"size\": 0") << false;
        QTest::newRow("short digest") << QByteArray("\"sha256\": \"") << QByteArray("\"sha256\": \"0") << false;
        QTest::newRow("version not a number") << QByteArray("\"version\": \"1.07\"") << QByteArray("\"version\": \"v1\"") << false;
        QTest::newRow("no images") << QByteArray("\"images\": [") << QByteArray("\"images\": [], \"x\": [") << false;
        QTest::newRow("not JSON") << QByteArray("{") << QByteArray("[") << false;
        QTest::newRow("published not a time") << QByteArray("2026-12-01T10:00:00Z") << QByteArray("yesterday") << false;
    }
    void strictParsing()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(bool, accepted);
        QByteArray text = CatalogueFixture::index(42, {CatalogueFixture::release(QStringLiteral("1.07"), QStringLiteral("stable"), package, QStringLiteral("a.ptz"))});
        text = QJsonDocument::fromJson(text).toJson(QJsonDocument::Compact).replace("\":", "\": ");
        if (!from.isEmpty()) {
            QVERIFY2(text.contains(from), text.constData());
            text.replace(text.indexOf(from), from.size(), to);
        }
        CatalogueIndex index;
        QString why;
        QCOMPARE(CatalogueIndex::parse(text, &index, &why), accepted);
        QCOMPARE(why.isEmpty(), accepted);
        if (accepted) {
            QCOMPARE(index.sequence, 42);
            QCOMPARE(index.releases.value(0).arch, 0x4B35);
            QCOMPARE(index.releases.value(0).images.value(1).hardware, 0x0102);
            QCOMPARE(index.releases.value(0).size, 1000);
            QCOMPARE(index.releases.value(0).notesFor(QStringLiteral("de_DE")), QStringLiteral("Smoother pan."));
        }
    }

    void onlyATrustedCurrentIndexIsBelieved_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("sound") << "" << "";
        QTest::newRow("signed by a stranger") << "stranger" << "catalogue-signature";
        QTest::newRow("edited after signing") << "edited" << "catalogue-signature";
        QTest::newRow("no signature") << "unsigned" << "catalogue-signature";
        QTest::newRow("older than one seen") << "rollback" << "catalogue-rollback";
        QTest::newRow("same sequence again") << "same" << "";
        QTest::newRow("expired") << "expired" << "catalogue-expired";
        QTest::newRow("signed but format 2") << "format" << "catalogue-invalid";
    }
    void onlyATrustedCurrentIndexIsBelieved()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QDir keyDir(keys.path());
        QByteArray text = CatalogueFixture::index(42, {CatalogueFixture::release(QStringLiteral("1.07"), QStringLiteral("stable"), package, QStringLiteral("a.ptz"))},
                                                  fault == QLatin1String("expired") ? QDateTime::currentDateTimeUtc().addSecs(-60)
                                                                                     : QDateTime::currentDateTimeUtc().addDays(30));
        if (fault == QLatin1String("format"))
            text.replace("\"format\": 1", "\"format\": 2");
        QByteArray signature = CatalogueFixture::writeSigned(QDir(dir.path()), QStringLiteral("catalogue.json"), text, keyDir,
                                                             fault == QLatin1String("stranger") ? QStringLiteral("stranger") : QStringLiteral("maker"));
        QVERIFY(!signature.isEmpty());
        if (fault == QLatin1String("edited"))
            text.replace("\"1.07\"", "\"9.07\"");
        if (fault == QLatin1String("unsigned"))
            signature.clear();
        SequenceStore store(dir.filePath(QStringLiteral("state/sequences.json")));
        const QString url = QStringLiteral("https://example.invalid/catalogue.json");
        if (fault == QLatin1String("rollback"))
            QCOMPARE(store.record(url, 43), QString());
        if (fault == QLatin1String("same"))
            QCOMPARE(store.record(url, 42), QString());
        const CheckedCatalogue checked =
            CatalogueTrust::check(url, text, signature, {CatalogueFixture::loadKey(keyDir, QStringLiteral("maker"))}, &store, QDateTime::currentDateTimeUtc());
        QCOMPARE(CatalogueReasons::name(checked.refusal), reason);
        QCOMPARE(checked.accepted(), reason.isEmpty());
        // The highest sequence is kept only from an index whose signature held.
        QCOMPARE(store.highest(url), fault == QLatin1String("rollback") ? 43 : (checked.usable() ? 42 : -1));
        if (!checked.usable())
            QVERIFY(checked.index.releases.isEmpty());
    }

    void theReleaseForTheListedChipsIsChosen_data()
    {
        QTest::addColumn<QString>("hardware");
        QTest::addColumn<int>("arch");
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<bool>("allowOlder");
        QTest::addColumn<QString>("version"); // chosen, or the reason
        QTest::newRow("latest stable") << "0101,0102" << 0x4B35 << "1.00" << "stable" << "latest" << false << "1.10";
        QTest::newRow("latest beta") << "0101,0102" << 0x4B35 << "1.00" << "beta" << "latest" << false << "1.20";
        QTest::newRow("pinned") << "0101,0102" << 0x4B35 << "1.00" << "stable" << "1.07" << false << "1.07";
        QTest::newRow("older refused") << "0101,0102" << 0x4B35 << "1.09" << "stable" << "1.07" << false << "catalogue-older";
        QTest::newRow("older allowed") << "0101,0102" << 0x4B35 << "1.09" << "stable" << "1.07" << true << "1.07";
        QTest::newRow("other architecture") << "0101,0102" << 0x4B36 << "1.00" << "stable" << "latest" << false << "catalogue-no-match";
        QTest::newRow("chips in another order") << "0102,0101" << 0x4B35 << "1.00" << "stable" << "latest" << false << "catalogue-no-match";
        QTest::newRow("one chip fewer") << "0101" << 0x4B35 << "1.00" << "stable" << "latest" << false << "1.01";
        QTest::newRow("no such version") << "0101,0102" << 0x4B35 << "1.00" << "stable" << "3.00" << false << "catalogue-no-match";
    }
    void theReleaseForTheListedChipsIsChosen()
    {
        QFETCH(QString, hardware);
        QFETCH(int, arch);
        QFETCH(QString, running);
        QFETCH(QString, channel);
        QFETCH(QString, wanted);
        QFETCH(bool, allowOlder);
        QFETCH(QString, version);
        using CatalogueFixture::release;
        const QByteArray text = CatalogueFixture::index(
            1, {release(QStringLiteral("1.07"), QStringLiteral("stable"), package, QStringLiteral("a")),
                release(QStringLiteral("1.10"), QStringLiteral("stable"), package, QStringLiteral("b")),
                release(QStringLiteral("1.9"), QStringLiteral("stable"), package, QStringLiteral("c")),
                release(QStringLiteral("1.20"), QStringLiteral("beta"), package, QStringLiteral("d")),
                release(QStringLiteral("1.01"), QStringLiteral("stable"), package, QStringLiteral("e"), {QStringLiteral("0101")})});
        CatalogueIndex index;
        QVERIFY(CatalogueIndex::parse(text, &index, nullptr));
        CatalogueTarget target;
        QVERIFY(CatalogueTarget::fromHardwareText(hardware, &target));
        target.hasArch = true;
        target.arch = uint16_t(arch);
        target.running = running;
        const CatalogueChoice choice = CatalogueMatch::choose(index, target, channel, wanted, allowOlder);
        QCOMPARE(choice.chosen() ? choice.release.version : CatalogueReasons::name(choice.refusal), version);
    }
};

QTEST_MAIN(CatalogueIndexTest)
#include "tst_catalogue_index.moc"
