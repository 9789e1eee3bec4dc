// Fuzzes the bootloader frame parser: the same bytes in any chunking give the same payloads and
// check errors, and every delivered payload was a whole bootloader-to-host frame in the input
// whose check matches (so the host's own frames are never delivered either).
#include "BootloaderFrame.h"
#include "FuzzSupport.h"

namespace {

struct Result
{
    QList<QByteArray> payloads;
    int crcErrors = 0;
};

Result feedInChunks(const QByteArray &stream, FuzzSupport::Chunker *chunker)
{
    BootloaderFrameParser parser;
    Result result;
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype n = qMin<qsizetype>(chunker ? chunker->next() : 1, stream.size() - at);
        result.payloads += parser.feed(QByteArray::fromRawData(stream.constData() + at, n), &result.crcErrors);
        at += n;
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::quietDiagnostics();
    return 0;
}

// The first byte chooses the chunking; the rest is the received stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray stream = QByteArray::fromRawData(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1);

    BootloaderFrameParser whole;
    Result expected;
    expected.payloads = whole.feed(stream, &expected.crcErrors);

    const Result bytewise = feedInChunks(stream, nullptr);
    FUZZ_REQUIRE(bytewise.payloads == expected.payloads);
    FUZZ_REQUIRE(bytewise.crcErrors == expected.crcErrors);
    FuzzSupport::Chunker chunker(data[0], 1 + data[0] % 64);
    const Result chunked = feedInChunks(stream, &chunker);
    FUZZ_REQUIRE(chunked.payloads == expected.payloads);
    FUZZ_REQUIRE(chunked.crcErrors == expected.crcErrors);

    // Each payload must stand in the input, in order, as '$' '>' length payload check with the
    // check computed independently.
    qsizetype cursor = 0;
    for (const QByteArray &payload : expected.payloads) {
        QByteArray frame;
        frame.append('\x24').append('\x3E');
        frame.append(char(payload.size() & 0xFF)).append(char(payload.size() >> 8));
        frame.append(payload);
        const uint16_t check = FuzzSupport::referenceCrc(payload);
        frame.append(char(check & 0xFF)).append(char(check >> 8));
        FUZZ_REQUIRE(frame == BootloaderFrame::encode(payload, BootloaderFrame::ToHost));
        const qsizetype at = stream.indexOf(frame, cursor);
        FUZZ_REQUIRE(at >= 0);
        cursor = at + frame.size();

        // And a fresh parser gives exactly that payload back.
        BootloaderFrameParser fresh;
        int errors = 0;
        const QList<QByteArray> again = fresh.feed(frame, &errors);
        FUZZ_REQUIRE(again.size() == 1 && again.first() == payload && errors == 0);
    }
    return 0;
}
