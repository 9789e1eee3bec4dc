// The simulated bootloader: its commands in both addressing modes, the chip chain, flash files and the automatic role.
#include "BootloaderFrame.h"
#include "GimbalDevice.h"
#include "StarsFrame.h"
#include "crc16.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

LineSettings unpaced()
{
    LineSettings line;
    line.pace = false;
    return line;
}

RoleSettings bootloaderRole(bool multiChip = false, int chips = 2)
{
    RoleSettings roles;
    roles.role = RoleSettings::Bootloader;
    roles.bootloader.multiChip = multiChip;
    roles.bootloader.chips = BootloaderSettings::defaultChips(chips);
    roles.bootloader.handoverMs = 0; // these hosts ask at once; the hand-over has a test of its own
    return roles;
}

QByteArray le16(uint16_t v) { return QByteArray(1, char(v & 0xFF)) + char(v >> 8); }
QByteArray le32(uint32_t v) { return le16(uint16_t(v & 0xFFFF)) + le16(uint16_t(v >> 16)); }
uint16_t readLe16(const QByteArray &b, int at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); }

QByteArray head(uint8_t code, uint8_t status = 0) { return QByteArray(1, char(code)) + char(status); }
QByteArray request(uint8_t code, const QByteArray &data = {}) { return head(code) + data; }
QByteArray writePage(uint8_t code, uint16_t page, const QByteArray &bytes) { return request(code, le16(page) + bytes); }
QByteArray readCrc(uint8_t code, uint32_t count) { return request(code, le32(count)); }

uint16_t crcOf(const QByteArray &bytes)
{
    return crc16(reinterpret_cast<const uint8_t *>(bytes.constData()), uint32_t(bytes.size()));
}

// Collects the device's answers as reply payloads (unpaced answers come at once).
struct Host
{
    explicit Host(GimbalDevice &device) : device(device)
    {
        QObject::connect(&device, &GimbalDevice::sendBytes, [this](const QByteArray &b) { replies += parser.feed(b); });
        QObject::connect(&device, &GimbalDevice::traceLine, [this](const QString &line) { trace << line; });
    }
    // Sends one framed request and returns the replies it brought (none, or one).
    QList<QByteArray> send(const QByteArray &payload) { return sendRaw(BootloaderFrame::encode(payload)); }
    QList<QByteArray> sendRaw(const QByteArray &bytes)
    {
        replies.clear();
        device.receiveBytes(bytes);
        return replies;
    }
    QByteArray ask(const QByteArray &payload)
    {
        const QList<QByteArray> got = send(payload);
        return got.size() == 1 ? got.first() : QByteArray();
    }

    GimbalDevice &device;
    BootloaderFrameParser parser{BootloaderFrame::ToHost};
    QList<QByteArray> replies;
    QStringList trace;
};

QByteArray cpuidText(const QByteArray &info) { return info.mid(2, 4); }

} // namespace

class BootloaderRoleTest : public QObject
{
    Q_OBJECT

private slots:
    void getInfoReportsEachChipInTwentyTwoBytes()
    {
        GimbalDevice device(GimbalSettings{}, unpaced(), bootloaderRole(true));
        Host host(device);
        const QByteArray first = host.ask(request(0x11));
        QCOMPARE(first.size(), 22);
        QCOMPARE(uint8_t(first[0]), uint8_t(0x11));
        QCOMPARE(uint8_t(first[1]), uint8_t(0));
        QCOMPARE(cpuidText(first), QByteArray("K5A1"));
        QCOMPARE(readLe16(first, 6), uint16_t(1024));  // page size
        QCOMPARE(readLe16(first, 8), uint16_t(64));    // page count
        QCOMPARE(readLe16(first, 10), uint16_t(0x0100));
        QCOMPARE(readLe16(first, 12), uint16_t(0x4B35));
        QCOMPARE(readLe16(first, 14), uint16_t(0x0101));
        QCOMPARE(readLe16(first, 16), uint16_t(100));
        QCOMPARE(host.ask(request(0x14)), QByteArray::fromHex("1400"));
        const QByteArray second = host.ask(request(0x21));
        QCOMPARE(cpuidText(second), QByteArray("K5B2"));
        QCOMPARE(readLe16(second, 14), uint16_t(0x0102));
        QVERIFY(first.mid(18, 4) != second.mid(18, 4)); // serials differ
        QCOMPARE(host.trace, (QStringList{QStringLiteral("B GET_INFO 1"), QStringLiteral("B NEXT 1"), QStringLiteral("B GET_INFO 2")}));
    }

