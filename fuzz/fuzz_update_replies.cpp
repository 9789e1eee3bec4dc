// Fuzzes the update service's reply intake: each reply is accepted only when it holds what its
// command reads, and nothing is read beyond the reply's end (ASan, on an exact-size copy).
#include "BootloaderReplies.h"
#include "ChipInfo.h"
#include "FuzzSupport.h"

#include <memory>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::quietDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // An exact-size heap copy, so that a read one byte past the reply is caught.
    std::unique_ptr<char[]> copy(new char[size ? size : 1]);
    std::copy(data, data + size, copy.get());
    const QByteArray reply = QByteArray::fromRawData(copy.get(), qsizetype(size));
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | data[at + size_t(i)];
        return v;
    };
    const bool statusOk = size >= 2 && data[1] == 0;

    chipInfo chip;
    const bool info = chipInfo::fromReply(reply, 3, &chip);
    FUZZ_REQUIRE(info == (size == size_t(chipInfo::ReplySize)));
    if (info) {
        FUZZ_REQUIRE(chip.address == 3 && chip.cpuid == le(2, 4) && chip.pageSize == le(6, 2));
        FUZZ_REQUIRE(chip.pageCount == le(8, 2) && chip.hardware == le(14, 2) && chip.serial == le(18, 4));
        FUZZ_REQUIRE(chip.flashSize == uint32_t(chip.pageSize) * chip.pageCount);
    }

    uint16_t crc = 0;
    const bool crcOk = BootloaderReplies::readCrc(reply, &crc);
    FUZZ_REQUIRE(crcOk == (size >= 4 && statusOk));
    if (crcOk)
        FUZZ_REQUIRE(crc == le(2, 2));

    const uint16_t index = size >= 4 ? uint16_t(le(2, 2)) : 0;
    FUZZ_REQUIRE(BootloaderReplies::writePage(reply, index) == (size >= 4 && statusOk));
    FUZZ_REQUIRE(!BootloaderReplies::writePage(reply, uint16_t(index + 1)));

    FUZZ_REQUIRE(BootloaderReplies::next(reply) == statusOk);
    return 0;
}
