// A station tile's verdict and words for each outcome and its state through a gimbal's life, and
// the options `velmora --station` takes. No translator is loaded, so the words are the source texts.
#include "StationTile.h"
#include "StationWindow.h"

#include <QtTest>

using Verdict = StationTile::Verdict;

class TestStationTile : public QObject
{
    Q_OBJECT

private slots:
    void verdictAndState_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QString>("words");
        QTest::newRow("passed") << "success" << Verdict::Pass << "固件已写入";
        QTest::newRow("write failed") << "write-failed" << Verdict::Fail << "写入失败";
        QTest::newRow("new firmware not running") << "not-running" << Verdict::Fail << "新固件没有运行";
        QTest::newRow("bad signature: the line's") << "signature-invalid" << Verdict::Refused << "固件包签名无效";
        QTest::newRow("unsigned: the line's") << "unsigned" << Verdict::Refused << "固件包未签名";
        QTest::newRow("unknown word fails") << "something-new" << Verdict::Fail << "升级失败";
    }
    void verdictAndState()
    {
        QFETCH(QString, word);
        QFETCH(Verdict, verdict);
        QFETCH(QString, words);
        QCOMPARE(StationTile::verdictOf(word), verdict);
        QCOMPARE(StationTile::outcomeWords(word), words);

        StationTile tile(QStringLiteral("/dev/ttyACM0"));
        tile.beginGimbal();
        tile.setUnitSerial(QStringLiteral("SN-1"));
        tile.conclude(verdict, word, words);
        QCOMPARE(tile.verdict(), verdict);
        // A pass has no outcome word to show; a failure or refusal names its word.
        QCOMPARE(tile.outcomeWord(), verdict == Verdict::Pass ? QString() : word);
        QCOMPARE(tile.unitSerial(), QStringLiteral("SN-1"));

        // Pulled out, the verdict stays for the operator to read; the next gimbal clears it.
        tile.setUnplugged();
        QCOMPARE(tile.verdict(), verdict);
        QCOMPARE(tile.phaseText(), QStringLiteral("已拔出：等待下一台"));
        tile.beginGimbal();
        QCOMPARE(tile.verdict(), Verdict::None);
        QVERIFY(tile.outcomeWord().isEmpty());
        QVERIFY(tile.unitSerial().isEmpty());
        tile.setUnplugged();
        QCOMPARE(tile.phaseText(), QStringLiteral("已拔出"));
    }

    void parseOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("package");
        QTest::addColumn<QString>("catalogue");
        QTest::addColumn<int>("product");
        QTest::addColumn<bool>("check");
        const QStringList s{QStringLiteral("--station")};
        QTest::newRow("nothing") << s << true << "" << "" << -1 << false;
        QTest::newRow("package, product, check") << s + QStringList{"--package", "a.ptz", "--product", "3", "--check"} << true << "a.ptz" << "" << 3 << true;
        QTest::newRow("latest release") << s + QStringList{"--from-catalogue", "latest", "--product", "0"} << true << "" << "latest" << 0 << false;
        QTest::newRow("a release") << s + QStringList{"--from-catalogue", "1.07"} << true << "" << "1.07" << -1 << false;
        QTest::newRow("both sources") << s + QStringList{"--package", "a.ptz", "--from-catalogue", "latest"} << false << "" << "" << -1 << false;
        QTest::newRow("not a release") << s + QStringList{"--from-catalogue", "newest"} << false << "" << "" << -1 << false;
        QTest::newRow("product past the table") << s + QStringList{"--product", "9"} << false << "" << "" << -1 << false;
        QTest::newRow("product negative") << s + QStringList{"--product", "-1"} << false << "" << "" << -1 << false;
        QTest::newRow("product not a number") << s + QStringList{"--product", "x"} << false << "" << "" << -1 << false;
        QTest::newRow("value missing") << s + QStringList{"--package"} << false << "" << "" << -1 << false;
        QTest::newRow("unknown option") << s + QStringList{"--force"} << false << "" << "" << -1 << false;
    }
    void parseOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, ok);
        StationWindow::Options options;
        QString error;
        QCOMPARE(StationWindow::parseOptions(arguments, &options, &error), ok);
        QCOMPARE(error.isEmpty(), ok);
        if (!ok)
            return;
        QTEST(options.package, "package");
        QTEST(options.fromCatalogue, "catalogue");
        QTEST(options.productRow, "product");
        QTEST(options.check, "check");
    }
};

QTEST_MAIN(TestStationTile)
#include "tst_station_tile.moc"