    void multiChipCodesReachOnlyExistingChips()
    {
        GimbalDevice device(GimbalSettings{}, unpaced(), bootloaderRole(true, 2));
        Host host(device);
        QVERIFY(host.send(request(0x31)).isEmpty()); // no chip 3: its listing ends here
        QVERIFY(host.send(request(0x01)).isEmpty()); // single-address codes mean nothing here
        QVERIFY(host.send(request(0x20)).isEmpty());
        QCOMPARE(host.ask(request(0x14)), QByteArray::fromHex("1400"));
        const QByteArray page(1024, 'b');
        QCOMPARE(host.ask(writePage(0x22, 5, page)), QByteArray::fromHex("22000500"));
        QCOMPARE(device.bootloader()->chip(1).flash().mid(5 * 1024, 1024), page);
        QVERIFY(device.bootloader()->chip(0).flash().count(char(0xFF)) == 64 * 1024);
        QCOMPARE(host.ask(request(0x14)), QByteArray::fromHex("1400"));
        QVERIFY(host.send(request(0x16)).isEmpty()); // RUN and RESTART are not answered
        QVERIFY(host.send(request(0x17)).isEmpty());
        QCOMPARE(host.trace.mid(3), (QStringList{QStringLiteral("B NEXT 1"), QStringLiteral("B WRITE_PAGE 2 5"),
                                                 QStringLiteral("B NEXT 1"), QStringLiteral("B RUN"), QStringLiteral("B RESTART")}));
    }

    void singleAddressNextWalksTheChainAndRestartGoesBack()
    {
        GimbalDevice device(GimbalSettings{}, unpaced(), bootloaderRole(false, 3));
        Host host(device);
        QCOMPARE(cpuidText(host.ask(request(0x01))), QByteArray("K5A1"));
        QCOMPARE(host.ask(request(0x20)), QByteArray::fromHex("2000"));
        QCOMPARE(cpuidText(host.ask(request(0x01))), QByteArray("K5B2"));
        // Writes go to the chip that answers now.
        QCOMPARE(host.ask(writePage(0x02, 0, "abc")), QByteArray::fromHex("02000000"));
        QCOMPARE(device.bootloader()->chip(1).flash().left(3), QByteArray("abc"));
        QCOMPARE(host.ask(request(0x20)), QByteArray::fromHex("2000"));
        QCOMPARE(cpuidText(host.ask(request(0x01))), QByteArray("K5C3"));
        // At the end of the chain NEXT is refused and the last chip keeps answering.
        const QByteArray refused = host.ask(request(0x20));
        QCOMPARE(refused.size(), 2);
        QVERIFY(refused[1] != 0);
        QCOMPARE(cpuidText(host.ask(request(0x01))), QByteArray("K5C3"));
        QVERIFY(host.send(request(0x23)).isEmpty());
        QCOMPARE(cpuidText(host.ask(request(0x01))), QByteArray("K5A1"));
        QVERIFY(host.send(request(0x11)).isEmpty()); // multi-chip codes mean nothing here
        QVERIFY(host.trace.contains(QStringLiteral("B RESTART")));
    }

