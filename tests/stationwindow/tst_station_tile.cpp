// The station window's options as velmora --station reads them, and the verdict a tile shows for
// each way an attempt ends.
#include "StationTile.h"
#include "StationWindow.h"

#include <QtTest>

class StationTileTest : public QObject
{
    Q_OBJECT

private slots:
    void optionsAreReadOrRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("mistake"); // empty: accepted
        QTest::addColumn<QString>("package");
        QTest::addColumn<int>("product");
        QTest::newRow("nothing: choose in the window") << QStringList{"--station"} << "" << "" << -1;
        QTest::newRow("package and product") << QStringList{"--station", "--package", "k5.ptz", "--product", "4", "--check"} << "" << "k5.ptz" << 4;
        QTest::newRow("catalogue") << QStringList{"--station", "--from-catalogue", "latest", "--product", "0"} << "" << "" << 0;
        QTest::newRow("both sources") << QStringList{"--station", "--package", "k5.ptz", "--from-catalogue", "1.07"} << "exclude" << "" << -1;
        QTest::newRow("a version that is none") << QStringList{"--station", "--from-catalogue", "newest"} << "latest or a version" << "" << -1;
        QTest::newRow("a product row too high") << QStringList{"--station", "--product", "9"} << "--product" << "" << -1;
        QTest::newRow("a product that is no number") << QStringList{"--station", "--product", "K5"} << "--product" << "" << -1;
        QTest::newRow("a value missing") << QStringList{"--station", "--package"} << "needs a value" << "" << -1;
        QTest::newRow("an unknown option") << QStringList{"--station", "--count", "3"} << "unknown option" << "" << -1;
    }

    void optionsAreReadOrRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, mistake);
        QFETCH(QString, package);
        QFETCH(int, product);
        StationWindow::Options options;
        QString error;
        QCOMPARE(StationWindow::parseOptions(arguments, &options, &error), mistake.isEmpty());
        QVERIFY2(error.contains(mistake), qPrintable(error));
        if (mistake.isEmpty()) {
            QCOMPARE(options.package, package);
            QCOMPARE(options.productRow, product);
        }
    }

    // Only a success passes; a refusal is the line's (nothing was written); anything else fails
    // the gimbal. The tile keeps its verdict when the gimbal is pulled out, until the next one.
    void aTileShowsItsAttemptsEnd_data()
    {
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("verdict");
        QTest::newRow("written") << "success" << int(StationTile::Verdict::Pass);
        QTest::newRow("write failed") << "write-failed" << int(StationTile::Verdict::Fail);
        QTest::newRow("new firmware silent") << "not-running" << int(StationTile::Verdict::Fail);
        QTest::newRow("pulled out mid-write") << "port-lost" << int(StationTile::Verdict::Fail);
        QTest::newRow("bad signature") << "signature-invalid" << int(StationTile::Verdict::Refused);
        QTest::newRow("catalogue expired") << "catalogue-expired" << int(StationTile::Verdict::Refused);
        QTest::newRow("cancelled") << "cancelled" << int(StationTile::Verdict::Refused);
    }

    void aTileShowsItsAttemptsEnd()
    {
        QFETCH(QString, outcome);
        QFETCH(int, verdict);
        StationTile tile(QStringLiteral("ttyUSB0"));
        tile.setUnitSerial(QStringLiteral("SN-1"));
        const auto shown = StationTile::verdictOf(outcome);
        QCOMPARE(int(shown), verdict);
        tile.conclude(shown, outcome, StationTile::outcomeWords(outcome));
        tile.setUnplugged();
        QCOMPARE(int(tile.verdict()), verdict);
        QCOMPARE(tile.outcomeWord(), shown == StationTile::Verdict::Pass ? QString() : outcome);
        tile.beginGimbal();
        QCOMPARE(tile.verdict(), StationTile::Verdict::None);
        QVERIFY(tile.unitSerial().isEmpty());
    }
};

QTEST_MAIN(StationTileTest)
#include "tst_station_tile.moc"
