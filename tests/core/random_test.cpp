// Tests of random data: the generators against published outputs, the fast paths against the
// reference, the layout that stored files rely on, and the tag that carries the seed.
#include "core/run/random.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/base/text.h"

namespace {

uint64_t word_at(const std::vector<uint8_t>& bytes, size_t index) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + 8 * index, 8);
    return word;
}

TEST(RandomGenerators, MatchPublishedOutputs) {
    // splitmix64 from state 0, and from 1234567, as its reference code gives them.
    const struct {
        uint64_t state;
        std::vector<uint64_t> outputs;
    } splitmix[] = {
        {0, {0xE220A8397B1DCDAFu, 0x6E789E6AA1B965F4u, 0x06C45D188009454Fu}},
        {1234567,
         {6457827717110365317u, 3203168211198807973u, 9817491932198370423u, 4593380528125082431u,
          16408922859458223821u}},
    };
    for (const auto& c : splitmix) {
        uint64_t state = c.state;
        for (const uint64_t expected : c.outputs)
            EXPECT_EQ(splitmix64_next(state), expected) << "from " << c.state;
    }

    // sfc64 as PractRand's RNG_output prints it ("RNG_output sfc64 128 SEED"): a = b = c = SEED,
    // counter 1, twelve outputs dropped.
    const struct {
        uint64_t seed;
        std::vector<uint64_t> outputs;
    } sfc[] = {
        {0, {0x3ACFA029E3CC6041u, 0xF5B6515BF2EE419Cu, 0x1259635894A29B61u, 0x0B6AE75395F8EBD6u}},
        {0x0123456789ABCDEFu,
         {0x79D78AFBE0438F43u, 0x963306CD3E6E830Eu, 0x983B2A24D126EF1Bu, 0x7D89320505DF8C58u}},
    };
    for (const auto& c : sfc) {
        Sfc64 generator{c.seed, c.seed, c.seed, 1};
        for (int k = 0; k < 12; ++k)
            generator.next();
        for (const uint64_t expected : c.outputs)
            EXPECT_EQ(generator.next(), expected) << "seed " << c.seed;
    }
}

TEST(RandomFill, EveryFastPathMatchesTheReferenceAndEndsInTheSameState) {
    auto paths = random_fill_paths();
    paths.push_back({"chosen", random_fill});
    for (const auto& path : paths) {
        for (const uint64_t seed : {uint64_t{0}, uint64_t{77}, kRandomSeedLimit - 1}) {
            for (const size_t chunks : {size_t{0}, size_t{1}, size_t{3}, size_t{64}}) {
                RandomLanes fast = random_lanes(seed, 5, 2);
                RandomLanes slow = fast;
                std::vector<uint8_t> a(chunks * kChunkBytes + 8, 0xAB), b(chunks * kChunkBytes + 8, 0xAB);
                path.run(fast, a.data(), chunks);
                random_fill_reference(slow, b.data(), chunks);
                EXPECT_EQ(a, b) << path.name << " " << seed << " " << chunks << " (nothing past the chunks)";
                EXPECT_EQ(std::memcmp(fast.s, slow.s, sizeof fast.s), 0) << path.name << " " << chunks;
            }
        }
    }
}

TEST(RandomFill, WordsInterleaveTheEightLanes) {
    RandomLanes lanes = random_lanes(9, 1, 0);
    std::vector<Sfc64> one_by_one;
    for (int l = 0; l < kRandomLanes; ++l)
        one_by_one.push_back({lanes.s[0][l], lanes.s[1][l], lanes.s[2][l], lanes.s[3][l]});
    std::vector<uint8_t> chunk(kChunkBytes);
    random_fill(lanes, chunk.data(), 1);
    for (size_t step = 0; step < kRandomChunkSteps; ++step)
        for (int l = 0; l < kRandomLanes; ++l)
            ASSERT_EQ(word_at(chunk, step * kRandomLanes + static_cast<size_t>(l)), one_by_one[l].next())
                << "step " << step << " lane " << l;
}