    // After a write a chip reports the version of the image it now holds, as long as it knows
    // that image (--match, --preload); anything else keeps the configured version.
    void aChipReportsTheVersionOfTheImageItHolds_data()
    {
        QTest::addColumn<int>("changedByte"); // -1: the image as known; else that byte flipped
        QTest::addColumn<bool>("written");
        QTest::addColumn<int>("firmware");
        QTest::newRow("the known image written") << -1 << true << 105;
        QTest::newRow("nothing written yet") << -1 << false << 100;
        QTest::newRow("its last byte differs") << 2495 << true << 100;
        QTest::newRow("its first byte differs") << 0 << true << 100;
    }
    void aChipReportsTheVersionOfTheImageItHolds()
    {
        QFETCH(int, changedByte);
        QFETCH(bool, written);
        QFETCH(int, firmware);
        QByteArray image(2496, Qt::Uninitialized);
        for (char &b : image)
            b = char(QRandomGenerator::global()->bounded(256));
        RoleSettings roles = bootloaderRole(true);
        roles.bootloader.chips[0].knownImages = {{QByteArray(16, 'a'), 101}, {image, 105}};
        GimbalDevice device(GimbalSettings{}, unpaced(), roles);
        Host host(device);
        QByteArray bytes = image;
        if (changedByte >= 0)
            bytes[changedByte] = char(bytes.at(changedByte) ^ 1);
        for (int page = 0; written && page * 1024 < bytes.size(); ++page)
            QCOMPARE(host.ask(writePage(0x12, uint16_t(page), bytes.mid(page * 1024, 1024))).size(), 4);
        const QByteArray first = host.ask(request(0x11));
        QCOMPARE(first.size(), 22);
        QCOMPARE(readLe16(first, 16), uint16_t(firmware));
        QCOMPARE(host.ask(request(0x14)), QByteArray::fromHex("1400"));
        const QByteArray second = host.ask(request(0x21));
        QCOMPARE(second.size(), 22);
        QCOMPARE(readLe16(second, 16), uint16_t(100)); // the other chip holds none
    }

    void pagesLandInFlashAndReadCrcCoversTheFirstBytes_data()
    {
        QTest::addColumn<bool>("multiChip");
        QTest::newRow("single address") << false;
        QTest::newRow("multi-chip") << true;
    }
    void pagesLandInFlashAndReadCrcCoversTheFirstBytes()
    {
        QFETCH(bool, multiChip);
        const uint8_t write = multiChip ? 0x12 : 0x02;
        const uint8_t crc = multiChip ? 0x13 : 0x03;
        GimbalDevice device(GimbalSettings{}, unpaced(), bootloaderRole(multiChip));
        Host host(device);
        QByteArray image(2496, Qt::Uninitialized);
        for (char &b : image)
            b = char(QRandomGenerator::global()->bounded(256));
        for (int page = 0; page * 1024 < image.size(); ++page) {
            const QByteArray reply = host.ask(writePage(write, uint16_t(page), image.mid(page * 1024, 1024)));
            QCOMPARE(reply, head(write) + le16(uint16_t(page)));
        }
        const SimChip &chip = device.bootloader()->chip(0);
        QCOMPARE(chip.flash().left(image.size()), image);
        QCOMPARE(chip.flash().mid(image.size()), QByteArray(64 * 1024 - image.size(), char(0xFF)));
        QCOMPARE(host.ask(readCrc(crc, uint32_t(image.size()))), head(crc) + le16(crcOf(image)));
        QCOMPARE(readLe16(host.ask(readCrc(crc, 0)), 2), uint16_t(0));
        QCOMPARE(readLe16(host.ask(readCrc(crc, 64 * 1024)), 2), crcOf(chip.flash()));

        // Refused without touching the flash: past its end, longer than a page, a CRC beyond it.
        const QByteArray before = chip.flash();
        const QByteArray pastEnd = host.ask(writePage(write, 64, "x"));
        QCOMPARE(pastEnd.size(), 4);
        QVERIFY(pastEnd[1] != 0);
        QCOMPARE(readLe16(pastEnd, 2), uint16_t(64));
        QVERIFY(host.ask(writePage(write, 1, QByteArray(1025, 'y')))[1] != 0);
        QVERIFY(host.ask(writePage(write, 63, QByteArray(1025, 'y')))[1] != 0);
        QVERIFY(host.ask(readCrc(crc, 64 * 1024 + 1))[1] != 0);
        QCOMPARE(chip.flash(), before);
    }

