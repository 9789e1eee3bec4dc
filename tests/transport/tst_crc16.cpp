// CRC-16/XMODEM: known check values and agreement with an independent bitwise formulation.
#include "crc16.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

// Reference written from the definition: augmented shift register, message bits shifted in
// most significant first, two zero bytes appended.
uint16_t referenceCrc(const QByteArray &bytes)
{
    QByteArray augmented = bytes;
    augmented.append(2, '\0');
    uint32_t reg = 0;
    for (char c : std::as_const(augmented)) {
        for (int bit = 7; bit >= 0; --bit) {
            reg = (reg << 1) | ((uint8_t(c) >> bit) & 1u);
            if (reg & 0x10000u)
                reg ^= 0x11021u;
        }
    }
    return uint16_t(reg);
}

uint16_t crcOf(const QByteArray &bytes)
{
    return crc16(reinterpret_cast<const uint8_t *>(bytes.constData()), uint32_t(bytes.size()));
}

} // namespace

class TestCrc16 : public QObject
{
    Q_OBJECT

private slots:
    void knownCheckValues_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("expected");
        QTest::newRow("empty") << QByteArray() << 0x0000;
        QTest::newRow("digits") << QByteArray("123456789") << 0x31C3;
        QTest::newRow("abc") << QByteArray("abc") << 0x9DD6;
    }
    void knownCheckValues()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, expected);
        QCOMPARE(crcOf(bytes), uint16_t(expected));
    }

    void emptyBlockDoesNotReadThePointer()
    {
        QCOMPARE(crc16(nullptr, 0), uint16_t(0));
    }

    void blockFollowedByItsCrcChecksToZero()
    {
        QByteArray frame = QByteArrayLiteral("\x01\x00\x10\x12\x34");
        const uint16_t crc = crcOf(frame);
        frame.append(char(crc >> 8));
        frame.append(char(crc & 0xFF));
        QCOMPARE(crcOf(frame), uint16_t(0));
    }

    void updateWithoutTrailingZerosIsNotTheCrc()
    {
        uint16_t reg = 0;
        for (char c : QByteArray("123456789"))
            reg = crc16Update(reg, uint8_t(c));
        QCOMPARE(reg, uint16_t(0xBEEF));
        reg = crc16Update(crc16Update(reg, 0), 0);
        QCOMPARE(reg, uint16_t(0x31C3));
    }

    // Random lengths cover every table index and the tails of both formulations.
    void randomBlocksMatchBitwiseReference()
    {
        QRandomGenerator rng(20240517);
        for (int round = 0; round < 500; ++round) {
            QByteArray block(int(rng.bounded(0, 600)), Qt::Uninitialized);
            for (char &c : block)
                c = char(rng.bounded(256));
            const uint16_t expected = referenceCrc(block);
            QCOMPARE(crcOf(block), expected);

            uint16_t reg = 0;
            for (char c : std::as_const(block))
                reg = crc16Update(reg, uint8_t(c));
            reg = crc16Update(crc16Update(reg, 0), 0);
            QCOMPARE(reg, expected);
        }
    }
};

QTEST_APPLESS_MAIN(TestCrc16)
#include "tst_crc16.moc"
