// The update against bootloaders that misbehave: chains that change, slow or damaged replies,
// replies to other requests, cancels and failures; nothing is written that should not be.
#include "GivePackage.h"
#include "UpdateRig.h"

#include "../stars/DebugCapture.h"
#include "crc16.h"

namespace {

constexpr uint32_t Cpuid1 = 0x3141354B;
constexpr uint32_t Cpuid2 = 0x3242354B;
constexpr uint32_t Cpuid3 = 0x3343354B;

bool isGetInfo(const QByteArray &request, bool multiChip, int address)
{
    const auto code = uint8_t(request.at(0));
    return multiChip ? code == address * 16 + 1 : code == 0x01;
}

QList<QPair<uint16_t, QByteArray>> imagesFor(int count, int size = 1500)
{
    QList<QPair<uint16_t, QByteArray>> images;
    for (int k = 0; k < count; ++k)
        images.append({uint16_t(0x0101 + k), UpdateRig::pattern(size, k)});
    return images;
}

} // namespace

class UpdateSafetyTest : public QObject
{
    Q_OBJECT

private slots:
    void chipThatIsNotTheListedOneIsNeverWritten_data()
    {
        QTest::addColumn<bool>("multiChip");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("failedChip");
        QTest::addColumn<int>("chipWritten"); // index of the only chip written, -1: none
        QTest::addColumn<bool>("twins"); // the first two chips share a hardware code
        QTest::newRow("single, reordered after the listing") << false << "reorder" << 1 << -1 << false;
        QTest::newRow("multi, reordered after the listing") << true << "reorder" << 1 << -1 << false;
        QTest::newRow("single, NEXT skips a chip") << false << "skip" << 2 << 0 << false;
        // Two identical controllers that take different images: only the cpuid tells them apart.
        QTest::newRow("single, twins reordered") << false << "reorder" << 1 << -1 << true;
        QTest::newRow("multi, twins reordered") << true << "reorder" << 1 << -1 << true;
    }
    void chipThatIsNotTheListedOneIsNeverWritten()
    {
        QFETCH(bool, multiChip);
        QFETCH(QString, fault);
        QFETCH(int, failedChip);
        QFETCH(int, chipWritten);
        QFETCH(bool, twins);
        UpdateRig rig(multiChip);
        auto images = imagesFor(3);
        if (twins)
            images[1].first = images[0].first;
        for (uint32_t cpuid : {Cpuid1, Cpuid2, Cpuid3})
            rig.device.addChip(cpuid, images[rig.device.chips.size()].first);
        ScriptedBootloader *device = &rig.device;
        rig.device.onEachRequest = [device, fault](const QByteArray &) {
            if (device->restarts() != 2) // the listing has just ended
                return;
            if (fault == QLatin1String("reorder") && device->chips.first().cpuid == Cpuid1)
                device->chips.move(0, 2); // the chain now reads 2, 3, 1
            if (fault == QLatin1String("skip"))
                device->nextStep = 2;
        };
        rig.start();
        QVERIFY(rig.connectAndList());
        QCOMPARE(rig.deviceLists.last().size(), 3);
        DebugCapture capture;
        QVERIFY(rig.update(rig.writePackage(images)));
        QVERIFY(rig.quietAfterOutcome());
        QCOMPARE(rig.outcomes.size(), 1);
        QCOMPARE(rig.outcomes.last().reason, UpdateOutcome::ChipChanged);
        QCOMPARE(rig.outcomes.last().chip, failedChip);
        QCOMPARE(rig.reports.last(), UpdateRig::Report(-1, QStringLiteral("设备%1更新失败，重启至升级模式！").arg(failedChip)));
        QCOMPARE(rig.device.codes().last(), uint8_t(multiChip ? 0x17 : 0x23));
        for (const ScriptedBootloader::Write &write : std::as_const(rig.device.writes))
            QCOMPARE(write.chip, chipWritten);
        QCOMPARE(rig.device.writes.isEmpty(), chipWritten < 0);
        QVERIFY(capture.containsPrefix(QStringLiteral("> chip changed: chip %1: listed cpuid").arg(failedChip)));
    }