    void malformedOrUnknownRequestsGetNoReply()
    {
        GimbalDevice device(GimbalSettings{}, unpaced(), bootloaderRole(false));
        Host host(device);
        const QList<QByteArray> bad = {
            QByteArray(),                       // empty payload
            QByteArray(1, char(0x01)),          // code without the zero byte
            QByteArray::fromHex("0101"),        // second byte not zero
            request(0x01, "x"),                 // GET_INFO with data
            request(0x20, "x"),                 // NEXT with data
            request(0x03, QByteArray(3, 0)),    // READ_CRC with a short count
            request(0x03, QByteArray(5, 0)),    // ... and a long one
            request(0x02, QByteArray(2, 0)),    // WRITE_PAGE without page bytes
            request(0x02, QByteArray(1, 0)),    // ... and with half an index
            request(0x05),                      // unknown codes
            request(0x21),
            request(0xFF),
        };
        for (const QByteArray &payload : bad)
            QVERIFY2(host.send(payload).isEmpty(), payload.toHex().constData());
        // Frames that are not frames for the device: a wrong check, the bootloader's own direction.
        QByteArray wrongCheck = BootloaderFrame::encode(request(0x01));
        wrongCheck[wrongCheck.size() - 1] = char(wrongCheck[wrongCheck.size() - 1] ^ 0x55);
        QVERIFY(host.sendRaw(wrongCheck).isEmpty());
        QVERIFY(host.sendRaw(BootloaderFrame::encode(request(0x01), BootloaderFrame::ToHost)).isEmpty());
        QVERIFY(host.sendRaw(StarsFrame::encode(1, 0x001C, 0)).isEmpty());
        QCOMPARE(device.bootloader()->chip(0).flash(), QByteArray(64 * 1024, char(0xFF)));
        QCOMPARE(device.bootloader()->currentChip(), 0);

        // None of it leaves the parser stuck: a request cut into single bytes is still answered.
        const QByteArray good = BootloaderFrame::encode(request(0x01));
        QList<QByteArray> replies;
        for (char byte : good)
            replies += host.sendRaw(QByteArray(1, byte));
        QCOMPARE(replies.size(), 1);
        QCOMPARE(replies.first().size(), 22);
    }

    void flashFilesCarryWritesIntoTheNextRun()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString error;
        const QByteArray page(1024, 'p');
        {
            GimbalDevice device(GimbalSettings{}, unpaced(), bootloaderRole(true));
            QVERIFY2(device.bootloader()->attachFlashDir(dir.path(), &error), qPrintable(error));
            Host host(device);
            QCOMPARE(host.ask(request(0x14)), QByteArray::fromHex("1400"));
            QCOMPARE(host.ask(writePage(0x22, 3, page)), QByteArray::fromHex("22000300"));
        }
        QFile file(dir.filePath(QStringLiteral("chip2.bin")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().mid(3 * 1024, 1024), page);

        GimbalDevice again(GimbalSettings{}, unpaced(), bootloaderRole(true));
        QVERIFY2(again.bootloader()->attachFlashDir(dir.path(), &error), qPrintable(error));
        QCOMPARE(again.bootloader()->chip(1).flash().mid(3 * 1024, 1024), page);
        QCOMPARE(again.bootloader()->chip(0).flash(), QByteArray(64 * 1024, char(0xFF)));

        // Another flash layout starts erased rather than taking bytes that do not fit it.
        RoleSettings smaller = bootloaderRole(true);
        for (SimChipInfo &chip : smaller.bootloader.chips)
            chip.pageCount = 8;
        GimbalDevice other(GimbalSettings{}, unpaced(), smaller);
        QVERIFY2(other.bootloader()->attachFlashDir(dir.path(), &error), qPrintable(error));
        QCOMPARE(other.bootloader()->chip(1).flash(), QByteArray(8 * 1024, char(0xFF)));
    }