TEST(RandomFileData, IsFixedBySeedNumberAndPlace) {
    // Stored files are checked against these bytes: the first words of file 1 of seed 0 and of the
    // second mebibyte of file 3 of the largest seed. A change here strands every random file made.
    const struct {
        uint64_t seed;
        int32_t number;
        uint64_t chunk;
        uint64_t words[3];
    } cases[] = {
        {0, 1, 0, {0xcda4b5927707a507u, 0x10aeb0246f80bea8u, 0x843b9811832df12bu}},
        {kRandomSeedLimit - 1,
         3,
         kRandomSegmentChunks,
         {0xe8daff079e4f6ca3u, 0x21f1708e1dd45db2u, 0x63ead8dfc8a6d96eu}},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> chunk(kChunkBytes);
        RandomFileData(c.seed, c.number).fill(c.chunk, chunk.data(), 1);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(word_at(chunk, i), c.words[i]) << "seed " << c.seed << " word " << i;
    }

    // Every seed, number and mebibyte starts the lanes somewhere else.
    const RandomLanes base = random_lanes(1, 1, 0);
    for (const RandomLanes& other : {random_lanes(2, 1, 0), random_lanes(1, 2, 0), random_lanes(1, 1, 1)})
        EXPECT_NE(std::memcmp(base.s, other.s, sizeof base.s), 0);
}

TEST(RandomFileData, AnyPieceEqualsTheSameBytesOfTheWholeFile) {
    // Three mebibytes and a bit, made in one go...
    const size_t chunks = 3 * kRandomSegmentChunks + 32;
    std::vector<uint8_t> whole(chunks * kChunkBytes);
    RandomFileData(123, 4).fill(0, whole.data(), chunks);
    // ...and in pieces that cross mebibytes, jump ahead and go back.
    const struct {
        uint64_t first;
        size_t count;
    } pieces[] = {{0, 64}, {64, 250}, {314, 3}, {700, 80}, {2, 1}, {kRandomSegmentChunks * 3, 5}, {317, 1}};
    RandomFileData data(123, 4);
    for (const auto& p : pieces) {
        ASSERT_LE(p.first + p.count, chunks);
        std::vector<uint8_t> piece(p.count * kChunkBytes);
        data.fill(p.first, piece.data(), p.count);
        EXPECT_TRUE(std::equal(piece.begin(), piece.end(), whole.begin() + p.first * kChunkBytes))
            << "chunks " << p.first << " to " << p.first + p.count;
    }
    std::vector<uint8_t> other(kChunkBytes);
    RandomFileData(123, 5).fill(0, other.data(), 1);
    EXPECT_FALSE(std::equal(other.begin(), other.end(), whole.begin())) << "the next file differs";
}

TEST(RandomTag, CarriesTheSeedInBaseNine) {
    const struct {
        uint64_t seed;
        std::u16string tag;
    } cases[] = {
        {0, u"0000000000000000"},
        {8, u"0000000000000008"},
        {9, u"0000000000000010"},
        {42, u"0000000000000046"},
        {kRandomSeedLimit - 1, u"5418428410478483"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(random_tag(c.seed), c.tag) << c.seed;
        EXPECT_EQ(random_tag_seed(c.tag), c.seed) << to_utf8(c.tag);
    }
    for (uint64_t seed = 1; seed < kRandomSeedLimit; seed = seed * 3 + 1)
        EXPECT_EQ(random_tag_seed(random_tag(seed)), seed);

    // No seed: the wrong length, a digit beyond 8, another character, a number of 2^50 or more.
    for (const std::u16string_view tag : {u"", u"000000000000046", u"00000000000000046", u"0000000000000009",
                                          u"000000000000004x", u"5418428410478484", u"8888888888888888"})
        EXPECT_EQ(random_tag_seed(tag), std::nullopt) << to_utf8(tag);
}

} // namespace
