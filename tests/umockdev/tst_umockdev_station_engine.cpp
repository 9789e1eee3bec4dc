// The station's engine in the process, on a mocked adapter: what a face's tile is told of a gimbal
// from its plug to its result, in plain values.
#include "BenchSlot.h"
#include "CheckedPackage.h"
#include "Station.h"
#include "UdevTestbed.h"
#include "../common/TestPackages.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <array>
#include <utility>

class StationEngineTest : public QObject
{
    Q_OBJECT

private slots:
    void aTileIsToldItsGimbalFromPlugToResult()
    {
        if (!UdevTestbed::preloaded())
            QSKIP(qPrintable(UdevTestbed::notPreloadedReason()));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("two.ptz"));
        writeTestPackage(path, {12000, 5000}, 11);
        const PackageCheck checked = CheckedPackage::open(path, false);
        QVERIFY(checked.accepted());
        UdevTestbed testbed;
        BenchSlot slot(testbed, 0, dir.filePath(QStringLiteral("flash")));
        Station::Settings settings;
        settings.connectTimeoutMs = 10000;
        settings.count = 1;
        settings.recordAttempts = true;
        Station station(settings, *checked.package);
        QStringList appeared;
        QList<std::array<int, 3>> writing; // percent, seconds left (the state is Writing)
        QList<StationCounts> tally;
        QList<std::pair<Station::Result, QString>> concluded; // the result, the record's outcome
        connect(&station, &Station::adapterAppeared, this,
                [&](const QString &port, const QString &serial) { appeared << port << serial; });
        connect(&station, &Station::progressed, this, [&](const QString &, FlashSession::State state, int percent, int left) {
            if (state == FlashSession::State::Writing)
                writing.append({percent, left, 0});
        });
        connect(&station, &Station::tallyChanged, this, [&](const StationCounts &counts) { tally << counts; });
        connect(&station, &Station::attemptConcluded, this,
                [&](const QString &, const JournalRecord &record, Station::Result result, BootCheck) {
                    concluded.append({result, record.outcome});
                });
        QSignalSpy finished(&station, &Station::finished);
        station.start();
        QVERIFY(slot.plug());
        QVERIFY(finished.wait(60000));

        QCOMPARE(appeared.size(), 2);
        QCOMPARE(appeared.at(1), slot.serial);
        // The whole gimbal's percent climbs to 100 while it is written; the time left is known
        // once some of it is.
        int lastPercent = -1;
        bool timeLeftKnown = false;
        for (const std::array<int, 3> &event : std::as_const(writing)) {
            QVERIFY(event[0] >= lastPercent);
            lastPercent = event[0];
            timeLeftKnown = timeLeftKnown || event[1] >= 0;
        }
        QCOMPARE(lastPercent, 100);
        QVERIFY(timeLeftKnown);
        QCOMPARE(tally.size(), 1);
        QCOMPARE(tally.at(0).updated, 1);
        QCOMPARE(concluded.size(), 1);
        QVERIFY(concluded.at(0).first == Station::Result::Updated);
        QCOMPARE(concluded.at(0).second, QStringLiteral("success"));
        QCOMPARE(finished.at(0).at(0).toInt(), 0);
    }

    // A unit serial reaches the gimbal's record whenever it was scanned: before the gimbal came,
    // while it waited for one (nothing written before), or for its tile while it was written.
    void aScannedSerialReachesTheRecord_data()
    {
        QTest::addColumn<bool>("required");
        QTest::addColumn<QString>("when");
        QTest::newRow("scanned before the plug") << false << "before";
        QTest::newRow("required: waits, then scanned") << true << "waiting";
        QTest::newRow("scanned for its tile while written") << false << "running";
    }

    void aScannedSerialReachesTheRecord()
    {
        QFETCH(bool, required);
        QFETCH(QString, when);
        if (!UdevTestbed::preloaded())
            QSKIP(qPrintable(UdevTestbed::notPreloadedReason()));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("two.ptz"));
        writeTestPackage(path, {12000, 5000}, 11);
        const PackageCheck checked = CheckedPackage::open(path, false);
        UdevTestbed testbed;
        BenchSlot slot(testbed, 0, dir.filePath(QStringLiteral("flash")));
        Station::Settings settings;
        settings.connectTimeoutMs = 10000;
        settings.count = 1;
        settings.recordAttempts = true;
        settings.requireSerial = required;
        Station station(settings, *checked.package);
        QSignalSpy wanted(&station, &Station::serialWanted);
        QSignalSpy taken(&station, &Station::adapterTaken);
        QSignalSpy concluded(&station, &Station::attemptConcluded);
        QSignalSpy finished(&station, &Station::finished);
        station.start();
        if (when == QLatin1String("before"))
            QCOMPARE(station.tieSerial(QStringLiteral(" SN-7\r\n")), Station::SerialTie::Held);
        QVERIFY(slot.plug());
        if (when == QLatin1String("waiting")) {
            QVERIFY(wanted.wait(10000));
            QCOMPARE(taken.size(), 0); // not opened: nothing sent, nothing written
            QCOMPARE(slot.pagesWritten(), 0);
            QCOMPARE(station.tieSerial(QStringLiteral("SN-7")), Station::SerialTie::Tied);
        }
        if (when == QLatin1String("running")) {
            QVERIFY(taken.wait(10000));
            QCOMPARE(station.tieSerial(QStringLiteral("SN-7"), slot.tty), Station::SerialTie::Tied);
            QCOMPARE(station.tieSerial(QStringLiteral("SN-7")), Station::SerialTie::InUse);
        }
        QVERIFY(finished.wait(60000));
        QCOMPARE(concluded.size(), 1);
        const JournalRecord record = concluded.at(0).at(1).value<JournalRecord>();
        QCOMPARE(record.outcome, QStringLiteral("success"));
        QCOMPARE(record.unitSerial, QStringLiteral("SN-7"));
        QCOMPARE(wanted.size(), required && when != QLatin1String("before") ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(StationEngineTest)
#include "tst_umockdev_station_engine.moc"