    void preloadFillsTheChipsAndRefusesWhatDoesNotFit()
    {
        GimbalDevice device(GimbalSettings{}, unpaced(), bootloaderRole(false));
        QString error;
        QVERIFY(device.bootloader()->preload({QByteArray(100, 'a'), QByteArray(64 * 1024, 'b')}, &error));
        QCOMPARE(device.bootloader()->chip(0).flash().left(101), QByteArray(100, 'a') + char(0xFF));
        QCOMPARE(device.bootloader()->chip(1).flash(), QByteArray(64 * 1024, 'b'));
        QVERIFY(!device.bootloader()->preload({QByteArray(1, 'a'), QByteArray(64 * 1024 + 1, 'b')}, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!device.bootloader()->preload({{}, {}, QByteArray(1, 'c')}, &error));
    }

    void autoRoleEntersTheBootloaderAfterProbesAndLeavesOnRun()
    {
        RoleSettings roles = bootloaderRole(true);
        roles.role = RoleSettings::Auto;
        roles.bootDelayMs = 50;
        GimbalDevice device(GimbalSettings{}, unpaced(), roles);
        Host host(device);
        QByteArray runtimeAnswer;
        connect(&device, &GimbalDevice::sendBytes, [&](const QByteArray &b) { runtimeAnswer += b; });
        const QByteArray readRequest = StarsFrame::encode(1, 0x001C, 0);

        device.receiveBytes(readRequest);
        QCOMPARE(runtimeAnswer.size(), StarsFrame::Size);
        QVERIFY(host.send(request(0x11)).isEmpty()); // the runtime firmware does not know probes
        QVERIFY(!device.inBootloader());
        QTRY_VERIFY_WITH_TIMEOUT(device.inBootloader(), 5000);
        QCOMPARE(host.ask(request(0x11)).size(), 22);
        runtimeAnswer.clear();
        device.receiveBytes(readRequest);
        QVERIFY(runtimeAnswer.isEmpty());

        // RUN and a runtime request in one chunk: the request is for the firmware RUN started.
        device.receiveBytes(BootloaderFrame::encode(request(0x16)) + readRequest);
        QVERIFY(!device.inBootloader());
        QCOMPARE(runtimeAnswer.size(), StarsFrame::Size);
        QVERIFY(host.trace.contains(QStringLiteral("ROLE bootloader")));
        QCOMPARE(host.trace.last(), QStringLiteral("ROLE runtime"));

        // Probes bring the bootloader back; the chip chain starts again at chip 1.
        host.send(request(0x11));
        QTRY_VERIFY_WITH_TIMEOUT(device.inBootloader(), 5000);
    }

    void pacedAnswersLeaveOnlyAfterTheRequestAndThePageWrite()
    {
        LineSettings line;
        line.pace = true;
        RoleSettings roles = bootloaderRole(false);
        roles.bootloader.pageWriteMs = 20;
        GimbalDevice device(GimbalSettings{}, line, roles);
        QSignalSpy answers(&device, &GimbalDevice::sendBytes);
        const QByteArray frame = BootloaderFrame::encode(writePage(0x02, 0, QByteArray(1024, 'q')));
        QElapsedTimer clock;
        clock.start();
        // Delivered in pieces, as a pseudo-terminal does: the line still carries them one by one.
        device.receiveBytes(frame.left(300));
        device.receiveBytes(frame.mid(300));
        QVERIFY(answers.wait(5000));
        const qint64 elapsedNs = clock.nsecsElapsed();
        // Request, page write and the 10-byte answer on the line: never sooner (later is fine).
        const qint64 leastNs = (frame.size() + 10) * OutputPacer::ByteNanoseconds + 20 * 1000000LL;
        QVERIFY2(elapsedNs >= leastNs, qPrintable(QStringLiteral("%1 < %2").arg(elapsedNs).arg(leastNs)));
        QCOMPARE(answers.first().first().toByteArray(), BootloaderFrame::encode(QByteArray::fromHex("02000000"), BootloaderFrame::ToHost));
    }

    void multiChipChainOpensOnlyAfterNextToTheFirstChip()
    {
        RoleSettings roles = bootloaderRole(true, 3);
        roles.bootloader.handoverMs = 50;
        GimbalDevice device(GimbalSettings{}, unpaced(), roles);
        Host host(device);
        QVERIFY(host.send(request(0x21)).isEmpty()); // closed: chip 2 is not reached yet
        QCOMPARE(cpuidText(host.ask(request(0x11))), QByteArray("K5A1"));
        QCOMPARE(host.ask(request(0x14)), QByteArray::fromHex("1400"));
        QVERIFY(host.send(request(0x21)).isEmpty()); // still handing over
        QTRY_VERIFY_WITH_TIMEOUT(!host.send(request(0x21)).isEmpty(), 5000);
        QCOMPARE(cpuidText(host.ask(request(0x31))), QByteArray("K5C3"));
        QVERIFY(host.send(request(0x17)).isEmpty()); // RESTART closes the chain again
        QVERIFY(host.send(request(0x21)).isEmpty());
    }

    void misbehavingChainsStartOnceAListingHasEnded_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("reorder");
        QTest::addColumn<QByteArray>("afterNext");
        QTest::newRow("skip") << int(BootloaderSettings::NextFault::Skip) << false << QByteArray("K5C3");
        QTest::newRow("stuck") << int(BootloaderSettings::NextFault::Stuck) << false << QByteArray("K5A1");
        QTest::newRow("reorder") << int(BootloaderSettings::NextFault::None) << true << QByteArray("K5C3");
    }
    void misbehavingChainsStartOnceAListingHasEnded()
    {
        QFETCH(int, fault);
        QFETCH(bool, reorder);
        QFETCH(QByteArray, afterNext);
        RoleSettings roles = bootloaderRole(false, 3);
        roles.bootloader.nextFault = BootloaderSettings::NextFault(fault);
        roles.bootloader.reorderAfterListing = reorder;
        GimbalDevice device(GimbalSettings{}, unpaced(), roles);
        Host host(device);
        // The listing (RESTART ... RESTART) sees a sound chain.
        host.send(request(0x23));
        for (const char *id : {"K5A1", "K5B2", "K5C3"}) {
            QCOMPARE(cpuidText(host.ask(request(0x01))), QByteArray(id));
            host.send(request(0x20));
        }
        host.send(request(0x23));
        // Afterwards the first NEXT goes wrong (or the chain has changed places).
        const QByteArray first = cpuidText(host.ask(request(0x01)));
        QCOMPARE(first, reorder ? QByteArray("K5B2") : QByteArray("K5A1"));
        QCOMPARE(host.ask(request(0x20)), QByteArray::fromHex("2000"));
        QCOMPARE(cpuidText(host.ask(request(0x01))), afterNext);
    }

    void replyDelayHoldsBackAnswersWithoutHoldingUpRequests()
    {
        RoleSettings roles = bootloaderRole(false);
        roles.bootloader.replyDelayMs = 150;
        GimbalDevice device(GimbalSettings{}, unpaced(), roles);
        Host host(device);
        QElapsedTimer clock;
        clock.start();
        qint64 firstAnswerMs = -1;
        QObject::connect(&device, &GimbalDevice::sendBytes, [&] { if (firstAnswerMs < 0) firstAnswerMs = clock.elapsed(); });
        device.receiveBytes(BootloaderFrame::encode(request(0x01)));
        device.receiveBytes(BootloaderFrame::encode(request(0x01)));
        QVERIFY(host.replies.isEmpty()); // nothing at once
        QTRY_COMPARE_WITH_TIMEOUT(host.replies.size(), 2, 5000);
        QVERIFY2(firstAnswerMs >= 150, qPrintable(QString::number(firstAnswerMs)));
    }
};

QTEST_MAIN(BootloaderRoleTest)
#include "tst_bootloaderrole.moc"
