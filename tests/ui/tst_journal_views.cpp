// The journal as the window shows it: the History window's table, sort and filters over a seeded
// journal file, its Summary view in both languages (computed while the window keeps turning), and
// the chips' last updates found by cpuid.
#include "IsolatedSettings.h"
#include "ChipHistory.h"
#include "HistoryWindow.h"
#include "Journal.h"
#include "JournalRows.h"
#include "JournalTableModel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSemaphore>
#include <QTableView>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTranslator>
#include <QtTest>

namespace {

struct SeedChip
{
    uint32_t cpuid;
    int before;
    int after;
    const char *result;
};

// A record that started at local time `when` and ended a minute later.
JournalRecord seeded(JournalRecord::Kind kind, const QDateTime &when, const QString &station, const QList<SeedChip> &chips = {})
{
    JournalRecord r = JournalRecord::begin(kind);
    r.started = when.toUTC();
    r.ended = when.addSecs(60).toUTC();
    r.station = station;
    r.outcome = QStringLiteral("success");
    for (const SeedChip &c : chips) {
        JournalChip chip;
        chip.position = int(r.chips.size()) + 1;
        chip.cpuid = c.cpuid;
        chip.firmwareBefore = c.before;
        chip.firmwareAfter = c.after;
        chip.result = QString::fromLatin1(c.result);
        r.chips.append(chip);
    }
    return r;
}

QDateTime local(int day, int hour, int ms = 0)
{
    return QDateTime(QDate(2026, 11, day), QTime(hour, 0).addMSecs(ms));
}

chipInfo listed(uint32_t cpuid)
{
    chipInfo chip;
    chip.cpuid = cpuid;
    return chip;
}

} // namespace

Q_DECLARE_METATYPE(QList<JournalRecord>)
Q_DECLARE_METATYPE(QList<chipInfo>)

class JournalViewsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Journal> journal;
    std::unique_ptr<HistoryWindow> history;

    QTableView *table() const { return history->findChild<QTableView *>(QStringLiteral("historyTable")); }

    // The station column from top to bottom, as the table shows it.
    QStringList shownStations() const
    {
        QStringList stations;
        const QAbstractItemModel *m = table()->model();
        for (int row = 0; row < m->rowCount(); ++row)
            stations.append(m->index(row, JournalTableModel::Station).data().toString());
        return stations;
    }

