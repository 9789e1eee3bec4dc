// velmora-demo-image: writes deterministic pseudo-random bytes, the images of the demo package.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: velmora-demo-image OUT SIZE SEED\n");
        return 2;
    }
    const long size = std::strtol(argv[2], nullptr, 10);
    uint32_t state = uint32_t(std::strtoul(argv[3], nullptr, 10)) * 2654435761u + 1u;
    if (size <= 0 || size > (1L << 24)) {
        std::fprintf(stderr, "velmora-demo-image: SIZE must be from 1 to 16777216\n");
        return 2;
    }
    // xorshift32: the same bytes on every machine and every build.
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    for (unsigned char &byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = (unsigned char)(state >> 24);
    }
    FILE *file = std::fopen(argv[1], "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "velmora-demo-image: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
