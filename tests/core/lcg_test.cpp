// Tests of the generator fill (the fast paths against the one-step reference) and of the check
// that finds where data stops following the generator.
#include "core/run/lcg.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Lcg, EveryFastPathMatchesTheReferenceAndEndsInTheSameState) {
    auto paths = lcg_fill_paths();
    paths.push_back({"chosen", lcg_fill});
    for (const auto& path : paths) {
        for (const uint32_t seed : {0u, 1u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
            for (const size_t chunks : {size_t{0}, size_t{1}, size_t{2}, size_t{64}, size_t{65}}) {
                uint32_t fast = seed;
                uint32_t slow = seed;
                std::vector<uint8_t> a(chunks * kChunkBytes + 8, 0xAB), b(chunks * kChunkBytes + 8, 0xAB);
                path.run(fast, a.data(), chunks);
                lcg_fill_reference(slow, b.data(), chunks);
                EXPECT_EQ(a, b) << path.name << " " << seed << " " << chunks << " (nothing past the chunks)";
                EXPECT_EQ(fast, slow) << path.name << " " << seed << " " << chunks;
            }
        }
    }
}

TEST(Lcg, FirstWordIsTheStateAfterOneStepLittleEndian) {
    uint32_t x = 1;
    uint8_t chunk[kChunkBytes];
    lcg_fill(x, chunk, 1);
    const uint32_t first = 1u * 8253729u + 2396403u;
    EXPECT_EQ(chunk[0], first & 0xFF);
    EXPECT_EQ(chunk[3], first >> 24);
    EXPECT_EQ(x, lcg_jump(1024)(1));
    EXPECT_EQ(lcg_jump(0)(77), 77u);
    EXPECT_EQ(lcg_jump(3)(77), lcg_step(lcg_step(lcg_step(77))));
}

TEST(LcgChain, EveryPathFindsTheFirstByteThatBreaksTheChain) {
    auto paths = lcg_chain_paths();
    paths.push_back({"chosen", lcg_chain_break});
    std::vector<uint8_t> data(3 * kChunkBytes);
    uint32_t x = 0xDEADBEEF;
    lcg_fill_reference(x, data.data(), 3);
    // Sizes: no whole word, one word and a tail, a few words, blocks of the fast paths and more.
    for (const size_t size : {size_t{0}, size_t{3}, size_t{4}, size_t{7}, size_t{8}, size_t{132},
                              size_t{4096}, size_t{4099}, size_t{3 * kChunkBytes}}) {
        // Every byte after the first word: the first word is taken as given.
        std::vector<size_t> flips;
        for (size_t at = 4; at<size; at += size> 200 ? 97 : 1)
            flips.push_back(at);
        if (size > 4)
            flips.push_back(size - 1);
        for (const auto& path : paths) {
            EXPECT_EQ(path.run(data.data(), size), size) << path.name << " " << size << ": intact";
            for (const size_t at : flips) {
                data[at] ^= 0x40;
                EXPECT_EQ(path.run(data.data(), size), at) << path.name << " " << size << ", flipped " << at;
                data[at] ^= 0x40;
            }
        }
    }
}

} // namespace
