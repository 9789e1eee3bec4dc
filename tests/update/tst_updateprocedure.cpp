// The update procedure: matching the package to the chips, its outcome, and stopping it.
#include "GivePackage.h"
#include "UpdateRig.h"

#include "../stars/DebugCapture.h"

namespace {

constexpr uint32_t Cpuid1 = 0x3141354B;
constexpr uint32_t Cpuid2 = 0x3242354B;
constexpr uint32_t Cpuid3 = 0x3343354B;

// Suppresses the acknowledgement of every page write.
QByteArray noPageAcks(const QByteArray &request, const QByteArray &reply)
{
    return request.at(0) == 0x02 ? QByteArray() : reply;
}

} // namespace

class UpdateProcedureTest : public QObject
{
    Q_OBJECT

private slots:
    void packageIsMatchedAgainstTheChipsInOrder_data()
    {
        // The chips have hardware 0101, 0102, 0103 and structure 4B35, except the third's.
        QTest::addColumn<int>("images");
        QTest::addColumn<int>("firstHardware");
        QTest::addColumn<int>("arch");
        QTest::addColumn<QString>("failure");
        QTest::newRow("count first") << 2 << 0x0999 << 0x1111 << QStringLiteral("固件文件与设备不匹配，请使用正确的固件文件！");
        QTest::newRow("hardware before structure") << 3 << 0x0999 << 0x1111 << QStringLiteral("固件与设备硬件不匹配，请使用正确的固件文件！");
        QTest::newRow("structure of the first chip") << 3 << 0x0101 << 0x1111 << QStringLiteral("固件与设备结构不匹配，请使用正确的固件文件！");
        QTest::newRow("only the first chip's structure counts") << 3 << 0x0101 << 0x4B35 << QString();
    }
    void packageIsMatchedAgainstTheChipsInOrder()
    {
        QFETCH(int, images);
        QFETCH(int, firstHardware);
        QFETCH(int, arch);
        QFETCH(QString, failure);
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.addChip(Cpuid2, 0x0102);
        rig.device.addChip(Cpuid3, 0x0103).arch = 0x7777;
        rig.start();
        QVERIFY(rig.connectAndList());
        QList<QPair<uint16_t, QByteArray>> package;
        for (int k = 0; k < images; ++k)
            package.append({uint16_t(k == 0 ? firstHardware : 0x0101 + k), UpdateRig::pattern(64, k)});
        const qsizetype sent = rig.device.requests.size();
        QVERIFY(rig.update(rig.writePackage(package, uint16_t(arch)), failure));
        if (failure.isEmpty()) {
            QVERIFY(rig.succeeded());
            return;
        }
        QCOMPARE(rig.reports.last(), UpdateRig::Report(-1, failure));
        QVERIFY(rig.reports.contains({0, QString::asprintf("固件1: 结构:%04X, 硬件:%04X, 固件:V1.05", arch, firstHardware)}));
        // Refused before any request: no write, no RUN, no RESTART; the next connect starts over.
        QCOMPARE(rig.device.requests.size(), sent);
        rig.service.connectRequest();
        QTRY_COMPARE(rig.reports.count({1, QStringLiteral("连接设备成功！")}), 2);
    }

    void failureOnTheSecondOfThreeChipsRestartsNamingIt()
    {
        UpdateRig rig(false);
        for (uint32_t cpuid : {Cpuid1, Cpuid2, Cpuid3})
            rig.device.addChip(cpuid, 0x0101);
        ScriptedBootloader *device = &rig.device;
        rig.device.tamper = [device](const QByteArray &request, QByteArray reply) {
            if (request.at(0) == 0x02 && device->currentChip() == 1)
                reply[1] = 5; // the second chip refuses its pages
            return reply;
        };
        rig.start();
        QVERIFY(rig.connectAndList());
        const QByteArray image = UpdateRig::pattern(100, 1);
        QVERIFY(rig.update(rig.writePackage({{0x0101, image}, {0x0101, image}, {0x0101, image}})));
        QCOMPARE(rig.reports.last(), UpdateRig::Report(-1, QStringLiteral("设备2更新失败，重启至升级模式！")));
        QVERIFY(!rig.reports.contains({0, QStringLiteral("正在更新设备3固件")}));
        QVERIFY(!rig.succeeded());
        QCOMPARE(rig.device.codes().last(), uint8_t(0x23));
    }

    void chipWhoseCrcDiffersAfterWritingIsAFailure()
    {
        UpdateRig rig(true);
        rig.device.addChip(Cpuid1, 0x0101);
        ScriptedBootloader *device = &rig.device;
        rig.device.tamper = [device](const QByteArray &request, QByteArray reply) {
            if (request.at(0) == 0x13 && !device->writes.isEmpty())
                reply[2] = char(reply.at(2) ^ 1); // every page acknowledged, yet the flash differs
            return reply;
        };
        rig.start();
        QVERIFY(rig.connectAndList());
        QVERIFY(rig.update(rig.writePackage({{0x0101, UpdateRig::pattern(1500, 1)}})));
        QCOMPARE(rig.reports.last(), UpdateRig::Report(-1, QStringLiteral("设备1更新失败，重启至升级模式！")));
        QVERIFY(!rig.succeeded());
        QCOMPARE(rig.device.codes().last(), uint8_t(0x17));
    }

