// The firmware update end to end: service, link, port worker and serial port against the simulator program's bootloader.
#include "MetaTypes.h"
#include "SimulatorProcess.h"
#include "UpdateHost.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList bootloaderLines(SimulatorProcess &sim)
{
    QStringList lines;
    for (const QString &line : sim.traceLines())
        if (line.startsWith(QLatin1String("B ")))
            lines.append(line);
    return lines;
}

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
    }
};

QTEST_MAIN(UpdateEndToEndTest)
#include "tst_update_e2e.moc"
