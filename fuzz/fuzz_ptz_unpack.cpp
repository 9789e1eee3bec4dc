// Fuzzes PtzFile::unpack: no read outside the input (ASan), and every accepted package has exactly
// `count` images lying back to back inside it; a refused one leaves the previous state untouched.
// The input is also cut into images that must come back unchanged (but padded) from build.
#include "FuzzSupport.h"
#include "PtzFile.h"

namespace {

uint16_t le16(const QByteArray &bytes, qsizetype at)
{
    return uint16_t(uint8_t(bytes[at]) | (uint8_t(bytes[at + 1]) << 8));
}

uint32_t le32(const QByteArray &bytes, qsizetype at)
{
    return uint32_t(le16(bytes, at)) | (uint32_t(le16(bytes, at + 2)) << 16);
}

bool sameHeader(const ptzHeader &a, const ptzHeader &b)
{
    if (a.flag != b.flag || a.format != b.format || a.size != b.size || a.count != b.count || a.boot != b.boot
        || a.arch != b.arch || a.pack != b.pack || a.crc != b.crc || a.images.size() != b.images.size())
        return false;
    for (qsizetype i = 0; i < a.images.size(); ++i) {
        const ptzImage &x = a.images[i];
        const ptzImage &y = b.images[i];
        if (x.length != y.length || x.hardware != y.hardware || x.firmware != y.firmware || x.data != y.data
            || x.crc != y.crc)
            return false;
    }
    return true;
}

// A valid package held before each input, so that a refusal can be seen to keep it.
QByteArray previousPackage()
{
    PtzFile builder;
    builder.addImage(0x0101, 105, QByteArray(40, '\x5A'));
    builder.addImage(0x0102, 106, QByteArray(16, '\xA5'));
    return builder.build(1, 0x0100, 0x4B35, 7);
}

// Cuts the input into up to 8 images, builds a package of them and reads it back.
void buildRoundTrip(const QByteArray &input)
{
    PtzFile builder;
    QList<QByteArray> pieces;
    for (qsizetype at = 0; at < input.size() && pieces.size() < 8;) {
        const qsizetype n = qMin<qsizetype>(1 + uint8_t(input[at]) % 48, input.size() - at);
        pieces.append(input.mid(at, n));
        FUZZ_REQUIRE(builder.addImage(uint16_t(0x0100 + pieces.size()), uint16_t(n), pieces.last()));
        at += n;
    }
    FUZZ_REQUIRE(!builder.addImage(0x0101, 105, QByteArray()));
    const QByteArray built = builder.build(uint8_t(input.size()), 0x0100, 0x4B35, uint16_t(input.size()));
    PtzFile reader;
    FUZZ_REQUIRE(reader.unpack(built));
    const ptzHeader &header = reader.header();
    FUZZ_REQUIRE(header.size == uint32_t(built.size()) && header.count == pieces.size());
    FUZZ_REQUIRE(header.images.size() == pieces.size() && header.arch == 0x4B35);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const ptzImage &image = header.images[i];
        QByteArray padded = pieces[i];
        padded.append(QByteArray((16 - padded.size() % 16) % 16, char(0xFF)));
        FUZZ_REQUIRE(image.data == padded && image.length == uint32_t(padded.size()) + 10);
        FUZZ_REQUIRE(image.crc == FuzzSupport::referenceCrc(padded));
        FUZZ_REQUIRE(image.hardware == 0x0101 + i && image.firmware == pieces[i].size());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::quietDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QByteArray previous = previousPackage();
    // fromRawData: the reader sees exactly libFuzzer's buffer, so any read past it trips ASan.
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    buildRoundTrip(input);

    PtzFile file;
    FUZZ_REQUIRE(file.unpack(previous));
    const ptzHeader before = file.header();
    if (!file.unpack(input)) {
        FUZZ_REQUIRE(sameHeader(file.header(), before));
        return 0;
    }

    const ptzHeader &header = file.header();
    FUZZ_REQUIRE(size >= 18);
    FUZZ_REQUIRE(input.startsWith("PTZ"));
    FUZZ_REQUIRE(header.size == size);
    FUZZ_REQUIRE(header.crc == le16(input, qsizetype(size) - 2));
    FUZZ_REQUIRE(header.crc == FuzzSupport::referenceCrc(input.constData(), qsizetype(size) - 2));
    FUZZ_REQUIRE(header.count == header.images.size());
    FUZZ_REQUIRE(header.boot == le16(input, 10) && header.arch == le16(input, 12) && header.pack == le16(input, 14));

    // The records lie back to back from offset 16 and end exactly at the package CRC.
    qsizetype offset = 16;
    for (const ptzImage &image : header.images) {
        FUZZ_REQUIRE(image.length >= 10);
        FUZZ_REQUIRE(offset + qsizetype(image.length) <= qsizetype(size) - 2);
        FUZZ_REQUIRE(image.length == le32(input, offset));
        FUZZ_REQUIRE(image.hardware == le16(input, offset + 4));
        FUZZ_REQUIRE(image.firmware == le16(input, offset + 6));
        FUZZ_REQUIRE(image.data.size() == qsizetype(image.length) - 10);
        FUZZ_REQUIRE(image.data == input.mid(offset + 8, image.data.size()));
        FUZZ_REQUIRE(image.crc == le16(input, offset + qsizetype(image.length) - 2));
        offset += image.length;
    }
    FUZZ_REQUIRE(offset == qsizetype(size) - 2);
    return 0;
}
