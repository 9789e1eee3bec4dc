// How the command line names products, and the read-out values it prints: the window's scaling,
// clamped to what the window's boxes can show; the adapters' listing.
#include "PortsCommand.h"
#include "ProductRows.h"
#include "SensorReadout.h"

#include <QTest>

class CliProductsTest : public QObject
{
    Q_OBJECT

private slots:
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

    // ports: a header and "-" for what the system does not report, on a terminal only; piped,
    // tab-separated fields as scripts split them.
    void portsAreListedForTheirReader_data()
    {
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<QStringList>("fields"); // name|description|serial per adapter
        QTest::addColumn<QStringList>("lines");
        const QStringList two{"/dev/ttyUSB0|CP2102 USB to UART|A001", "/tmp/sim||"};
        QTest::newRow("terminal") << true << two
                                  << QStringList{"PORT          DESCRIPTION         SERIAL",
                                                 "/dev/ttyUSB0  CP2102 USB to UART  A001",
                                                 "/tmp/sim      -                   -"};
        QTest::newRow("piped") << false << two << QStringList{"/dev/ttyUSB0\tCP2102 USB to UART\tA001", "/tmp/sim\t\t"};
        QTest::newRow("terminal, none") << true << QStringList{} << QStringList{};
        QTest::newRow("piped, none") << false << QStringList{} << QStringList{};
    }
    void portsAreListedForTheirReader()
    {
        QFETCH(bool, terminal);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, lines);
        QList<PortInfo> adapters;
        for (const QString &adapter : std::as_const(fields)) {
            PortInfo info;
            info.portName = adapter.section(QLatin1Char('|'), 0, 0);
            info.description = adapter.section(QLatin1Char('|'), 1, 1);
            info.serialNumber = adapter.section(QLatin1Char('|'), 2, 2);
            adapters.append(info);
        }
        QCOMPARE(PortsCommand::lines(adapters, terminal), lines);
    }

    void readoutIsClampedAsTheWindowsBoxesClampIt_data()
    {
        QTest::addColumn<QList<int>>("raw"); // accX, accY, accZ, gyroX, gyroY, gyroZ
        QTest::addColumn<int>("row");
        QTest::addColumn<QList<float>>("shown"); // ax, amod, gx, gmod
        QTest::newRow("lying still") << QList<int>{0, 0, 4096, 328, 0, 0} << 2 << QList<float>{0.0f, 1.0f, 10.0f, 10.0f};
        QTest::newRow("coarse gyroscope rows") << QList<int>{0, 0, 4096, 328, 0, 0} << 3 << QList<float>{0.0f, 1.0f, 20.0f, 20.0f};
        QTest::newRow("full scale") << QList<int>{32767, 32767, 32767, 32767, -32768, 32767} << 4
                                    << QList<float>{7.99976f, 10.0f, 1997.99f, 3460.65f};
        QTest::newRow("full scale, fine rows") << QList<int>{-32768, 0, 0, 32767, 32767, -32768} << 0
                                               << QList<float>{-8.0f, 8.0f, 998.994f, 1730.32f};
        QTest::newRow("beyond the boxes") << QList<int>{0, 0, 0, 32767, 32767, 32767} << 8
                                          << QList<float>{0.0f, 0.0f, 1997.99f, 3460.62f};
    }
    void readoutIsClampedAsTheWindowsBoxesClampIt()
    {
        QFETCH(QList<int>, raw);
        QFETCH(int, row);
        QFETCH(QList<float>, shown);
        const SensorReadout r = SensorReadout::fromRaw(int16_t(raw[0]), int16_t(raw[1]), int16_t(raw[2]), int16_t(raw[3]),
                                                       int16_t(raw[4]), int16_t(raw[5]), ProductRows::row(row).gyroCountsPerDps)
                                    .clampedToTheBoxes();
        QVERIFY(qAbs(r.ax - shown[0]) < 0.001f);
        QVERIFY(qAbs(r.amod - shown[1]) < 0.001f);
        QVERIFY(qAbs(r.gx - shown[2]) < 0.01f);
        QVERIFY(qAbs(r.gmod - shown[3]) < 0.01f);
        QVERIFY(r.amod <= 10.0f && r.gx <= 2000.0f && r.gmod <= 32767.0f);
    }

    void accelerationModulusBeyondItsBoxIsClamped()
    {
        // Each axis at 8 g fits its box; their modulus, 13.9 g, does not.
        const SensorReadout r = SensorReadout::fromRaw(32767, 32767, 32767, 0, 0, 0, 16.4f).clampedToTheBoxes();
        QCOMPARE(r.amod, 10.0f);
        QCOMPARE(r.ax, 32767 / 4096.0f);
    }
};

QTEST_GUILESS_MAIN(CliProductsTest)
#include "tst_cli_products.moc"