private slots:
    void init()
    {
        JournalRows::clear();
        // Two updates started within one second, a calibration and an older update.
        JournalRecord older = seeded(JournalRecord::Kind::Update, local(28, 10), QStringLiteral("line-2"),
                                     {{0x1A2B3C4D, 100, 105, "written"}, {0x0BADF00D, 105, 105, "up-to-date"}});
        older.port = QStringLiteral("/dev/ttyUSB0");
        older.productRow = 4;
        older.outcome = QStringLiteral("success");
        older.packageName = QStringLiteral("k5-1.05.ptz");
        JournalRecord calibration = seeded(JournalRecord::Kind::Calibration, local(29, 12), QStringLiteral("line-3"));
        calibration.port = QStringLiteral("/dev/ttyUSB0");
        calibration.productRow = 6;
        calibration.outcome = QStringLiteral("step-failed");
        calibration.stepReached = QStringLiteral("solve");
        JournalRecord mismatch = seeded(JournalRecord::Kind::Update, local(30, 9, 100), QStringLiteral("line-1"),
                                        {{0x0C0FFEE0, 100, 104, "not-reached"}});
        mismatch.port = QStringLiteral("/dev/ttyUSB1");
        mismatch.outcome = QStringLiteral("hardware-mismatch");
        mismatch.packageName = QStringLiteral("other.ptz");
        JournalRecord cancelled = seeded(JournalRecord::Kind::Update, local(30, 9, 500), QStringLiteral("line-4"));
        cancelled.port = QStringLiteral("/dev/ttyUSB1");
        cancelled.outcome = QStringLiteral("cancelled");

        journal = std::make_unique<Journal>(JournalConfig::resolve());
        for (const JournalRecord &r : {older, calibration, mismatch, cancelled})
            QVERIFY(journal->record(r));
        history = std::make_unique<HistoryWindow>(journal.get());
        history->show();
        QVERIFY(QTest::qWaitForWindowExposed(history.get()));
        QTRY_VERIFY(!history->isReading());
    }

    void cleanup()
    {
        history.reset();
        journal.reset();
    }

    void showsEveryRecordNewestFirstWithItsFields()
    {
        QCOMPARE(shownStations(), QStringList({"line-4", "line-1", "line-3", "line-2"}));
        const QAbstractItemModel *m = table()->model();
        // Local time, as it was started, labelled with the zone's offset.
        const QString time = m->index(3, JournalTableModel::Time).data().toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^2026-11-28 10:00:00 [+-]\\d\\d:\\d\\d$")).match(time).hasMatch(), qPrintable(time));
        QCOMPARE(m->index(3, JournalTableModel::Product).data().toString(), QStringLiteral("K5-Delta"));
        QCOMPARE(m->index(3, JournalTableModel::Chips).data().toString(), QStringLiteral("1A2B3C4D 0BADF00D"));
        QCOMPARE(m->index(3, JournalTableModel::Firmware).data().toString(), QStringLiteral("1.00 → 1.05, 1.05 → 1.05"));
        QCOMPARE(m->index(3, JournalTableModel::Package).data().toString(), QStringLiteral("k5-1.05.ptz"));
        QCOMPARE(m->index(2, JournalTableModel::Outcome).data().toString(), QStringLiteral("step-failed"));
        // A record without a product says nothing rather than naming the first one.
        QCOMPARE(m->index(1, JournalTableModel::Product).data().toString(), QString());
    }

    // Three updates (one gimbal passed, one failed, one listed no chip) and a failed calibration.
    void summaryShowsTheRangesYieldInBothLanguages_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<int>("range");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<bool>("bars");
        QTest::newRow("Chinese, all time") << false << 0 << 0 << QString() << QStringList{"尝试 2 次", "云台 2 台", "首次通过率 50.0 %", "校准 1 次", "另有 1 次被拒绝"}
                                           << true;
        QTest::newRow("English, all time") << true << 0 << 0 << QString()
                                           << QStringList{"2 attempts", "2 gimbals", "First-pass yield 50.0 %", "1 calibration,", "Also 1 refused"} << true;
        QTest::newRow("English, today: nothing") << true << 1 << 0 << QString()
                                                 << QStringList{"No update or calibration in this range."} << false;
        QTest::newRow("Chinese, calibrations only: no yield") << false << 0 << 2 << QString() << QStringList{"尝试 0 次", "首次通过率 –"}
                                                              << false;
        // The text box's records only: a port in another case, and part of a second chip's cpuid.
        QTest::newRow("English, text: a port") << true << 0 << 0 << QStringLiteral("TTYUSB0")
                                               << QStringList{"1 attempt,", "1 gimbal\n", "First-pass yield 100.0 %", "1 calibration,"} << true;
        QTest::newRow("Chinese, text: a cpuid") << false << 0 << 0 << QStringLiteral("adf00")
                                                << QStringList{"尝试 1 次", "云台 1 台", "校准 0 次"} << true;
    }

    void summaryShowsTheRangesYieldInBothLanguages()
    {
        QFETCH(bool, english);
        QFETCH(int, range);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QStringList, said);
        QFETCH(bool, bars);
        QTranslator translator;
        if (english) {
            QVERIFY(translator.load(QStringLiteral(":/en_US")));
            QCoreApplication::installTranslator(&translator);
        }
        HistoryWindow window(journal.get());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findChild<QComboBox *>(QStringLiteral("historyRange"))->setCurrentIndex(range);
        window.findChild<QComboBox *>(QStringLiteral("historyKind"))->setCurrentIndex(kind);
        window.findChild<QLineEdit *>(QStringLiteral("historyFilter"))->setText(text);
        QTRY_VERIFY(!window.isReading());
        const QString headline = window.findChild<QLabel *>(QStringLiteral("yieldHeadline"))->text();
        QCoreApplication::removeTranslator(&translator);
        for (const QString &words : said)
            QVERIFY2(headline.contains(words), qPrintable(headline));
        // The yield bars' blue, as the charts paint it.
        const QImage charts = window.findChild<QWidget *>(QStringLiteral("yieldCharts"))->grab().toImage();
        int blue = 0;
        for (int y = 0; y < charts.height(); ++y)
            for (int x = 0; x < charts.width(); ++x)
                blue += charts.pixel(x, y) == qRgb(0x3a, 0x7b, 0xd5);
        QCOMPARE(blue > 100, bars);
    }

    void sortsByEveryColumn_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QStringList>("stations");
        // Two records started in the same second: the time sorts by the stored milliseconds,
        // not by the text shown.
        QTest::newRow("time, oldest first") << int(JournalTableModel::Time) << Qt::AscendingOrder
                                            << QStringList({"line-2", "line-3", "line-1", "line-4"});
        QTest::newRow("station") << int(JournalTableModel::Station) << Qt::AscendingOrder
                                 << QStringList({"line-1", "line-2", "line-3", "line-4"});
        QTest::newRow("outcome, descending") << int(JournalTableModel::Outcome) << Qt::DescendingOrder
                                             << QStringList({"line-2", "line-3", "line-1", "line-4"});
        QTest::newRow("package") << int(JournalTableModel::Package) << Qt::AscendingOrder
                                 << QStringList({"line-3", "line-4", "line-2", "line-1"});
        QTest::newRow("chips") << int(JournalTableModel::Chips) << Qt::AscendingOrder
                               << QStringList({"line-3", "line-4", "line-1", "line-2"});
    }
    void sortsByEveryColumn()
    {
        QFETCH(int, column);
        QFETCH(Qt::SortOrder, order);
        QFETCH(QStringList, stations);
        // As a click on the header does.
        table()->sortByColumn(column, order);
        QStringList shown = shownStations();
        // Rows whose sort texts are equal keep no defined order among themselves.
        if (column == JournalTableModel::Package || column == JournalTableModel::Chips) {
            std::sort(shown.begin(), shown.begin() + 2);
            std::sort(stations.begin(), stations.begin() + 2);
        }
        QCOMPARE(shown, stations);
        QVERIFY(table()->isSortingEnabled());
    }

    void filtersByTextInAnyColumnAndByKind_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kindRow"); // 0 all, 1 updates, 2 calibrations
        QTest::addColumn<QStringList>("stations");
        QTest::newRow("nothing") << QString() << 0 << QStringList({"line-4", "line-1", "line-3", "line-2"});
        QTest::newRow("cpuid in lower case") << QStringLiteral("0badf00d") << 0 << QStringList({"line-2"});
        QTest::newRow("outcome word") << QStringLiteral("mismatch") << 0 << QStringList({"line-1"});
        QTest::newRow("port, both kinds") << QStringLiteral("ttyUSB0") << 0 << QStringList({"line-3", "line-2"});
        QTest::newRow("port, updates only") << QStringLiteral("ttyUSB0") << 1 << QStringList({"line-2"});
        QTest::newRow("calibrations only") << QString() << 2 << QStringList({"line-3"});
        QTest::newRow("firmware change") << QStringLiteral("→ 1.04") << 0 << QStringList({"line-1"});
        QTest::newRow("pattern characters are text") << QStringLiteral("line-[14]") << 0 << QStringList();
        QTest::newRow("wildcard is text") << QStringLiteral("*") << 0 << QStringList();
        QTest::newRow("no match") << QStringLiteral("line-9") << 1 << QStringList();
    }
    void filtersByTextInAnyColumnAndByKind()
    {
        QFETCH(QString, text);
        QFETCH(int, kindRow);
        QFETCH(QStringList, stations);
        auto *kind = history->findChild<QComboBox *>(QStringLiteral("historyKind"));
        kind->setCurrentIndex(kindRow);
        history->findChild<QLineEdit *>(QStringLiteral("historyFilter"))->setText(text);
        QCOMPARE(shownStations(), stations);
        QCOMPARE(history->findChild<QLabel *>(QStringLiteral("historyCount"))->text(),
                 QStringLiteral("显示 %1 / 4 条记录").arg(stations.size()));
        // A record written meanwhile shows on the next refresh, under the same filters.
        QVERIFY(journal->record(seeded(JournalRecord::Kind::Calibration, local(30, 11), QStringLiteral("line-5"))));
        history->refresh();
        QTRY_VERIFY(!history->isReading());
        QCOMPARE(shownStations().contains(QStringLiteral("line-5")), text.isEmpty() && kindRow != 1);
    }

    // The summary waits in its worker until the test lets it go: meanwhile the window's thread
    // turns, the records filter, and of the requests made only the latest runs next. A window
    // closed and gone while its summary computes neither waits for it nor minds its end.
    void theWindowKeepsTurningWhileItsSummaryIsComputed()
    {
        QSemaphore gate;
        QAtomicInt runs = 0;
        // Bounded, so that a summary computed on the window's thread stalls the test, not hangs it.
        HistoryWindow::setBeforeSummary([&] {
            runs.fetchAndAddRelaxed(1);
            gate.tryAcquire(1, 10000);
        });
        const auto unhook = qScopeGuard([] { HistoryWindow::setBeforeSummary(nullptr); });
        auto *text = history->findChild<QLineEdit *>(QStringLiteral("historyFilter"));
        const auto headline = [this] { return history->findChild<QLabel *>(QStringLiteral("yieldHeadline"))->text(); };
        text->setText(QStringLiteral("line-1"));
        text->setText(QStringLiteral("line-2"));
        text->setText(QStringLiteral("ttyUSB1"));
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(10);
        QTRY_COMPARE(runs.loadRelaxed(), 1);
        QTRY_VERIFY(ticks >= 5);
        QCOMPARE(shownStations(), QStringList({"line-4", "line-1"}));
        QVERIFY2(headline().contains(QStringLiteral("正在计算汇总")), qPrintable(headline()));

        gate.release(10);
        QTRY_VERIFY(!history->isReading());
        QCOMPARE(runs.loadRelaxed(), 2);
        QVERIFY2(headline().contains(QStringLiteral("尝试 1 次")), qPrintable(headline()));

        gate.acquire(gate.available());
        text->clear();
        QTRY_COMPARE(runs.loadRelaxed(), 3);
        history.reset();
        gate.release();
        latestRunPool()->waitForDone();
    }

    // With a shared journal set that cannot be reached, the summary is this machine's, and says so.
    void theSummaryFallsBackToThisMachinesRecords()
    {
        JournalConfig config = journal->config();
        config.sharedUri = QStringLiteral("postgresql:///velmora?host=/nonexistent");
        Journal unreachable(config);
        HistoryWindow window(&unreachable);
        window.show();
        QTRY_VERIFY(!window.isReading());
        const QString headline = window.findChild<QLabel *>(QStringLiteral("yieldHeadline"))->text();
        QVERIFY2(headline.contains(QStringLiteral("无法读取")) && headline.contains(QStringLiteral("尝试 2 次")), qPrintable(headline));
    }

    void chipsLastUpdateIsFoundByCpuid_data()
    {
        QTest::addColumn<QList<JournalRecord>>("records");
        QTest::addColumn<QList<chipInfo>>("chips");
        QTest::addColumn<QStringList>("lines");
        const auto update = [](int day, const QList<SeedChip> &chips) {
            return seeded(JournalRecord::Kind::Update, local(day, 12), QStringLiteral("here"), chips);
        };
        const QList<chipInfo> two = {listed(0x11), listed(0x22)};
        QTest::newRow("written") << QList<JournalRecord>{update(20, {{0x11, 104, 105, "written"}})} << two
                                 << QStringList({"芯片 1：本站上次更新于 2026-11-20，1.04 → 1.05"});
        QTest::newRow("the newest wins")
            << QList<JournalRecord>{update(20, {{0x22, 100, 104, "written"}}), update(25, {{0x22, 104, 105, "written"}})} << two
            << QStringList({"芯片 2：本站上次更新于 2026-11-25，1.04 → 1.05"});
        QTest::newRow("up to date") << QList<JournalRecord>{update(21, {{0x11, 105, 105, "up-to-date"}})} << two
                                    << QStringList({"芯片 1：本站上次检查于 2026-11-21，已是 1.05"});
        QTest::newRow("a later failure says nothing of what it holds")
            << QList<JournalRecord>{update(20, {{0x11, 104, 105, "written"}}), update(26, {{0x11, 105, 106, "failed"}})} << two
            << QStringList({"芯片 1：本站上次更新于 2026-11-20，1.04 → 1.05"});
        QTest::newRow("failed and unreached only")
            << QList<JournalRecord>{update(20, {{0x11, 104, 105, "failed"}, {0x22, 104, 105, "not-reached"}})} << two
            << QStringList();
        QTest::newRow("another chip at the same place")
            << QList<JournalRecord>{update(20, {{0x33, 104, 105, "written"}, {0x22, 100, 105, "written"}})} << two
            << QStringList({"芯片 2：本站上次更新于 2026-11-20，1.00 → 1.05"});
        QTest::newRow("never seen") << QList<JournalRecord>{} << two << QStringList();
    }
    void chipsLastUpdateIsFoundByCpuid()
    {
        QFETCH(QList<JournalRecord>, records);
        QFETCH(QList<chipInfo>, chips);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        JournalStore store;
        QString error;
        QVERIFY(store.open(JournalStore::Backend::Local, dir.filePath(QStringLiteral("j.sqlite")), 1000, &error));
        // A calibration of the same day never counts as an update.
        records.append(seeded(JournalRecord::Kind::Calibration, local(29, 12), QStringLiteral("here")));
        QVERIFY2(store.append(records, &error), qPrintable(error));
        QCOMPARE(ChipHistory::lines(store, chips, &error), lines);
        QCOMPARE(error, QString());
    }
};

QTEST_MAIN(JournalViewsTest)
#include "tst_journal_views.moc"
