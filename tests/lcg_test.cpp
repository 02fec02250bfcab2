// Tests of the generator fill: the fast path against the one-step reference.
#include "lcg.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Lcg, EveryFastPathMatchesTheReferenceAndEndsInTheSameState) {
    std::vector<LcgFillPathEntry> paths = lcg_fill_paths();
    paths.push_back({"chosen", lcg_fill});
    for (const auto& path : paths) {
        for (const uint32_t seed : {0u, 1u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
            for (const size_t chunks : {size_t{0}, size_t{1}, size_t{2}, size_t{64}, size_t{65}}) {
                uint32_t fast = seed;
                uint32_t slow = seed;
                std::vector<uint8_t> a(chunks * kChunkBytes + 8, 0xAB), b(chunks * kChunkBytes + 8, 0xAB);
                path.fill(fast, a.data(), chunks);
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

} // namespace
