// Firmware packages: what unpack accepts and refuses, and that build and unpack agree.
#include "PtzFile.h"
#include "crc16.h"

#include "../stars/DebugCapture.h"

#include <QRandomGenerator>
#include <QTest>
#include <tuple>

namespace {

QByteArray package(const QList<QPair<uint16_t, QByteArray>> &images, uint16_t arch = 0x0105)
{
    PtzFile file;
    for (const auto &image : images)
        file.addImage(image.first, 105, image.second);
    return file.build(1, 0x0B00, arch, 7);
}

uint16_t crcOf(const QByteArray &bytes)
{
    return crc16(reinterpret_cast<const uint8_t *>(bytes.constData()), uint32_t(bytes.size()));
}

// Replaces the trailing package CRC so that only the field under test is wrong.
QByteArray withFreshCrc(QByteArray bytes)
{
    bytes.chop(2);
    const uint16_t crc = crcOf(bytes);
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

void putU16(QByteArray &bytes, int at, uint16_t value)
{
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8);
}

void putU32(QByteArray &bytes, int at, uint32_t value)
{
    putU16(bytes, at, uint16_t(value & 0xFFFF));
    putU16(bytes, at + 2, uint16_t(value >> 16));
}

} // namespace

class PtzFileTest : public QObject
{
    Q_OBJECT

private slots:
    void refusalsNameTheirCheckAndKeepThePreviousPackage_data();
    void refusalsNameTheirCheckAndKeepThePreviousPackage();
    void emptyPackageIsEighteenBytes();
    void twoImagesComeBackInFileOrder();
    void addImagePadsWithFFAndRefusesEmptyBytes();
    void buildThenUnpackRoundTripsRandomImageSets();
};

void PtzFileTest::refusalsNameTheirCheckAndKeepThePreviousPackage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("line");

    const QByteArray good = package({{0x0201, QByteArray(40, 'a')}, {0x0202, QByteArray(20, 'b')}});
    QByteArray ptx = good;
    ptx[2] = 'X';
    QTest::newRow("PTX") << ptx << "> file header flag error!";
    QByteArray lower = good;
    lower.replace(0, 3, "ptz");
    QTest::newRow("lower-case ptz") << lower << "> file header flag error!";
    QTest::newRow("one byte appended") << good + 'x' << "> file size error!";
    QByteArray changed = good;
    changed[30] = char(changed[30] ^ 0x01);
    QTest::newRow("one data byte changed") << changed << "> file check crc error!";

    // Too short to hold header and CRC, though its size field claims its true length.
    QByteArray shortOne = good.left(17);
    putU32(shortOne, 4, 17);
    QTest::newRow("17 bytes") << shortOne << "> file size error!";

    QByteArray zeroLength = good;
    putU32(zeroLength, 16, 0); // would never advance the walk
    QTest::newRow("record length 0") << withFreshCrc(zeroLength) << "> file size error!";
    QByteArray past = good;
    putU32(past, 16, uint32_t(good.size())); // runs past the package CRC
    QTest::newRow("record past the CRC") << withFreshCrc(past) << "> file size error!";
    QByteArray huge = good;
    putU32(huge, 16, 0xFFFFFFF0u); // offset arithmetic must not wrap
    QTest::newRow("record length near 4 GiB") << withFreshCrc(huge) << "> file size error!";
    // Eight bytes after the records: too few for another record head.
    QByteArray tail = good.left(good.size() - 2) + QByteArray(8, '\0') + "cc";
    putU32(tail, 4, uint32_t(tail.size()));
    QTest::newRow("trailing partial record") << withFreshCrc(tail) << "> file size error!";

    QByteArray moreCounted = good;
    putU16(moreCounted, 8, 3);
    QTest::newRow("count above records") << withFreshCrc(moreCounted) << "> file size error!";
}

void PtzFileTest::refusalsNameTheirCheckAndKeepThePreviousPackage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, line);

    PtzFile file;
    QVERIFY(file.unpack(package({{0x0301, QByteArray(16, 'z')}}, 0x0777)));
    DebugCapture capture;
    QVERIFY(!file.unpack(bytes));
    QCOMPARE(capture.lines(), QStringList{line});
    // The same check as a value, for the tools that say it.
    QCOMPARE(QStringLiteral("> %1!").arg(PtzFile::flawName(file.flaw())), line);
    // The package accepted before is still the one described.
    QCOMPARE(file.header().arch, uint16_t(0x0777));
    QCOMPARE(file.header().count, uint16_t(1));
    QCOMPARE(file.header().images.size(), 1);
    QCOMPARE(file.header().images.first().hardware, uint16_t(0x0301));
}

