// The command line's copy of the product rows and read-out scaling agrees with the window's.
#include "ProductRows.h"
#include "ProductTable.h"
#include "SensorReadout.h"

#include <QTest>

class CliProductsTest : public QObject
{
    Q_OBJECT

private slots:
    void rowsMirrorTheWindowsProductTable()
    {
        QCOMPARE(ProductRows::RowCount, ProductTable::RowCount);
        for (int row = 0; row < ProductRows::RowCount; ++row) {
            const CliProduct &cli = ProductRows::row(row);
            const ProductRow &window = ProductTable::row(row);
            QCOMPARE(QByteArray(cli.name), QByteArray(window.name));
            QCOMPARE(cli.gyroCountsPerDps, window.gyroCountsPerDps);
            QCOMPARE(cli.registerProfile, window.registerProfile);
            // The window selects multi-chip updates for rows 3 to 8.
            QCOMPARE(cli.multiChip, row >= 3);
        }
    }

    void productsAreNamedByRowOrName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("row");
        QTest::newRow("row number") << "6" << 6;
        QTest::newRow("source name") << "K5 (两轴)" << 0;
        QTest::newRow("name, any case") << "k5-birch2" << 7;
        QTest::newRow("past the last row") << "9" << -1;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("unknown name") << "K6" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void productsAreNamedByRowOrName()
    {
        QFETCH(QString, text);
        QFETCH(int, row);
        QCOMPARE(ProductRows::parse(text), row);
    }

    void readoutScalesAsTheWindowAndClampsToItsBoxes_data()
    {
        QTest::addColumn<QList<int>>("raw"); // accX, accY, accZ, gyroX, gyroY, gyroZ
        QTest::addColumn<int>("row");
        QTest::newRow("lying still") << QList<int>{3, -5, 4096, 7, -2, 1} << 4;
        QTest::newRow("fine gyroscope rows") << QList<int>{0, 0, 4096, 328, 0, 0} << 2;
        QTest::newRow("coarse gyroscope rows") << QList<int>{0, 0, 4096, 328, 0, 0} << 3;
        QTest::newRow("full scale") << QList<int>{32767, 32767, 32767, 32767, -32768, 32767} << 4;
        QTest::newRow("full scale, fine rows") << QList<int>{-32768, 0, 0, 32767, 32767, 32767} << 0;
    }
    void readoutScalesAsTheWindowAndClampsToItsBoxes()
    {
        QFETCH(QList<int>, raw);
        QFETCH(int, row);
        const float scale = ProductRows::row(row).gyroCountsPerDps;
        const CliReadout cli = CliReadout::fromRaw(int16_t(raw[0]), int16_t(raw[1]), int16_t(raw[2]), int16_t(raw[3]),
                                                   int16_t(raw[4]), int16_t(raw[5]), scale);
        const SensorReadout window = SensorReadout::fromRaw(int16_t(raw[0]), int16_t(raw[1]), int16_t(raw[2]), int16_t(raw[3]),
                                                            int16_t(raw[4]), int16_t(raw[5]), scale);
        // The window's boxes: accelerations within ±10 g, rates within ±2000, rate modulus up to 32767.
        const auto acc = [](float v) { return qBound(-10.0f, v, 10.0f); };
        const auto rate = [](float v) { return qBound(-2000.0f, v, 2000.0f); };
        QCOMPARE(cli.ax, acc(window.ax));
        QCOMPARE(cli.ay, acc(window.ay));
        QCOMPARE(cli.az, acc(window.az));
        QCOMPARE(cli.amod, acc(window.amod));
        QCOMPARE(cli.gx, rate(window.gx));
        QCOMPARE(cli.gy, rate(window.gy));
        QCOMPARE(cli.gz, rate(window.gz));
        QCOMPARE(cli.gmod, qBound(-32768.0f, window.gmod, 32767.0f));
        if (raw[3] == 328)
            QCOMPARE(qRound(cli.gx * 10), row > 2 ? 200 : 100);
    }
};

QTEST_GUILESS_MAIN(CliProductsTest)
#include "tst_cli_products.moc"
