// The station window on a mocked bench: three gimbals, one that fails, one whose serial was
// scanned and one being written when the window is closed; each tile's final state and the
// journal's records; then the scan field's rules.
//
// With VELMORA_STATION_SHOTS=DIR it also saves the window while two gimbals have ended and the
// third is still being written, at 1920x1080 and 1366x768, in Chinese, or in English with
// VELMORA_STATION_SHOTS_LANG=en (the pictures of the README).
#include "BenchSlot.h"
#include "CheckedPackage.h"
#include "Journal.h"
#include "JournalConfig.h"
#include "JournalStore.h"
#include "StationTile.h"
#include "StationWindow.h"
#include "UdevTestbed.h"
#include "../common/TestPackages.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {

constexpr int kGimbalMs = 60000;

// Types as a scanner does, key by key (full-width and other non-Latin text too), then Enter.
void scan(StationWindow &window, const QString &typed)
{
    for (const QChar c : typed)
        QTest::sendKeyEvent(QTest::Click, window.scanField(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    QTest::keyClick(window.scanField(), Qt::Key_Return);
}

} // namespace

class StationWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString package;

private slots:
    void initTestCase()
    {
        package = dir.filePath(QStringLiteral("two.ptz"));
        writeTestPackage(package, {12000, 5000}, 11);
        qputenv("VELMORA_JOURNAL_FILE", dir.filePath(QStringLiteral("journal.sqlite")).toUtf8());
        qputenv("VELMORA_STATION", "bench-1");
        qunsetenv("VELMORA_JOURNAL");
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    }

    void threeGimbalsOneFailingOneScanned()
    {
        if (!UdevTestbed::preloaded())
            QSKIP(qPrintable(UdevTestbed::notPreloadedReason()));
        const QString shots = qEnvironmentVariable("VELMORA_STATION_SHOTS");
        QTranslator english;
        if (!shots.isEmpty() && qEnvironmentVariable("VELMORA_STATION_SHOTS_LANG") == QLatin1String("en")) {
            QVERIFY(english.load(QStringLiteral(":/en_US")));
            QCoreApplication::installTranslator(&english);
        }
        if (!shots.isEmpty()) {
            // As the program shows it: with its dark style.
            QFile style(QStringLiteral(":/qdarkstyle/style.qss"));
            QVERIFY(style.open(QIODevice::ReadOnly));
            qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
        }
        UdevTestbed testbed;
        BenchSlot scanned(testbed, 0, dir.filePath(QStringLiteral("flash0")));
        // Its chips are of another hardware than the package's images: refused by the bootloader's check.
        BenchSlot failing(testbed, 1, dir.filePath(QStringLiteral("flash1")), RoleSettings::NewFirmware::None,
                          [](BootloaderSettings &b) {
                              for (SimChipInfo &chip : b.chips)
                                  chip.hardware = 0x0201;
                          });
        // Slower, so that it is still being written when the others have ended; then the window
        // is closed under it.
        BenchSlot plain(testbed, 2, dir.filePath(QStringLiteral("flash2")), RoleSettings::NewFirmware::None,
                        [slow = !shots.isEmpty()](BootloaderSettings &b) { b.pageWriteMs = slow ? 400 : 200; });

        Journal journal(JournalConfig::resolve());
        StationWindow window({package, QString(), 0, false}, &journal);
        window.resize(1366, 768);
        window.show();
        QTRY_VERIFY(window.isRunning());

        scan(window, QStringLiteral("SN-0001"));
        QCOMPARE(window.currentStation()->heldSerial(), QStringLiteral("SN-0001"));
        QVERIFY(window.scanField()->text().isEmpty());
        QVERIFY(scanned.plug());
        QTRY_VERIFY(window.tile(scanned.tty));
        QCOMPARE(window.tile(scanned.tty)->unitSerial(), QStringLiteral("SN-0001"));
        QVERIFY(window.scanWords().contains(scanned.tty));
        QVERIFY(failing.plug());
        QVERIFY(plain.plug());

        QTRY_COMPARE_WITH_TIMEOUT(window.tile(scanned.tty)->verdict(), StationTile::Verdict::Pass, kGimbalMs);
        QTRY_COMPARE_WITH_TIMEOUT(window.tile(failing.tty)->verdict(), StationTile::Verdict::Fail, kGimbalMs);
        QCOMPARE(window.tile(failing.tty)->outcomeWord(), QStringLiteral("hardware-mismatch"));
        QVERIFY(window.tile(failing.tty)->unitSerial().isEmpty());
        QVERIFY(failing.pagesWritten() == 0);
        // The verdict stays when the gimbal is pulled out, until the next one on the adapter.
        const QString ended = window.tile(failing.tty)->phaseText();
        scanned.pull();
        QTRY_VERIFY(window.tile(scanned.tty)->phaseText() != ended);
        QCOMPARE(window.tile(scanned.tty)->verdict(), StationTile::Verdict::Pass);

        // The product cannot change while a gimbal is being written: the station runs on.
        QTRY_VERIFY_WITH_TIMEOUT(window.tile(plain.tty) && window.tile(plain.tty)->phaseText().contains(QLatin1String("%")), kGimbalMs);
        auto *product = window.findChild<QComboBox *>(QStringLiteral("productBox"));
        emit product->activated(3);
        QCOMPARE(product->currentIndex(), 0);
        QVERIFY(window.isRunning());
        if (!shots.isEmpty()) {
            const QString lang = english.isEmpty() ? QStringLiteral("zh") : QStringLiteral("en");
            for (const QSize size : {QSize(1920, 1080), QSize(1366, 768)}) {
                window.resize(size);
                QTest::qWait(50); // lets the resized window lay out and paint once
                QVERIFY(window.grab().save(QStringLiteral("%1/station-%2-%3x%4.png").arg(shots, lang).arg(size.width()).arg(size.height())));
            }
        }
        // Closed while it is written: the window asks; confirmed, the write ends safely (RESTART)
        // and the window closes once the station has ended.
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&answer] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                answer.stop();
                box->button(QMessageBox::Yes)->click();
            }
        });
        answer.start(20);
        window.close();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), kGimbalMs);
        QCOMPARE(window.tile(plain.tty)->verdict(), StationTile::Verdict::Refused);
        QCOMPARE(window.tile(plain.tty)->outcomeWord(), QStringLiteral("cancelled"));
        QVERIFY(plain.ended(QStringLiteral("B RESTART")));

        JournalStore store;
        QString error;
        QVERIFY2(store.open(JournalStore::Backend::Local, dir.filePath(QStringLiteral("journal.sqlite")), 2000, &error), qPrintable(error));
        QHash<QString, JournalRecord> byPort;
        for (const JournalRecord &record : store.find(JournalFilter(), &error))
            byPort.insert(record.port, record);
        QCOMPARE(byPort.size(), 3);
        QCOMPARE(byPort.value(scanned.tty).unitSerial, QStringLiteral("SN-0001"));
        QCOMPARE(byPort.value(scanned.tty).outcome, QStringLiteral("success"));
        QCOMPARE(byPort.value(failing.tty).outcome, QStringLiteral("hardware-mismatch"));
        QCOMPARE(byPort.value(plain.tty).outcome, QStringLiteral("cancelled"));
        QVERIFY(byPort.value(plain.tty).unitSerial.isEmpty());
        QCoreApplication::removeTranslator(&english);
    }

    // What the scan field makes of what a scanner typed, with no gimbal plugged in.
    void scanFieldRules_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("held");  // the serial held for the next gimbal after the scan
        QTest::addColumn<QString>("words"); // held in what the field says; empty: says nothing
        QTest::newRow("plain") << "SN-0001" << "SN-0001" << "SN-0001";
        QTest::newRow("blanks around") << "  SN-0002\t" << "SN-0002" << "SN-0002";
        QTest::newRow("full-width, as a Chinese keyboard layout types") << QStringLiteral("ＳＮ－０００３") << "SN-0003" << "SN-0003";
        QTest::newRow("a new scan replaces the held one") << "SN-0004" << "SN-0004" << "SN-0004";
        QTest::newRow("space inside") << "SN 0005" << "SN-0004" << "SN 0005";
        QTest::newRow("65 characters") << QString(65, QLatin1Char('A')) << "SN-0004" << QString(65, QLatin1Char('A'));
        QTest::newRow("64 characters") << QString(64, QLatin1Char('B')) << QString(64, QLatin1Char('B')) << QString(64, QLatin1Char('B'));
        QTest::newRow("non-ASCII") << QStringLiteral("序列号1") << QString(64, QLatin1Char('B')) << QStringLiteral("序列号1");
        QTest::newRow("Enter alone") << "" << QString(64, QLatin1Char('B')) << "";
    }

    void scanFieldRules()
    {
        QFETCH(QString, typed);
        QFETCH(QString, held);
        QFETCH(QString, words);
        static StationWindow *window = nullptr;
        if (!window) {
            window = new StationWindow({package, QString(), 0, false}, nullptr);
            window->show();
            QVERIFY(QTest::qWaitForWindowActive(window));
            QTRY_VERIFY(window->isRunning());
        }
        scan(*window, typed);
        QCOMPARE(window->currentStation()->heldSerial(), held);
        QVERIFY(window->scanField()->text().isEmpty());
        QVERIFY2(words.isEmpty() ? window->scanWords().isEmpty() : window->scanWords().contains(words), qPrintable(window->scanWords()));
        // A scanner types into whatever has the focus: the field keeps it.
        QCOMPARE(QApplication::focusWidget(), window->scanField());
        if (QTest::currentDataTag() == QLatin1String("Enter alone"))
            delete std::exchange(window, nullptr);
    }
};

QTEST_MAIN(StationWindowTest)
#include "tst_umockdev_station_window.moc"
