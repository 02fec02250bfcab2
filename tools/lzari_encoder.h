// LZARI packer for build time: writes the 4-byte size header, then the coded bits flushed to a
// whole byte, with the decoder's parameters and models.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Packs data with the binary-tree LZSS match finder; the same input always gives the same stream.
std::vector<uint8_t> lzari_pack(const uint8_t* data, size_t size);

// Codes LZARI symbols one at a time: the packer's back end, and a way to build exact streams.
class LzariSymbolWriter {
public:
    explicit LzariSymbolWriter(uint32_t announced_size);
    ~LzariSymbolWriter();
    LzariSymbolWriter(const LzariSymbolWriter&) = delete;
    LzariSymbolWriter& operator=(const LzariSymbolWriter&) = delete;

    void literal(uint8_t c);
    // length 3..60; position 0..4095 is the distance back minus one (0 repeats the last byte).
    void match(int length, int position);
    // Flushes the coder and returns the whole stream; the writer is spent afterwards.
    std::vector<uint8_t> finish();

private:
    struct Coder;
    std::unique_ptr<Coder> coder_;
};