void PtzFileTest::emptyPackageIsEighteenBytes()
{
    PtzFile file;
    const QByteArray bytes = file.build(1, 0, 0, 0);
    const QByteArray head = QByteArray("PTZ\x01\x12\x00\x00\x00", 8) + QByteArray(8, '\0');
    QCOMPARE(bytes.size(), 18);
    QCOMPARE(bytes.left(16), head);
    const uint16_t crc = crcOf(head);
    QCOMPARE(uint8_t(bytes.at(16)), uint8_t(crc & 0xFF));
    QCOMPARE(uint8_t(bytes.at(17)), uint8_t(crc >> 8));

    PtzFile reader;
    QVERIFY(reader.unpack(bytes));
    QCOMPARE(reader.header().count, uint16_t(0));
    QVERIFY(reader.header().images.isEmpty());
    QCOMPARE(reader.header().size, 18u);
}

void PtzFileTest::twoImagesComeBackInFileOrder()
{
    const QByteArray first(32, '\x11');
    const QByteArray second(48, '\x22');
    PtzFile file;
    DebugCapture capture;
    QVERIFY(file.unpack(package({{0x00A1, first}, {0x00B2, second}}, 0x0105)));
    const ptzHeader &head = file.header();
    QCOMPARE(head.flag, QByteArray("PTZ"));
    QCOMPARE(head.format, uint8_t(1));
    QCOMPARE(head.boot, uint16_t(0x0B00));
    QCOMPARE(head.arch, uint16_t(0x0105));
    QCOMPARE(head.pack, uint16_t(7));
    QCOMPARE(head.count, uint16_t(2));
    QCOMPARE(head.images.size(), 2);
    QCOMPARE(head.images.at(0).hardware, uint16_t(0x00A1));
    QCOMPARE(head.images.at(0).data, first);
    QCOMPARE(head.images.at(0).length, 42u);
    QCOMPARE(head.images.at(0).crc, crcOf(first));
    QCOMPARE(head.images.at(1).hardware, uint16_t(0x00B2));
    QCOMPARE(head.images.at(1).data, second);
    QCOMPARE(capture.lines(), (QStringList{
        QStringLiteral("> ------------------unpack-------------------"),
        QStringLiteral(">    BOOT:0B00, ARCH:0105, PACK:   7"),
        QString::asprintf("> %8d, %04X, %4d, %04X, %8d", 42, 0xA1, 105, crcOf(first), 32),
        QString::asprintf("> %8d, %04X, %4d, %04X, %8d", 58, 0xB2, 105, crcOf(second), 48)}));
}

void PtzFileTest::addImagePadsWithFFAndRefusesEmptyBytes()
{
    PtzFile file;
    QVERIFY(!file.addImage(1, 100, QByteArray()));
    QCOMPARE(file.header().count, uint16_t(0));
    QCOMPARE(file.header().size, 18u);
    QVERIFY(file.addImage(1, 100, QByteArray(17, 'q')));
    const ptzImage &image = file.header().images.first();
    QCOMPARE(image.data, QByteArray(17, 'q') + QByteArray(15, '\xFF'));
    QCOMPARE(image.length, 42u);
    QCOMPARE(image.crc, crcOf(image.data));
    QCOMPARE(file.header().size, 60u);
    QVERIFY(file.addImage(2, 100, QByteArray(16, 'r')));
    QCOMPARE(file.header().images.last().data.size(), 16); // already a multiple: no padding
}

void PtzFileTest::buildThenUnpackRoundTripsRandomImageSets()
{
    QRandomGenerator random(9);
    for (int round = 0; round < 50; ++round) {
        PtzFile writer;
        const int count = random.bounded(0, 6);
        for (int i = 0; i < count; ++i) {
            QByteArray data(random.bounded(1, 3000), '\0');
            for (char &c : data)
                c = char(random.bounded(256));
            QVERIFY(writer.addImage(uint16_t(random.bounded(65536)), uint16_t(random.bounded(65536)), data));
        }
        const auto boot = uint16_t(random.bounded(65536));
        const auto arch = uint16_t(random.bounded(65536));
        const auto pack = uint16_t(random.bounded(65536));
        const QByteArray bytes = writer.build(uint8_t(random.bounded(256)), boot, arch, pack);
        QCOMPARE(uint32_t(bytes.size()), writer.header().size);

        PtzFile reader;
        QVERIFY(reader.unpack(bytes));
        const ptzHeader &a = writer.header();
        const ptzHeader &b = reader.header();
        QVERIFY(std::tie(b.format, b.size, b.count, b.boot, b.arch, b.pack, b.crc)
                == std::tie(a.format, a.size, a.count, boot, arch, pack, a.crc));
        QCOMPARE(b.images.size(), a.images.size());
        for (int i = 0; i < a.images.size(); ++i) {
            const ptzImage &x = a.images.at(i);
            const ptzImage &y = b.images.at(i);
            QVERIFY(std::tie(x.length, x.hardware, x.firmware, x.data, x.crc)
                    == std::tie(y.length, y.hardware, y.firmware, y.data, y.crc));
        }
    }
}

QTEST_GUILESS_MAIN(PtzFileTest)
#include "tst_ptzfile.moc"
