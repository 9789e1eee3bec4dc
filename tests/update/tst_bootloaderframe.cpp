// Bootloader frames: the bytes the link sends and what its parser delivers from a byte stream.
#include "BootloaderFrame.h"
#include "BootloaderLink.h"
#include "MetaTypes.h"
#include "crc16.h"

#include "../stars/DebugCapture.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray reply(const QByteArray &payload)
{
    return BootloaderFrame::encode(payload, BootloaderFrame::ToHost);
}

} // namespace

class BootloaderFrameTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerQueuedMetaTypes(); }

    void linkSendsFlushThenTheFramedPayload()
    {
        BootloaderLink link;
        QStringList events;
        QObject receiver;
        connect(&link, &BootloaderLink::rxFlush, &receiver, [&] { events << QStringLiteral("flush"); });
        connect(&link, &BootloaderLink::streamOut, &receiver,
                [&](const QByteArray &bytes) { events << QString::fromLatin1(bytes.toHex(' ')); });
        QMetaObject::invokeMethod(&link, "transmitBytes", Q_ARG(QByteArray, QByteArray("\x01\x00", 2)));
        QMetaObject::invokeMethod(&link, "transmitBytes", Q_ARG(QByteArray, QByteArray()));
        QTRY_COMPARE_WITH_TIMEOUT(events.size(), 4, 5000);
        QCOMPARE(events, (QStringList{QStringLiteral("flush"), QStringLiteral("24 3c 02 00 01 00 31 33"),
                                      QStringLiteral("flush"), QStringLiteral("24 3c 00 00 00 00")}));
    }

    void linkRefusesAPayloadItsLengthFieldCannotHold()
    {
        BootloaderLink link;
        QSignalSpy out(&link, &BootloaderLink::streamOut);
        QSignalSpy flush(&link, &BootloaderLink::rxFlush);
        QMetaObject::invokeMethod(&link, "transmitBytes", Q_ARG(QByteArray, QByteArray(65536, 'x')));
        QMetaObject::invokeMethod(&link, "transmitBytes", Q_ARG(QByteArray, QByteArray(65535, 'x')));
        QTRY_COMPARE_WITH_TIMEOUT(out.size(), 1, 5000);
        QCOMPARE(flush.size(), 1);
        const QByteArray frame = out.first().first().toByteArray();
        QCOMPARE(frame.size(), 4 + 65535 + 2);
        QCOMPARE(frame.mid(2, 2), QByteArray("\xFF\xFF", 2));
        QVERIFY(BootloaderFrame::encode(QByteArray(65536, 'x')).isEmpty());
    }

    void linkDeliversPayloadsAndReportsBadChecks()
    {
        BootloaderLink link;
        QList<QByteArray> received;
        QObject receiver;
        connect(&link, &BootloaderLink::recvFrame, &receiver, [&](const QByteArray &b) { received << b; });
        DebugCapture capture;
        QByteArray bad = reply(hex("11 00 66 69 72 73 74"));
        bad[bad.size() - 1] = char(bad.at(bad.size() - 1) ^ 0x40);
        const QByteArray good = reply(hex("13 00 34 12"));
        QMetaObject::invokeMethod(&link, "parser", Q_ARG(QByteArray, bad + good.left(5)));
        QMetaObject::invokeMethod(&link, "parser", Q_ARG(QByteArray, good.mid(5)));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
        QCOMPARE(received.first(), hex("13 00 34 12"));
        QCOMPARE(capture.count(QStringLiteral("> crc error!")), 1);
    }

    // Only bytes of a frame that began tell the service a reply came damaged; noise on an idle
    // line, which begins no frame, is silence (it must not cut a chain listing short).
    void onlyBytesOfABegunFrameCountAsAReply_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<int>("notices");
        const QByteArray good = reply(hex("21 00 4B 35"));
        QByteArray bad = good;
        bad[bad.size() - 1] = char(bad.at(bad.size() - 1) ^ 0x01);
        const QByteArray noise = hex("00 7f 3e ff 3c");
        QTest::newRow("noise") << QList<QByteArray>{noise, noise} << 0;
        QTest::newRow("start byte, host direction") << QList<QByteArray>{hex("24 3c 02 00 01 00")} << 0;
        QTest::newRow("doubled start byte") << QList<QByteArray>{hex("24 24 3e 02")} << 0;
        QTest::newRow("intact reply") << QList<QByteArray>{noise + good + noise} << 1;
        QTest::newRow("failed check") << QList<QByteArray>{noise + bad} << 1;
        QTest::newRow("cut short") << QList<QByteArray>{good.left(5)} << 1;
        QTest::newRow("start and direction split") << QList<QByteArray>{noise + good.left(1), good.mid(1, 2)} << 1;
        QTest::newRow("noise inside a begun frame") << QList<QByteArray>{good.left(3), noise} << 2;
    }
    void onlyBytesOfABegunFrameCountAsAReply()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(int, notices);
        BootloaderLink link;
        QSignalSpy frameBytes(&link, &BootloaderLink::frameBytesArrived);
        for (const QByteArray &chunk : chunks)
            link.parser(chunk); // called directly, as the port worker does
        QCOMPARE(frameBytes.size(), notices);
    }

    void frameSplitAtEveryPositionGivesOnePayload()
    {
        const QByteArray payload("\x01\x00\xAA\x55\x24\x3E", 6); // start bytes inside the payload
        const QByteArray frame = reply(payload);
        for (int cut = 0; cut <= frame.size(); ++cut) {
            BootloaderFrameParser parser;
            const QList<QByteArray> first = parser.feed(frame.left(cut));
            const QList<QByteArray> second = parser.feed(frame.mid(cut));
            QCOMPARE(first.size() + second.size(), 1);
            QCOMPARE(second.isEmpty() ? first.first() : second.first(), payload);
            QCOMPARE(first.isEmpty(), cut < frame.size());
        }
        // And one byte per call.
        BootloaderFrameParser parser;
        QList<QByteArray> all;
        for (char byte : frame)
            all += parser.feed(QByteArray(1, byte));
        QCOMPARE(all, QList<QByteArray>{payload});
    }

    void doubledStartByteDoesNotStartAFrame()
    {
        BootloaderFrameParser parser;
        // 24 24 3E: the second 0x24 resets the search and 0x3E is skipped, so the bytes that
        // follow are not read as a length; the real frame after them is found.
        const QByteArray good = reply(hex("01 00"));
        QCOMPARE(parser.feed(QByteArray("\x24\x24\x3E\x02\x00\x01\x00", 7) + good), QList<QByteArray>{QByteArray("\x01\x00", 2)});
    }

    void wrongCheckIsDroppedAndTheNextFrameIsReceived()
    {
        BootloaderFrameParser parser;
        QByteArray bad = reply(hex("03 00 10 20"));
        bad[bad.size() - 2] = char(bad.at(bad.size() - 2) + 1);
        const QByteArray good = reply(hex("03 00 10 21"));
        int crcErrors = 0;
        QCOMPARE(parser.feed(bad + good, &crcErrors), QList<QByteArray>{hex("03 00 10 21")});
        QCOMPARE(crcErrors, 1);
    }

    void zeroLengthFrameEndsAfterItsCheck()
    {
        BootloaderFrameParser parser;
        // The check of nothing is 0x0000; the frame takes no payload byte, so the frame right
        // behind it is intact.
        const QByteArray empty = reply(QByteArray());
        QCOMPARE(empty, QByteArray("\x24\x3E\x00\x00\x00\x00", 6));
        const QList<QByteArray> frames = parser.feed(empty + reply(hex("21 00")));
        QCOMPARE(frames.size(), 2);
        QVERIFY(frames.at(0).isEmpty());
        QCOMPARE(frames.at(1), QByteArray("\x21\x00", 2));
    }

    void hostFramesAreNotAccepted()
    {
        BootloaderFrameParser parser;
        QVERIFY(parser.feed(BootloaderFrame::encode(hex("01 00"), BootloaderFrame::ToDevice)).isEmpty());
        BootloaderFrameParser deviceSide(BootloaderFrame::ToDevice);
        QCOMPARE(deviceSide.feed(BootloaderFrame::encode(hex("01 00"), BootloaderFrame::ToDevice)).size(), 1);
    }
};

QTEST_GUILESS_MAIN(BootloaderFrameTest)
#include "tst_bootloaderframe.moc"
