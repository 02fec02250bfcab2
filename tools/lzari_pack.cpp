// lzari-pack INPUT OUTPUT: packs a file into an LZARI stream (build tool, not shipped).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/lzari_encoder.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lzari-pack INPUT OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "lzari-pack: cannot read %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::fprintf(stderr, "lzari-pack: error reading %s\n", argv[1]);
        return 1;
    }
    const std::vector<uint8_t> packed = lzari_pack(data.data(), data.size());

    // Write beside the target and rename, so an interrupted run never leaves half a stream.
    const std::string temp = std::string(argv[2]) + ".tmp";
    std::FILE* out = std::fopen(temp.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "lzari-pack: cannot write %s: %s\n", temp.c_str(), std::strerror(errno));
        return 1;
    }
    const bool written = std::fwrite(packed.data(), 1, packed.size(), out) == packed.size();
    if (std::fclose(out) != 0 || !written || std::rename(temp.c_str(), argv[2]) != 0) {
        std::fprintf(stderr, "lzari-pack: cannot write %s: %s\n", argv[2], std::strerror(errno));
        std::remove(temp.c_str());
        return 1;
    }
    std::printf("%s: %zu bytes -> %zu bytes\n", argv[2], data.size(), packed.size());
    return 0;
}