    void imageLargerThanTheFlashFailsBeforeWriting()
    {
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101, 2);
        rig.start();
        QVERIFY(rig.connectAndList());
        QVERIFY(rig.update(rig.writePackage({{0x0101, UpdateRig::pattern(2049, 1)}})));
        QCOMPARE(rig.reports.mid(rig.reports.size() - 2),
                 (QList<UpdateRig::Report>{{-1, QStringLiteral("设备1固件大小溢出！")},
                                           {-1, QStringLiteral("设备1更新失败，重启至升级模式！")}}));
        QVERIFY(rig.device.writes.isEmpty());
        QCOMPARE(rig.device.codes().last(), uint8_t(0x23));
    }

    void successReportsEveryStepAndTheElapsedSeconds()
    {
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        qint64 now = 1000;
        rig.service.setElapsedClock([&now] { return std::exchange(now, now + 12500); });
        rig.start();
        QVERIFY(rig.connectAndList());
        // The end says RUN was sent: it must have been handed over by then.
        uint8_t sentBeforeEnd = 0;
        QObject::connect(&rig.service, &UpdateService::updateOutcome, &rig.context,
                         [&] { sentBeforeEnd = rig.device.codes().last(); });
        DebugCapture capture;
        QVERIFY(rig.update(rig.writePackage({{0x0101, UpdateRig::pattern(300, 1)}})));
        QCOMPARE(sentBeforeEnd, uint8_t(0x22));
        QCOMPARE(rig.reports, (QList<UpdateRig::Report>{
            {1, QStringLiteral("连接设备成功！")},
            {0, QStringLiteral("正在获取设备信息")},
            {0, QStringLiteral("获取设备信息成功！")},
            {0, QStringLiteral("获取固件文件信息")},
            {0, QStringLiteral("固件1: 结构:4B35, 硬件:0101, 固件:V1.05")},
            {0, QStringLiteral("正在更新设备1固件")},
            {3, QStringLiteral("更新完成，用时12.5s，运行新固件！")}}));
        QCOMPARE(rig.device.codes().last(), uint8_t(0x22));
        QTRY_VERIFY(capture.lines().contains(QStringLiteral("time: 12500")));
    }

    void cancelDuringAPageWriteFailsAndRestarts()
    {
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.tamper = noPageAcks;
        rig.start();
        QVERIFY(rig.connectAndList());
        givePackage(rig.service, rig.writePackage({{0x0101, UpdateRig::pattern(3000, 1)}}));
        QTRY_VERIFY(!rig.device.writes.isEmpty());
        rig.service.onCancel();
        QTRY_VERIFY(rig.finished());
        QCOMPARE(rig.reports.last(), UpdateRig::Report(-1, QStringLiteral("设备1更新失败，重启至升级模式！")));
        QCOMPARE(rig.device.writes.size(), 1);
    }

    // A mode change cancels; a connect request made right after it, before the loop has taken
    // up the cancel (here: before the loop even runs), must still connect.
    void connectRequestAfterAPendingCancelIsNotSwallowed()
    {
        UpdateRig rig(true); // its mode change has left a cancel pending
        rig.service.connectRequest();
        rig.service.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.reports.contains(UpdateRig::Report(1, QStringLiteral("连接设备成功！"))), 10000);
    }

    void stopEndsTheThreadPromptlyInEveryWait_data()
    {
        QTest::addColumn<QString>("step");
        for (const char *step : {"idle", "probing", "waiting for a package", "writing a page"})
            QTest::newRow(step) << QString::fromLatin1(step);
    }
    void stopEndsTheThreadPromptlyInEveryWait()
    {
        QFETCH(QString, step);
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.tamper = noPageAcks;
        rig.device.silent = step == QLatin1String("probing");
        rig.start();
        if (step == QLatin1String("probing")) {
            rig.service.connectRequest();
            QTRY_VERIFY(!rig.countdown.isEmpty());
        } else if (step != QLatin1String("idle")) {
            QVERIFY(rig.connectAndList());
        }
        if (step == QLatin1String("writing a page")) {
            givePackage(rig.service, rig.writePackage({{0x0101, UpdateRig::pattern(3000, 1)}}));
            QTRY_VERIFY(!rig.device.writes.isEmpty());
        }
        QVERIFY(rig.service.isRunning());
        rig.service.stop();
        // Well below the waits' own limits (2 s for a page, 30 s for the probe, none when idle).
        QVERIFY(rig.service.wait(1500));
        QVERIFY(!rig.succeeded());
    }
};

QTEST_GUILESS_MAIN(UpdateProcedureTest)
#include "tst_updateprocedure.moc"
