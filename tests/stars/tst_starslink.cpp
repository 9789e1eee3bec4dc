// Runtime frames: encoding by the link and cutting a byte stream into checked frames.
#include "StarsFrame.h"
#include "StarsLink.h"
#include "MetaTypes.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray frame(uint8_t addr, uint16_t cmd, uint16_t value)
{
    return StarsFrame::encode(addr, cmd, value);
}

} // namespace

class StarsLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerQueuedMetaTypes(); }

    void transmitEmitsFlushThenTheEncodedFrame()
    {
        StarsLink link;
        // Both signals come from the link's thread; a queued receiver here records their order.
        QStringList events;
        QObject receiver;
        connect(&link, &StarsLink::rxFlush, &receiver, [&] { events << QStringLiteral("flush"); });
        connect(&link, &StarsLink::streamOut, &receiver, [&](const QByteArray &bytes) { events << QString::fromLatin1(bytes.toHex(' ')); });
        QMetaObject::invokeMethod(&link, "transmit", Q_ARG(uint8_t, 0x01), Q_ARG(uint16_t, 0x001C), Q_ARG(uint16_t, 0x0000));
        QTRY_COMPARE_WITH_TIMEOUT(events.size(), 2, 5000);
        QCOMPARE(events, (QStringList{QStringLiteral("flush"), QStringLiteral("01 00 1c 00 00 9c 53")}));
    }

    void linkDeliversFramesFromItsParserSlot()
    {
        StarsLink link;
        QList<QByteArray> received;
        QObject receiver;
        connect(&link, &StarsLink::recvFrame, &receiver, [&](const QByteArray &bytes) { received << bytes; });
        const QByteArray one = frame(3, 0x0052, 0x1234);
        QMetaObject::invokeMethod(&link, "parser", Q_ARG(QByteArray, one.left(3)));
        QMetaObject::invokeMethod(&link, "parser", Q_ARG(QByteArray, one.mid(3)));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
        QCOMPARE(received.first(), one);
    }

    void splitFrameIsDeliveredOnceComplete()
    {
        StarsFrameParser parser;
        const QByteArray one = frame(1, 0x001C, 0x0ABC);
        QVERIFY(parser.feed(one.left(3)).isEmpty());
        QCOMPARE(parser.buffered(), 3);
        QCOMPARE(parser.feed(one.mid(3)), QList<QByteArray>{one});
        QCOMPARE(parser.buffered(), 0);
    }

    void framesInOneChunkAreDeliveredInOrder()
    {
        StarsFrameParser parser;
        const QByteArray a = frame(2, 0x0013, 1);
        const QByteArray b = frame(2, 0x0014, 2);
        QCOMPARE(parser.feed(a + b), (QList<QByteArray>{a, b}));
    }

    void strayBytesBeforeAFrameAreSkipped()
    {
        StarsFrameParser parser;
        const QByteArray good = frame(1, 0x0011, 0x8000);
        QCOMPARE(parser.feed(QByteArray::fromHex("ff00a5") + good), QList<QByteArray>{good});
        // A lost byte in an earlier frame costs that frame only.
        QCOMPARE(parser.feed(good.left(4) + good.mid(5) + good), QList<QByteArray>{good});
        QCOMPARE(parser.buffered(), 0);
    }

    void windowWithWrongCheckIsNeverDeliveredAndTheBufferStaysBounded()
    {
        StarsFrameParser parser;
        QByteArray bad = frame(1, 0x001C, 0x1234);
        bad[6] = char(bad[6] ^ 0x01);
        QVERIFY(parser.feed(bad).isEmpty());
        QVERIFY(parser.buffered() <= 6);
        // A long stretch of corrupted frames never grows the buffer past one window.
        for (int i = 0; i < 50; ++i) {
            QVERIFY(parser.feed(bad).isEmpty());
            QVERIFY(parser.buffered() <= 6);
        }
    }

    void fewerThanSevenBytesAreKeptForLater()
    {
        StarsFrameParser parser;
        QVERIFY(parser.feed(QByteArray(6, '\x11')).isEmpty());
        QCOMPARE(parser.buffered(), 6);
    }
};

QTEST_MAIN(StarsLinkTest)
#include "tst_starslink.moc"
