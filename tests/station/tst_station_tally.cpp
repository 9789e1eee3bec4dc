// The station's tally and exit status: a gimbal is told by its chips, its last attempt counts,
// a pulled adapter's attempt is no gimbal ended, and a cancel wins; the share of a gimbal written.
#include "ExitCode.h"
#include "FlashSession.h"
#include "StationTally.h"

#include <QtTest>

class StationTallyTest : public QObject
{
    Q_OBJECT

private slots:
    void theLastAttemptOfEachGimbalDecides_data()
    {
        QTest::addColumn<QStringList>("attempts"); // "gimbal:result:status[:pulled]"
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<int>("ended");
        QTest::addColumn<QList<int>>("counts"); // updated, up to date, failed
        QTest::newRow("all updated") << QStringList{"A:u:0", "B:d:0"} << false << 0 << 2 << QList<int>{1, 1, 0};
        QTest::newRow("pulled mid-write, updated on return")
            << QStringList{"A:f:6:pulled", "A:u:0"} << false << 0 << 1 << QList<int>{1, 0, 1};
        QTest::newRow("updated, then failed") << QStringList{"A:u:0", "A:f:1"} << false << 1 << 2 << QList<int>{1, 0, 1};
        QTest::newRow("first failed gimbal decides")
            << QStringList{"A:u:0", "B:f:5", "C:f:6"} << false << 5 << 3 << QList<int>{1, 0, 2};
        QTest::newRow("no chips listed") << QStringList{":f:4", "A:u:0"} << false << 4 << 2 << QList<int>{1, 0, 1};
        QTest::newRow("cancelled") << QStringList{"A:u:0"} << true << ExitCode::Interrupted << 1 << QList<int>{1, 0, 0};
    }
    void theLastAttemptOfEachGimbalDecides()
    {
        QFETCH(QStringList, attempts);
        QFETCH(bool, cancelled);
        QFETCH(int, exitStatus);
        QFETCH(int, ended);
        QFETCH(QList<int>, counts);
        StationTally tally;
        for (const QString &attempt : attempts) {
            const QStringList f = attempt.split(QLatin1Char(':'));
            const StationTally::Result result = f[1] == QLatin1String("u")   ? StationTally::Result::Updated
                                                : f[1] == QLatin1String("d") ? StationTally::Result::UpToDate
                                                                             : StationTally::Result::Failed;
            tally.add(f[0], result, f[2].toInt(), f.size() > 3);
        }
        QCOMPARE(tally.exitStatus(cancelled), exitStatus);
        QCOMPARE(tally.gimbalsEnded(), ended);
        QCOMPARE((QList<int>{tally.counts().updated, tally.counts().upToDate, tally.counts().failed}), counts);
    }

    // The station's time left is the whole gimbal's: how far the write is over all its chips'
    // bytes, chips found up to date counting for nothing.
    void theWholeGimbalsShareIsWritten_data()
    {
        QTest::addColumn<QList<qint64>>("chipBytes");
        QTest::addColumn<QList<int>>("skipped");
        QTest::addColumn<int>("chip");
        QTest::addColumn<int>("chipPermille");
        QTest::addColumn<int>("gimbalPermille");
        QTest::newRow("before the write") << QList<qint64>{3000, 1000} << QList<int>{} << 0 << 0 << 0;
        QTest::newRow("first chip half") << QList<qint64>{3000, 1000} << QList<int>{} << 1 << 500 << 375;
        QTest::newRow("second chip begun") << QList<qint64>{3000, 1000} << QList<int>{} << 2 << 0 << 750;
        QTest::newRow("second chip half") << QList<qint64>{3000, 1000} << QList<int>{} << 2 << 500 << 875;
        QTest::newRow("first chip up to date") << QList<qint64>{3000, 1000} << QList<int>{1} << 2 << 500 << 500;
        QTest::newRow("last chip done") << QList<qint64>{3000, 1000} << QList<int>{} << 2 << 1000 << 1000;
        QTest::newRow("every chip up to date") << QList<qint64>{3000, 1000} << QList<int>{1, 2} << 2 << 1000 << 0;
        QTest::newRow("progress past the end") << QList<qint64>{1000} << QList<int>{} << 1 << 1500 << 1000;
    }
    void theWholeGimbalsShareIsWritten()
    {
        QFETCH(QList<qint64>, chipBytes);
        QFETCH(QList<int>, skipped);
        QFETCH(int, chip);
        QFETCH(int, chipPermille);
        QFETCH(int, gimbalPermille);
        QCOMPARE(FlashSession::gimbalPermille(chipBytes, skipped, chip, chipPermille), gimbalPermille);
    }
};

QTEST_MAIN(StationTallyTest)
#include "tst_station_tally.moc"
