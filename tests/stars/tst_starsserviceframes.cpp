// What a received frame does to the register table, without a running loop.
#include "RegisterTable.h"
#include "StarsCommands.h"
#include "StarsFrame.h"
#include "StarsService.h"

#include <QTest>

class StarsServiceFramesTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        service.setRegisterProfile(2);
    }

    void readAnswerStoresTheValueOfItsRegister()
    {
        service.onRecvFrame(StarsFrame::encode(1, 0x001E, 0x1000));
        QCOMPARE(registerTable[accZ].value.load(), uint16_t(0x1000));
        service.onRecvFrame(StarsFrame::encode(1, 0x0011, 0x8040));
        QCOMPARE(registerTable[calibStatus].value.load(), uint16_t(0x8040));
    }

    void writeOrCommandAnswerNeverChangesTheTable()
    {
        service.onRecvFrame(StarsFrame::encode(1, writeCommand(0x001E), 0x7777));
        service.onRecvFrame(StarsFrame::encode(1, uint16_t(CMD_COMMAND_FLAG | 0x001E), 0x7777));
        QCOMPARE(registerTable[accZ].value.load(), uint16_t(0));
    }

    void frameFromAnotherSlaveStoresNothing()
    {
        service.onRecvFrame(StarsFrame::encode(3, 0x001E, 0x1000));
        QCOMPARE(registerTable[accZ].value.load(), uint16_t(0));
    }

    void frameWithBadCheckOrLengthIsIgnored()
    {
        QByteArray bad = StarsFrame::encode(1, 0x001E, 0x1000);
        bad[4] = char(bad[4] ^ 0x10);
        service.onRecvFrame(bad);
        service.onRecvFrame(StarsFrame::encode(1, 0x001E, 0x1000).left(5));
        QCOMPARE(registerTable[accZ].value.load(), uint16_t(0));
    }

    void profileSelectsAddressAndCodesAndClearsValues()
    {
        service.onRecvFrame(StarsFrame::encode(1, 0x001E, 0x1000));
        service.setRegisterProfile(0);
        QCOMPARE(service.currentSlaveAddress(), uint8_t(2));
        QCOMPARE(registerTable[accX].code.load(), uint16_t(0x0013));
        QCOMPARE(registerTable[motion].code.load(), uint16_t(0x0048));
        QCOMPARE(registerTable[accZ].value.load(), uint16_t(0));
        // An unknown profile only clears the values.
        service.onRecvFrame(StarsFrame::encode(2, 0x0015, 0x0100));
        service.setRegisterProfile(7);
        QCOMPARE(service.currentSlaveAddress(), uint8_t(2));
        QCOMPARE(registerTable[accZ].value.load(), uint16_t(0));
    }

private:
    StarsService service;
};

QTEST_MAIN(StarsServiceFramesTest)
#include "tst_starsserviceframes.moc"
