// Fuzzes the runtime frame parser: the same bytes in any chunking give the same frames, every
// delivered frame stands in the input with a matching check, and at most 6 bytes stay buffered.
#include "FuzzSupport.h"
#include "StarsFrame.h"

namespace {

QList<QByteArray> feedInChunks(const QByteArray &stream, FuzzSupport::Chunker *chunker)
{
    StarsFrameParser parser;
    QList<QByteArray> frames;
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype n = qMin<qsizetype>(chunker ? chunker->next() : 1, stream.size() - at);
        frames += parser.feed(QByteArray::fromRawData(stream.constData() + at, n));
        FUZZ_REQUIRE(parser.buffered() <= StarsFrame::Size - 1);
        at += n;
    }
    return frames;
}

} // namespace

// The first byte chooses the chunking; the rest is the received stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray stream = QByteArray::fromRawData(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1);

    StarsFrameParser whole;
    const QList<QByteArray> expected = whole.feed(stream);
    FUZZ_REQUIRE(whole.buffered() <= StarsFrame::Size - 1);
    FUZZ_REQUIRE(feedInChunks(stream, nullptr) == expected);
    FuzzSupport::Chunker chunker(data[0], 1 + data[0] % 32);
    FUZZ_REQUIRE(feedInChunks(stream, &chunker) == expected);

    qsizetype cursor = 0;
    for (const QByteArray &frame : expected) {
        FUZZ_REQUIRE(frame.size() == StarsFrame::Size);
        const uint16_t check = uint16_t((uint8_t(frame[5]) << 8) | uint8_t(frame[6]));
        FUZZ_REQUIRE(check == FuzzSupport::referenceCrc(frame.constData(), 5));
        const qsizetype at = stream.indexOf(frame, cursor);
        FUZZ_REQUIRE(at >= 0);
        cursor = at + StarsFrame::Size;
    }
    return 0;
}