    void chainThatStopsMovingDuringTheWriteFailsOnTheNextChip()
    {
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.addChip(Cpuid2, 0x0102);
        ScriptedBootloader *device = &rig.device;
        rig.device.onEachRequest = [device](const QByteArray &) {
            if (device->restarts() == 2)
                device->chainMoves = false;
        };
        rig.start();
        QVERIFY(rig.connectAndList());
        QVERIFY(rig.update(rig.writePackage(imagesFor(2))));
        QVERIFY(rig.quietAfterOutcome());
        QCOMPARE(rig.lastOutcome(), UpdateOutcome::WriteFailed);
        QCOMPARE(rig.outcomes.last().chip, 2);
        for (const ScriptedBootloader::Write &write : std::as_const(rig.device.writes))
            QCOMPARE(write.chip, 0);
        QCOMPARE(rig.device.codes().last(), uint8_t(0x23));
    }

    void slowGetInfoRepliesStillUpdate_data()
    {
        QTest::addColumn<bool>("multiChip");
        QTest::addColumn<int>("delayMs");
        for (int delay : {150, 250, 450}) {
            QTest::addRow("single, %d ms", delay) << false << delay;
            QTest::addRow("multi, %d ms", delay) << true << delay;
        }
    }
    void slowGetInfoRepliesStillUpdate()
    {
        QFETCH(bool, multiChip);
        QFETCH(int, delayMs);
        UpdateRig rig(multiChip);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.addChip(Cpuid2, 0x0102);
        rig.device.getInfoDelayMs = delayMs;
        rig.start();
        QVERIFY(rig.connectAndList());
        QCOMPARE(rig.deviceLists.last().size(), 2);
        const auto images = imagesFor(2);
        QVERIFY(rig.update(rig.writePackage(images)));
        QVERIFY(rig.quietAfterOutcome());
        QCOMPARE(rig.lastOutcome(), UpdateOutcome::Success);
        for (int k = 0; k < 2; ++k)
            QCOMPARE(rig.device.chips[k].flash.left(images[k].second.size()), images[k].second);
        QCOMPARE(rig.device.codes().last(), uint8_t(multiChip ? 0x16 : 0x22));
    }

    void replyCarryingAnotherCommandsCodeIsPassedOver()
    {
        UpdateRig rig(true);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.addChip(Cpuid2, 0x0102);
        UpdateService *service = &rig.service;
        // Ahead of every answer comes a late one to another request.
        rig.device.onEachRequest = [service](const QByteArray &request) {
            if (request.at(0) == 0x16 || request.at(0) == 0x17)
                return; // RUN and RESTART are not answered
            service->onRecvFrame(QByteArray(1, char(uint8_t(request.at(0)) ^ 0x08)) + QByteArray(21, '\0'));
        };
        rig.start();
        QVERIFY(rig.connectAndList());
        QCOMPARE(rig.deviceLists.last().size(), 2);
        QVERIFY(rig.update(rig.writePackage(imagesFor(2))));
        QVERIFY(rig.quietAfterOutcome());
        QCOMPARE(rig.lastOutcome(), UpdateOutcome::Success);
    }

    void damagedListingIsAReadFailureNeverAMismatch_data()
    {
        QTest::addColumn<bool>("multiChip");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("times");
        for (bool multi : {false, true}) {
            const char *mode = multi ? "multi" : "single";
            QTest::addRow("%s, wrong length once", mode) << multi << "length" << 1;
            QTest::addRow("%s, wrong length always", mode) << multi << "length" << 100;
            QTest::addRow("%s, failed check always", mode) << multi << "check" << 100;
            QTest::addRow("%s, failed check twice", mode) << multi << "check" << 2;
        }
    }
    void damagedListingIsAReadFailureNeverAMismatch()
    {
        QFETCH(bool, multiChip);
        QFETCH(QString, damage);
        QFETCH(int, times);
        UpdateRig rig(multiChip);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.addChip(Cpuid2, 0x0102);
        UpdateService *service = &rig.service;
        ScriptedBootloader *device = &rig.device;
        auto damaged = std::make_shared<int>(0);
        // The second chip's record comes damaged during the listing.
        rig.device.tamper = [=](const QByteArray &request, QByteArray reply) {
            const bool secondChip = multiChip ? isGetInfo(request, true, 2) : (isGetInfo(request, false, 0) && device->currentChip() == 1);
            if (!secondChip || device->restarts() != 1 || *damaged >= times)
                return reply;
            ++*damaged;
            if (damage == QLatin1String("length"))
                return reply + '\0';
            service->onFrameBytes(); // a frame began, but none passed its check
            return QByteArray();
        };
        rig.start();
        rig.service.connectRequest();
        QVERIFY(QTest::qWaitFor([&] { return !rig.outcomes.isEmpty() || !rig.deviceLists.isEmpty(); }, 15000));
        if (times < 3) { // asked again, and the chain is read whole
            QCOMPARE(rig.deviceLists.last().size(), 2);
            QVERIFY(rig.outcomes.isEmpty());
            return;
        }
        QVERIFY(rig.quietAfterOutcome());
        QVERIFY(rig.deviceLists.isEmpty());
        QCOMPARE(rig.lastOutcome(), UpdateOutcome::ListFailed);
        QCOMPARE(rig.reports.last(), UpdateRig::Report(-1, QStringLiteral("获取设备信息失败！")));
    }

