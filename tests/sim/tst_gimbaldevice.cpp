// The simulated gimbal as a byte-stream device: addressing, answers, trace, faults and pacing.
#include "BootloaderFrame.h"
#include "GimbalDevice.h"
#include "StarsCommands.h"
#include "StarsFrame.h"

#include <QSignalSpy>
#include <QTest>

namespace {

LineSettings unpaced()
{
    LineSettings line;
    line.pace = false;
    return line;
}

GimbalSettings profile(int number)
{
    GimbalSettings s;
    s.profile = number;
    return s;
}

// Sends one request and returns everything the device answered (unpaced: at once).
QByteArray ask(GimbalDevice &device, uint8_t addr, uint16_t cmd, uint16_t value = 0)
{
    QByteArray answer;
    QMetaObject::Connection c = QObject::connect(&device, &GimbalDevice::sendBytes, [&](const QByteArray &b) { answer += b; });
    device.receiveBytes(StarsFrame::encode(addr, cmd, value));
    QObject::disconnect(c);
    return answer;
}

} // namespace

class GimbalDeviceTest : public QObject
{
    Q_OBJECT

private slots:
    void answersOnlyAtTheProfileAddress_data()
    {
        QTest::addColumn<int>("profileNumber");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("accXCode");
        QTest::newRow("profile 0") << 0 << 2 << 0x0013;
        QTest::newRow("profile 1") << 1 << 3 << 0x0052;
        QTest::newRow("profile 2") << 2 << 1 << 0x001C;
    }
    void answersOnlyAtTheProfileAddress()
    {
        QFETCH(int, profileNumber);
        QFETCH(int, address);
        QFETCH(int, accXCode);
        GimbalDevice device(profile(profileNumber), unpaced());
        for (int other = 0; other < 5; ++other) {
            if (other != address)
                QVERIFY(ask(device, uint8_t(other), uint16_t(accXCode)).isEmpty());
        }
        const QByteArray answer = ask(device, uint8_t(address), uint16_t(accXCode));
        QCOMPARE(answer.size(), StarsFrame::Size);
        QVERIFY(StarsFrame::checkMatches(answer.constData()));
        QCOMPARE(StarsFrame::address(answer), uint8_t(address));
        QCOMPARE(StarsFrame::command(answer), uint16_t(accXCode));
    }

    void unknownRegistersAndCommandsGetNoAnswer()
    {
        GimbalDevice device(profile(2), unpaced());
        QVERIFY(ask(device, 1, 0x0013).isEmpty());                 // a code of another profile
        QVERIFY(ask(device, 1, writeCommand(0x0013), 5).isEmpty());
        QVERIFY(ask(device, 1, 0xC006, 0).isEmpty());
        QVERIFY(ask(device, 1, CMD_SAVE, 0x1234).isEmpty());
        QVERIFY(ask(device, 1, 0x401C).isEmpty());                  // kind 01 does not exist
    }

    void writesAreAnsweredTracedAndReadBack()
    {
        GimbalSettings fast = profile(2);
        fast.timeScale = 0.01;
        GimbalDevice device(fast, unpaced());
        QStringList trace;
        connect(&device, &GimbalDevice::traceLine, [&](const QString &line) { trace << line; });
        const QByteArray echo = ask(device, 1, writeCommand(0x0009), 2);
        QCOMPARE(echo, StarsFrame::encode(1, writeCommand(0x0009), 2));
        QCOMPARE(ask(device, 1, CMD_SAVE, CMD_SAVE_VALUE), StarsFrame::encode(1, CMD_SAVE, CMD_SAVE_VALUE));
        ask(device, 1, 0x0009); // reads are not traced
        QCOMPARE(trace, (QStringList{QStringLiteral("W 0009 0002"), QStringLiteral("C C005 A151")}));
        QTRY_COMPARE_WITH_TIMEOUT(StarsFrame::value(ask(device, 1, 0x0009)), uint16_t(2), 5000);
    }

    void silentDeviceNeverAnswers()
    {
        GimbalDevice device(profile(2), unpaced());
        device.setSilent(true);
        QVERIFY(ask(device, 1, 0x001C).isEmpty());
        QVERIFY(ask(device, 1, writeCommand(0x0009), 2).isEmpty());
        QCOMPARE(device.bytesReceived(), 14);
    }

    void dropAndCorruptRatesDamageAboutThatShareOfBytes()
    {
        LineSettings line = unpaced();
        line.dropRate = 0.1;
        line.corruptRate = 0.1;
        line.seed = 42;
        GimbalDevice device(profile(2), line);
        const int requests = 2000;
        qsizetype bytesOut = 0;
        int intact = 0;
        for (int i = 0; i < requests; ++i) {
            const QByteArray answer = ask(device, 1, 0x0011);
            bytesOut += answer.size();
            if (answer.size() == StarsFrame::Size && StarsFrame::checkMatches(answer.constData()))
                ++intact;
        }
        const double dropped = 1.0 - double(bytesOut) / (requests * StarsFrame::Size);
        QVERIFY2(dropped > 0.07 && dropped < 0.13, qPrintable(QString::number(dropped)));
        // A frame survives only if none of its 7 bytes was dropped or corrupted: 0.9^14 = 0.23.
        const double survived = double(intact) / requests;
        QVERIFY2(survived > 0.17 && survived < 0.29, qPrintable(QString::number(survived)));
    }

    void strayBytesFallBetweenAnswersAndBeginNoFrame()
    {
        LineSettings line = unpaced();
        line.strayEveryMs = 1;
        RoleSettings roles;
        roles.role = RoleSettings::Bootloader;
        GimbalDevice device(profile(2), line, roles);
        QByteArray received;
        connect(&device, &GimbalDevice::sendBytes, [&](const QByteArray &b) { received += b; });
        const int requests = 10;
        for (int i = 0; i < requests; ++i) {
            device.receiveBytes(BootloaderFrame::encode(QByteArray("\x01\x00", 2))); // GET_INFO
            const qsizetype answered = received.size();
            QTRY_VERIFY(received.size() > answered); // noise follows before the next request
        }
        BootloaderFrameParser parser;
        int crcErrors = 0;
        qsizetype framed = 0;
        const QList<QByteArray> frames = parser.feed(received, &crcErrors);
        for (const QByteArray &frame : frames)
            framed += BootloaderFrame::HeaderSize + frame.size() + BootloaderFrame::CheckSize;
        QCOMPARE(frames.size(), requests);
        QCOMPARE(crcErrors, 0);
        QVERIFY(!parser.inFrame());
        QVERIFY(received.size() > framed);
    }

    void pacedAnswerArrivesWholeAndInOrder()
    {
        LineSettings line;
        line.pace = true;
        GimbalDevice device(profile(2), line);
        QByteArray received;
        connect(&device, &GimbalDevice::sendBytes, [&](const QByteArray &b) { received += b; });
        QByteArray requests;
        for (uint16_t code : {0x001C, 0x001D, 0x001E})
            requests += StarsFrame::encode(1, code, 0);
        device.receiveBytes(requests);
        QVERIFY(received.isEmpty()); // nothing leaves before the line has carried it
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 3 * StarsFrame::Size, 5000);
        QCOMPARE(StarsFrame::command(received.mid(0, 7)), uint16_t(0x001C));
        QCOMPARE(StarsFrame::command(received.mid(7, 7)), uint16_t(0x001D));
        QCOMPARE(StarsFrame::command(received.mid(14, 7)), uint16_t(0x001E));
    }
};

QTEST_MAIN(GimbalDeviceTest)
#include "tst_gimbaldevice.moc"
