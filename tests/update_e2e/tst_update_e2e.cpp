// The firmware update end to end: service, link, port worker and serial port against the simulator program's bootloader.
#include "MetaTypes.h"
#include "SimulatorProcess.h"
#include "UpdateHost.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {


} // namespace

class UpdateEndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerQueuedMetaTypes();
        registerUpdateMetaTypes();
    }

    void updateWritesEveryChipAndASecondRunSkipsThem_data()
    {
        QTest::addColumn<bool>("multiChip");
        QTest::addColumn<QString>("role");
        QTest::newRow("single address") << false << QStringLiteral("bootloader");
        QTest::newRow("multi-chip") << true << QStringLiteral("bootloader");
        QTest::newRow("auto role, as the demo runs") << false << QStringLiteral("auto");
    }
    void updateWritesEveryChipAndASecondRunSkipsThem()
    {
        QFETCH(bool, multiChip);
        QFETCH(QString, role);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString package = dir.filePath(QStringLiteral("test.ptz"));
        const QString flash = dir.filePath(QStringLiteral("flash"));
        // Three chips, last pages short, at line speed.
        const QList<QByteArray> images = writeTestPackage(package, {2496, 1030, 700}, 11);
        QCOMPARE(images.size(), 3);
        QStringList arguments{QStringLiteral("--role"), role, QStringLiteral("--chips"), QStringLiteral("3"),
                              QStringLiteral("--boot-delay-ms"), QStringLiteral("300"), QStringLiteral("--flash-dir"), flash};
        if (multiChip)
            arguments << QStringLiteral("--multi-chip");

        {
            SimulatorProcess sim;
            QVERIFY(sim.start(arguments));
            UpdateHost host;
            host.service.setMultiChip(multiChip);
            host.service.start();
            QVERIFY(host.open(sim.path()));
            const auto result = host.update(package, 60000);
            QCOMPARE(result.first, 3);
            QVERIFY2(flashHoldsImages(flash, images), "the flash differs from the images after a success");
            QCOMPARE(host.lists.last().size(), 3);
            QCOMPARE(host.lists.last().first().device, multiChip ? QStringLiteral("K5A1") : QStringLiteral("3141354B"));
            QTRY_COMPARE_WITH_TIMEOUT(bootloaderLines(sim).last(), QStringLiteral("B RUN"), 5000);
            // 3 + 2 + 1 pages, each written once.
            QCOMPARE(bootloaderLines(sim).filter(QStringLiteral("B WRITE_PAGE")).size(), 6);
            if (role == QLatin1String("auto"))
                QTRY_VERIFY_WITH_TIMEOUT(sim.traceLines().endsWith(QStringLiteral("ROLE runtime")), 5000);
        }

        // A new simulator on the same flash files: every chip already holds its image.
        SimulatorProcess sim;
        QVERIFY(sim.start(arguments));
        UpdateHost host;
        host.service.setMultiChip(multiChip);
        host.service.start();
        QVERIFY(host.open(sim.path()));
        QCOMPARE(host.update(package, 60000).first, 3);
        QCOMPARE(host.progress, (QList<int>{1000, 1000, 1000}));
        QVERIFY(bootloaderLines(sim).filter(QStringLiteral("B WRITE_PAGE")).isEmpty());
    }

    void damagedLineNeverYieldsASuccessWithWrongFlash_data()
    {
        QTest::addColumn<bool>("multiChip");
        QTest::newRow("single address") << false;
        QTest::newRow("multi-chip") << true;
    }
    void damagedLineNeverYieldsASuccessWithWrongFlash()
    {
        QFETCH(bool, multiChip);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString package = dir.filePath(QStringLiteral("test.ptz"));
        const QList<QByteArray> images = writeTestPackage(package, {4096, 3000}, 5);
        int successes = 0;
        int failures = 0;
        for (int run = 0; run < 3; ++run) {
            const QString flash = dir.filePath(QStringLiteral("flash%1").arg(run));
            QStringList arguments{QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--no-pace"),
                                  QStringLiteral("--page-size"), QStringLiteral("256"), QStringLiteral("--drop"),
                                  QStringLiteral("0.0005"), QStringLiteral("--corrupt"), QStringLiteral("0.0005"),
                                  QStringLiteral("--seed"), QString::number(100 + run), QStringLiteral("--flash-dir"), flash};
            if (multiChip)
                arguments << QStringLiteral("--multi-chip");
            SimulatorProcess sim;
            QVERIFY(sim.start(arguments));
            UpdateHost host;
            host.service.setMultiChip(multiChip);
            host.service.start();
            QVERIFY(host.open(sim.path()));
            const auto result = host.update(package, 90000);
            QVERIFY2(result.first == 3 || result.first == -1 || result.first == 2, qPrintable(result.second));
            qInfo("run %d: %d %s", run, result.first, qPrintable(result.second));
            // A damaged line is never blamed on the package.
            QTRY_VERIFY_WITH_TIMEOUT(!host.outcomes.isEmpty(), 10000);
            for (const UpdateOutcome &outcome : std::as_const(host.outcomes)) {
                QVERIFY2(outcome.reason < UpdateOutcome::PackageUnreadable || outcome.reason > UpdateOutcome::ArchMismatch,
                         qPrintable(UpdateOutcome::reasonName(outcome.reason) + QLatin1Char(' ') + outcome.detail()));
            }
            if (result.first == 3) {
                ++successes;
                QVERIFY2(flashHoldsImages(flash, images), "success reported while a chip's flash differs");
                QTRY_COMPARE_WITH_TIMEOUT(bootloaderLines(sim).last(), QStringLiteral("B RUN"), 5000);
            } else {
                ++failures;
                // The chips are never started half-written: after the last page written comes
                // RESTART, and RUN never comes.
                const QStringList lines = bootloaderLines(sim);
                QVERIFY(!lines.contains(QStringLiteral("B RUN")));
                qsizetype lastWrite = -1;
                for (qsizetype i = 0; i < lines.size(); ++i)
                    if (lines[i].startsWith(QLatin1String("B WRITE_PAGE")))
                        lastWrite = i;
                if (lastWrite >= 0)
                    QTRY_VERIFY_WITH_TIMEOUT(bootloaderLines(sim).indexOf(QStringLiteral("B RESTART"), lastWrite) > lastWrite, 5000);
            }
        }
        qInfo("damaged line: %d successes, %d failures", successes, failures);
        QCOMPARE(successes + failures, 3);
    }

    void misbehavingChainsNeverWriteAChipWithAnotherHardware_data()
    {
        QTest::addColumn<bool>("multiChip");
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<int>("reason");
        QTest::addColumn<int>("chip");
        const QStringList reorder{QStringLiteral("--reorder-after-listing")};
        QTest::newRow("single, reordered") << false << reorder << int(UpdateOutcome::ChipChanged) << 1;
        QTest::newRow("multi, reordered") << true << reorder << int(UpdateOutcome::ChipChanged) << 1;
        QTest::newRow("single, NEXT skips") << false << QStringList{QStringLiteral("--next-fault"), QStringLiteral("skip")}
                                            << int(UpdateOutcome::ChipChanged) << 2;
        QTest::newRow("single, NEXT stuck") << false << QStringList{QStringLiteral("--next-fault"), QStringLiteral("stuck")}
                                            << int(UpdateOutcome::WriteFailed) << 2;
        QTest::newRow("multi, NEXT stuck") << true << QStringList{QStringLiteral("--next-fault"), QStringLiteral("stuck")}
                                           << int(UpdateOutcome::ChipInfoFailed) << 2;
    }
    void misbehavingChainsNeverWriteAChipWithAnotherHardware()
    {
        QFETCH(bool, multiChip);
        QFETCH(QStringList, fault);
        QFETCH(int, reason);
        QFETCH(int, chip);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString package = dir.filePath(QStringLiteral("three.ptz"));
        const QString flash = dir.filePath(QStringLiteral("flash"));
        const QList<QByteArray> images = writeTestPackage(package, {1500, 1500, 1500}, 21);
        QStringList arguments{QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--chips"),
                              QStringLiteral("3"), QStringLiteral("--flash-dir"), flash};
        if (multiChip)
            arguments << QStringLiteral("--multi-chip");
        SimulatorProcess sim;
        QVERIFY(sim.start(arguments + fault));
        UpdateHost host;
        host.service.setMultiChip(multiChip);
        host.service.start();
        QVERIFY(host.open(sim.path()));
        QCOMPARE(host.update(package, 60000).first, -1);
        QTRY_COMPARE_WITH_TIMEOUT(host.outcomes.size(), 1, 10000);
        QCOMPARE(int(host.outcomes.last().reason), reason);
        QCOMPARE(host.outcomes.last().chip, chip);
        QTRY_COMPARE_WITH_TIMEOUT(bootloaderLines(sim).last(), QStringLiteral("B RESTART"), 5000);
        // Chip k (hardware 0x0100 + k) holds its own image or is untouched: never another's.
        for (int k = 0; k < 3; ++k) {
            QFile file(flash + QStringLiteral("/chip%1.bin").arg(k + 1));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray start = file.read(images[k].size());
            QVERIFY2(start == images[k] || start == QByteArray(images[k].size(), char(0xFF)), qPrintable(QString::number(k + 1)));
        }
        QVERIFY(!bootloaderLines(sim).contains(QStringLiteral("B RUN")));
    }

    // Stray bytes between the replies begin no frame: the silence after the last chip still
    // ends the listing.
    void slowChipsAndNoisyLinesUpdate_data()
    {
        QTest::addColumn<bool>("multiChip");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("strayMs");
        QTest::newRow("single, 250 ms") << false << 250 << 0;
        QTest::newRow("single, 450 ms") << false << 450 << 0;
        QTest::newRow("multi, 450 ms") << true << 450 << 0;
        QTest::newRow("single, stray bytes every 20 ms") << false << 0 << 20;
        QTest::newRow("multi, stray bytes every 20 ms") << true << 0 << 20;
    }
    void slowChipsAndNoisyLinesUpdate()
    {
        QFETCH(bool, multiChip);
        QFETCH(int, delayMs);
        QFETCH(int, strayMs);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString package = dir.filePath(QStringLiteral("two.ptz"));
        const QString flash = dir.filePath(QStringLiteral("flash"));
        const QList<QByteArray> images = writeTestPackage(package, {1000, 700}, 23);
        QStringList arguments{QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--flash-dir"), flash,
                              QStringLiteral("--reply-delay-ms"), QString::number(delayMs),
                              QStringLiteral("--stray-bytes"), QString::number(strayMs)};
        if (multiChip)
            arguments << QStringLiteral("--multi-chip");
        SimulatorProcess sim;
        QVERIFY(sim.start(arguments));
        UpdateHost host;
        host.service.setMultiChip(multiChip);
        host.service.start();
        QVERIFY(host.open(sim.path()));
        QCOMPARE(host.update(package, 120000).first, 3);
        QCOMPARE(host.lists.last().size(), 2);
        QVERIFY(flashHoldsImages(flash, images));
        QTRY_COMPARE_WITH_TIMEOUT(bootloaderLines(sim).last(), QStringLiteral("B RUN"), 5000);
    }
};

QTEST_MAIN(UpdateEndToEndTest)
#include "tst_update_e2e.moc"