    void mismatchNamesWhatDiffers_data()
    {
        QTest::addColumn<int>("images");
        QTest::addColumn<int>("secondHardware");
        QTest::addColumn<int>("reason");
        QTest::addColumn<QString>("detail");
        QTest::newRow("more images than chips") << 3 << 0x0102 << int(UpdateOutcome::CountMismatch)
                                                << "package has 3 images, the gimbal has 2 chips";
        QTest::newRow("second chip's hardware") << 2 << 0x0103 << int(UpdateOutcome::HardwareMismatch)
                                                << "chip 2: hardware 0102, package 0103";
    }
    void mismatchNamesWhatDiffers()
    {
        QFETCH(int, images);
        QFETCH(int, secondHardware);
        QFETCH(int, reason);
        QFETCH(QString, detail);
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.addChip(Cpuid2, 0x0102);
        rig.start();
        QVERIFY(rig.connectAndList());
        auto package = imagesFor(images);
        package[1].first = uint16_t(secondHardware);
        DebugCapture capture;
        const qsizetype sent = rig.device.requests.size();
        givePackage(rig.service, rig.writePackage(package));
        QVERIFY(rig.quietAfterOutcome());
        QCOMPARE(int(rig.lastOutcome()), reason);
        QCOMPARE(rig.outcomes.last().detail(), detail);
        QVERIFY(capture.lines().contains(QStringLiteral("> mismatch: ") + detail));
        QCOMPARE(rig.device.requests.size(), sent); // refused before any request
    }

    // A single-address chain whose NEXT leads from the last chip back to the first never
    // repeats the chip just read, so only remembering every chip ends the listing.
    void chainThatComesRoundIsAReadFailure()
    {
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.device.addChip(Cpuid2, 0x0102);
        rig.device.chainWraps = true;
        rig.start();
        rig.service.connectRequest();
        QVERIFY(rig.quietAfterOutcome());
        QVERIFY(rig.deviceLists.isEmpty());
        QCOMPARE(rig.lastOutcome(), UpdateOutcome::ListFailed);
        QCOMPARE(rig.reports.last(), UpdateRig::Report(-1, QStringLiteral("获取设备信息失败！")));
        QVERIFY(rig.device.writes.isEmpty());
    }

    void cancelledListingIsNeverASuccess()
    {
        UpdateRig rig(true);
        for (uint32_t cpuid : {Cpuid1, Cpuid2, Cpuid3})
            rig.device.addChip(cpuid, 0x0101);
        UpdateService *service = &rig.service;
        rig.device.onEachRequest = [service](const QByteArray &request) {
            if (uint8_t(request.at(0)) == 0x21)
                service->onCancel(); // a product change, say, after the first chip was read
        };
        rig.start();
        rig.service.connectRequest();
        QVERIFY(rig.quietAfterOutcome());
        QVERIFY(rig.deviceLists.isEmpty());
        QCOMPARE(rig.lastOutcome(), UpdateOutcome::Cancelled);
        QCOMPARE(rig.reports.last(), UpdateRig::Report(-1, QStringLiteral("获取设备信息失败！")));
    }

