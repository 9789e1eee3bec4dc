// The update service's bootloader commands: codes, reply checks, probing, listing and writing a chip.
#include "UpdateRig.h"

#include "../stars/DebugCapture.h"

namespace {

constexpr uint32_t Cpuid1 = 0x3141354B; // "K5A1" in reply order
constexpr uint32_t Cpuid2 = 0x3242354B; // "K5B2"
constexpr uint32_t Cpuid3 = 0x3343354B; // "K5C3"

} // namespace

class UpdateCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void multiChipModeAddressesEachChipInItsCodes()
    {
        UpdateRig rig(true);
        const uint32_t cpuids[] = {Cpuid1, Cpuid2, Cpuid3};
        for (int k = 0; k < 3; ++k)
            rig.device.addChip(cpuids[k], uint16_t(0x0101 + k));
        rig.start();
        QVERIFY(rig.connectAndList());
        const QList<deviceInfo> rows = rig.deviceLists.last();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(2).device, QStringLiteral("K5C3")); // the cpuid bytes read as text
        QCOMPARE(rows.at(1).hardware, QStringLiteral("0102"));
        QCOMPARE(rows.at(1).structure, QStringLiteral("4B35"));
        QCOMPARE(rows.at(1).firmware, QStringLiteral("1.00"));

        QList<QPair<uint16_t, QByteArray>> package;
        for (int k = 0; k < 3; ++k)
            package.append({uint16_t(0x0101 + k), UpdateRig::pattern(1500, k)});
        QVERIFY(rig.update(rig.writePackage(package)));
        QVERIFY(rig.succeeded());
        QVERIFY(rig.quietAfterOutcome());
        // Probe; listing between two RESTARTs, NEXT to address 1 before the higher addresses,
        // ended by the refusal at address 4; then per chip GET_INFO, READ_CRC, two pages,
        // READ_CRC (and NEXT after chip 1); RUN and nothing after it.
        const QList<uint8_t> expected{0x11, 0x17, 0x11, 0x14, 0x21, 0x31, 0x41, 0x17,
                                      0x11, 0x13, 0x12, 0x12, 0x13, 0x14,
                                      0x21, 0x23, 0x22, 0x22, 0x23,
                                      0x31, 0x33, 0x32, 0x32, 0x33, 0x16};
        QCOMPARE(rig.device.codes(), expected);
        for (int k = 0; k < 3; ++k) // padded to 1504 bytes with 0xFF
            QCOMPARE(rig.device.chips[k].flash.left(1508), package[k].second + QByteArray(8, '\xFF'));
    }

    void getInfoReplyMustBeExactly22Bytes_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("status");
        QTest::newRow("21 bytes fail") << 21 << 0;
        QTest::newRow("23 bytes fail") << 23 << 0;
        QTest::newRow("22 bytes with status 7 pass") << 22 << 7;
    }
    void getInfoReplyMustBeExactly22Bytes()
    {
        QFETCH(int, length);
        QFETCH(int, status);
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.tamper = [=](const QByteArray &request, QByteArray reply) {
            if (request.at(0) == 0x01) {
                reply.resize(length, '\0');
                reply[1] = char(status);
            }
            return reply;
        };
        rig.start();
        rig.service.connectRequest();
        // The probe takes a reply of any length; the listing reads the record.
        QTRY_VERIFY(rig.reports.contains({1, QStringLiteral("连接设备成功！")}));
        if (length == 22) {
            QTRY_COMPARE(rig.deviceLists.size(), 1);
            QCOMPARE(rig.deviceLists.first().first().device, QStringLiteral("3141354B"));
        } else {
            QTRY_VERIFY(rig.reports.contains({-1, QStringLiteral("获取设备信息失败！")}));
            QVERIFY(rig.deviceLists.isEmpty());
        }
    }

    void imageIsWrittenPageByPageWithPerMilleProgress()
    {
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.start();
        QVERIFY(rig.connectAndList());
        const QByteArray image = UpdateRig::pattern(2496, 6);
        QVERIFY(rig.update(rig.writePackage({{0x0101, image}})));
        QVERIFY(rig.succeeded());
        QCOMPARE(rig.device.writes.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(rig.device.writes.at(i).page, i);
            QCOMPARE(rig.device.writes.at(i).size, i < 2 ? 1024 : 448);
        }
        QCOMPARE(rig.progress, (QList<int>{410, 820, 1000}));
        QCOMPARE(rig.device.chips[0].flash.left(image.size()), image);
    }

    void chipAlreadyHoldingItsImageIsNotWritten()
    {
        UpdateRig rig(false);
        const QByteArray image = UpdateRig::pattern(2048, 7);
        rig.device.addChip(Cpuid1, 0x0101).flash.replace(0, image.size(), image);
        rig.start();
        QVERIFY(rig.connectAndList());
        QVERIFY(rig.update(rig.writePackage({{0x0101, image}})));
        QVERIFY(rig.succeeded());
        QVERIFY(rig.device.writes.isEmpty());
        QCOMPARE(rig.progress, QList<int>{1000});
    }

    void probeCountsDownThenGivesUp()
    {
        UpdateRig rig(false);
        rig.device.silent = true;
        rig.service.setProbeTimeoutMs(1000);
        DebugCapture capture;
        rig.start();
        rig.service.connectRequest();
        QTRY_VERIFY_WITH_TIMEOUT(rig.reports.contains({2, QStringLiteral("连接设备超时！")}), 10000);
        QCOMPARE(capture.count(QStringLiteral("> try connect false!")), 1);
        // A GET_INFO about every 200 ms, each followed by the time left, falling to 0 or below.
        QVERIFY(rig.countdown.size() >= 3);
        QCOMPARE(rig.device.requests.size(), rig.countdown.size());
        QVERIFY(rig.device.codes().count(0x01) == rig.device.requests.size());
        for (int i = 1; i < rig.countdown.size(); ++i)
            QVERIFY(rig.countdown.at(i) < rig.countdown.at(i - 1));
        QVERIFY(rig.countdown.first() <= 850);
        QVERIFY(rig.countdown.last() <= 0);
    }

    void cancelEndsTheProbeAtOnce()
    {
        UpdateRig rig(true);
        rig.device.silent = true; // the default 30 s probe would run its full course
        rig.start();
        rig.service.connectRequest();
        QTRY_VERIFY(!rig.countdown.isEmpty());
        rig.service.onCancel();
        QTRY_VERIFY(rig.reports.contains({2, QStringLiteral("连接设备超时！")}));
        QCOMPARE(rig.device.codes().first(), uint8_t(0x11));
    }

    void chainThatRepeatsItsCpuidIsListedOnce()
    {
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.addChip(Cpuid2, 0x0102);
        rig.device.chainMoves = false; // NEXT answers, but the same chip keeps answering
        rig.start();
        QVERIFY(rig.connectAndList());
        QCOMPARE(rig.deviceLists.last().size(), 1);
        QCOMPARE(rig.deviceLists.last().first().device, QStringLiteral("3141354B"));
        QCOMPARE(rig.device.codes().last(), uint8_t(0x23));
    }

    void repliesTooShortForWhatTheCommandReadsFail_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("page");
        QTest::newRow("READ_CRC without its CRC") << 0x03 << 3 << -1;
        QTest::newRow("WRITE_PAGE without its index") << 0x02 << 3 << -1;
        QTest::newRow("WRITE_PAGE with code only") << 0x02 << 1 << -1;
        QTest::newRow("WRITE_PAGE echoing another index") << 0x02 << 4 << 9;
    }
    void repliesTooShortForWhatTheCommandReadsFail()
    {
        QFETCH(int, code);
        QFETCH(int, length);
        QFETCH(int, page);
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.tamper = [=](const QByteArray &request, QByteArray reply) {
            if (request.at(0) == char(code)) {
                reply.truncate(length);
                if (page >= 0)
                    reply[2] = char(page);
            }
            return reply;
        };
        rig.start();
        QVERIFY(rig.connectAndList());
        QVERIFY(rig.update(rig.writePackage({{0x0101, UpdateRig::pattern(2000, 8)}})));
        QCOMPARE(rig.reports.last(), UpdateRig::Report(-1, QStringLiteral("设备1更新失败，重启至升级模式！")));
        QCOMPARE(rig.device.codes().last(), uint8_t(0x23));
        if (code == 0x03) // the first READ_CRC already fails: nothing is written
            QVERIFY(rig.device.writes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(UpdateCommandsTest)
#include "tst_updatecommands.moc"
