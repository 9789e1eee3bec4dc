// The words beside the firmware progress bar follow the update's steps, never a guess from the
// progress value: a chip written in one page is "written", not "already up to date".
#include "ChipProgress.h"

#include <QTest>

class ChipProgressTest : public QObject
{
    Q_OBJECT

private slots:
    void wordsFollowTheSteps()
    {
        ChipProgress progress;
        QCOMPARE(progress.report(500), QString()); // no write running
        progress.start(2);
        QCOMPARE(progress.report(0), QString()); // no chip taken up yet
        QCOMPARE(progress.chipStarted(1), QStringLiteral("正在写入芯片 1/2"));
        QCOMPARE(progress.report(1000), QStringLiteral("芯片 1/2：写入完成"));
        QCOMPARE(progress.chipStarted(2), QStringLiteral("正在写入芯片 2/2"));
        QCOMPARE(progress.report(1000), QStringLiteral("芯片 2/2：写入完成"));
        QCOMPARE(progress.chipUpToDate(2), QStringLiteral("芯片 2/2：已是最新，无需写入"));
        progress.stop();
        QCOMPARE(progress.chipStarted(1), QString());
    }

    void chipCountArrivingLateIsUsed()
    {
        ChipProgress progress;
        progress.start(0);
        progress.setChipCount(3);
        QCOMPARE(progress.chipStarted(3), QStringLiteral("正在写入芯片 3/3"));
    }
};

QTEST_GUILESS_MAIN(ChipProgressTest)
#include "tst_chip_progress.moc"