    void packageAskedForBeforeAFailureOrCancelIsNotWrittenLater_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("listing fails") << false;
        QTest::newRow("listing cancelled") << true;
    }

    void packageAskedForWhileIdleIsForgottenOnACancel()
    {
        UpdateRig rig(true);
        rig.device.addChip(Cpuid1, 0x0101);
        rig.start();
        givePackage(rig.service, rig.writePackage(imagesFor(1)));
        rig.service.onCancel(); // the port closed, say, before any connection
        QVERIFY(rig.connectAndList());
        QTest::qWait(700); // no update may start on its own
        QVERIFY(rig.outcomes.isEmpty());
        QVERIFY(rig.device.writes.isEmpty());
        QCOMPARE(rig.device.codes().last(), uint8_t(0x17));
    }
    void packageAskedForBeforeAFailureOrCancelIsNotWrittenLater()
    {
        QFETCH(bool, cancel);
        UpdateRig rig(true);
        rig.device.addChip(Cpuid1, 0x0101);
        const QString path = rig.writePackage(imagesFor(1));
        UpdateService *service = &rig.service;
        ScriptedBootloader *device = &rig.device;
        auto asked = std::make_shared<bool>(false);
        // Upgrade pressed while the chips are listed, then the listing goes wrong.
        rig.device.onEachRequest = [=](const QByteArray &request) {
            if (*asked || uint8_t(request.at(0)) != 0x11 || device->restarts() != 1)
                return;
            *asked = true;
            givePackage(*service, path);
            if (cancel)
                service->onCancel();
            else
                device->silent = true;
        };
        rig.start();
        rig.service.connectRequest();
        QVERIFY(rig.quietAfterOutcome());
        QCOMPARE(rig.outcomes.size(), 1);
        rig.device.silent = false;
        QVERIFY(rig.connectAndList());
        QVERIFY(rig.quietAfterOutcome());
        QCOMPARE(rig.outcomes.size(), 1); // no update started on its own
        QVERIFY(rig.device.writes.isEmpty());
        QCOMPARE(rig.device.codes().last(), uint8_t(0x17));
    }

    void imagesAroundSixtyFourKiBAndFillingTheFlashVerify_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {65520, 65536, 65552, 80 * 1024}) // whole 16-byte blocks, as packages hold them
            QTest::addRow("%d bytes", size) << size;
    }
    void imagesAroundSixtyFourKiBAndFillingTheFlashVerify()
    {
        QFETCH(int, size);
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101, 80); // 80 KiB of flash
        rig.start();
        QVERIFY(rig.connectAndList());
        const QByteArray image = UpdateRig::pattern(size, 3);
        QVERIFY(rig.update(rig.writePackage({{0x0101, image}})));
        QVERIFY(rig.quietAfterOutcome());
        QCOMPARE(rig.lastOutcome(), UpdateOutcome::Success);
        QCOMPARE(rig.device.chips[0].flash.left(size), image);
        // Both READ_CRCs ask for the whole image, all 32 bits of its length.
        const auto padded = uint32_t(size);
        const QByteArray length = QByteArray::fromRawData(reinterpret_cast<const char *>(&padded), 4);
        int asked = 0;
        for (const QByteArray &request : std::as_const(rig.device.requests))
            asked += request.at(0) == 0x03 && request.mid(2) == length;
        QCOMPARE(asked, 2);
    }

    void readCrcWithNonZeroStatusIsAFailure()
    {
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101);
        const QByteArray image = UpdateRig::pattern(1500, 4);
        const uint16_t crc = crc16(reinterpret_cast<const uint8_t *>(image.constData()), uint32_t(image.size()));
        // The chip refuses the CRC, yet the bytes where the CRC would be match the image's.
        rig.device.tamper = [crc](const QByteArray &request, QByteArray reply) {
            if (request.at(0) == 0x03)
                reply = QByteArray::fromHex("0301") + char(crc & 0xFF) + char(crc >> 8);
            return reply;
        };
        rig.start();
        QVERIFY(rig.connectAndList());
        QVERIFY(rig.update(rig.writePackage({{0x0101, image}})));
        QVERIFY(rig.quietAfterOutcome());
        QCOMPARE(rig.lastOutcome(), UpdateOutcome::WriteFailed);
        QVERIFY(rig.device.writes.isEmpty());
        QCOMPARE(rig.device.codes().last(), uint8_t(0x23));
    }

    void pageSizeZeroWritesNothing()
    {
        UpdateRig rig(false);
        rig.device.addChip(Cpuid1, 0x0101).pageSize = 0;
        rig.start();
        QVERIFY(rig.connectAndList());
        QVERIFY(rig.update(rig.writePackage({{0x0101, UpdateRig::pattern(100, 5)}})));
        QVERIFY(rig.quietAfterOutcome());
        QCOMPARE(rig.lastOutcome(), UpdateOutcome::FlashOverflow);
        QVERIFY(rig.device.writes.isEmpty());
        QCOMPARE(rig.device.codes().last(), uint8_t(0x23));
    }
};

QTEST_GUILESS_MAIN(UpdateSafetyTest)
#include "tst_updatesafety.moc"
