// Random data: the generators, their seeding, the fast fills and the tag that carries the seed.
#include "core/run/random.h"

#include <algorithm>
#include <cstring>

#include "core/run/tag.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "random words are little-endian");
static_assert(kChunkBytes % (8 * kRandomLanes) == 0, "a chunk is a whole number of steps");
static_assert(kRandomSegmentBytes % kChunkBytes == 0, "a segment is a whole number of chunks");

namespace {

// Files are below 2^31 KB, so below 2^21 segments: number and segment share one index.
constexpr int kSegmentBits = 21;
constexpr int kSeedingRounds = 12;

constexpr uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// Any x86-64 (or other) processor: plain lanes that the compiler vectorises as far as it can.
void steps_baseline(RandomLanes& r, uint8_t* out, size_t steps) {
    uint64_t a[kRandomLanes], b[kRandomLanes], c[kRandomLanes], n[kRandomLanes];
    std::memcpy(a, r.s[0], sizeof a);
    std::memcpy(b, r.s[1], sizeof b);
    std::memcpy(c, r.s[2], sizeof c);
    std::memcpy(n, r.s[3], sizeof n);
    for (size_t j = 0; j < steps; ++j) {
        uint64_t words[kRandomLanes];
        for (int l = 0; l < kRandomLanes; ++l) {
            const uint64_t t = a[l] + b[l] + n[l]++;
            a[l] = b[l] ^ (b[l] >> 11);
            b[l] = c[l] + (c[l] << 3);
            c[l] = rotl(c[l], 24) + t;
            words[l] = t;
        }
        std::memcpy(out + j * sizeof words, words, sizeof words);
    }
    std::memcpy(r.s[0], a, sizeof a);
    std::memcpy(r.s[1], b, sizeof b);
    std::memcpy(r.s[2], c, sizeof c);
    std::memcpy(r.s[3], n, sizeof n);
}

#if PELMORA_AVX2_PATHS
// Four lanes per register, two registers per state word. The rotation by 24 bits is a rotation by
// three bytes: one shuffle instead of two shifts and an or.
#define PELMORA_AVX2 __attribute__((target("avx2"), always_inline)) inline

PELMORA_AVX2 __m256i step_avx2(__m256i& a, __m256i& b, __m256i& c, __m256i& n, __m256i one, __m256i rotate) {
    const __m256i t = _mm256_add_epi64(_mm256_add_epi64(a, b), n);
    n = _mm256_add_epi64(n, one);
    a = _mm256_xor_si256(b, _mm256_srli_epi64(b, 11));
    b = _mm256_add_epi64(c, _mm256_slli_epi64(c, 3));
    c = _mm256_add_epi64(_mm256_shuffle_epi8(c, rotate), t);
    return t;
}

__attribute__((target("avx2"))) void steps_avx2(RandomLanes& r, uint8_t* out, size_t steps) {
    static_assert(kRandomLanes == 8, "two registers of four lanes");
    __m256i* const state = reinterpret_cast<__m256i*>(r.s); // s[w][0..3], then s[w][4..7]
    __m256i a0 = _mm256_load_si256(state), a1 = _mm256_load_si256(state + 1);
    __m256i b0 = _mm256_load_si256(state + 2), b1 = _mm256_load_si256(state + 3);
    __m256i c0 = _mm256_load_si256(state + 4), c1 = _mm256_load_si256(state + 5);
    __m256i n0 = _mm256_load_si256(state + 6), n1 = _mm256_load_si256(state + 7);
    const __m256i one = _mm256_set1_epi64x(1);
    // Byte k of each rotated word comes from byte k - 3 (mod 8) of the word.
    const __m256i rotate = _mm256_setr_epi8(5, 6, 7, 0, 1, 2, 3, 4, 13, 14, 15, 8, 9, 10, 11, 12, 5, 6, 7, 0,
                                            1, 2, 3, 4, 13, 14, 15, 8, 9, 10, 11, 12);
    auto* o = reinterpret_cast<__m256i*>(out);
    for (size_t j = 0; j < steps; ++j, o += 2) {
        _mm256_storeu_si256(o, step_avx2(a0, b0, c0, n0, one, rotate));
        _mm256_storeu_si256(o + 1, step_avx2(a1, b1, c1, n1, one, rotate));
    }
    _mm256_store_si256(state, a0);
    _mm256_store_si256(state + 1, a1);
    _mm256_store_si256(state + 2, b0);
    _mm256_store_si256(state + 3, b1);
    _mm256_store_si256(state + 4, c0);
    _mm256_store_si256(state + 5, c1);
    _mm256_store_si256(state + 6, n0);
    _mm256_store_si256(state + 7, n1);
}
#undef PELMORA_AVX2
#endif

// The same paths by whole chunks.
void fill_baseline(RandomLanes& r, uint8_t* out, size_t chunks) {
    steps_baseline(r, out, chunks * kRandomChunkSteps);
}
#if PELMORA_AVX2_PATHS
void fill_avx2(RandomLanes& r, uint8_t* out, size_t chunks) {
    steps_avx2(r, out, chunks * kRandomChunkSteps);
}
#endif

} // namespace

uint64_t splitmix64_next(uint64_t& state) {
    uint64_t z = state += kSplitmix64Gamma;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

uint64_t Sfc64::next() {
    const uint64_t t = a + b + counter++;
    a = b ^ (b >> 11);
    b = c + (c << 3);
    c = rotl(c, 24) + t;
    return t;
}

RandomLanes random_lanes(uint64_t seed, int32_t number, uint64_t segment) {
    // splitmix64 is a counter at heart: its state after n outputs is seed + n * gamma, so the run's
    // sequence can be entered at any place without stepping there.
    const uint64_t index = (static_cast<uint64_t>(static_cast<uint32_t>(number)) << kSegmentBits) + segment;
    return seeded_lanes(seed + index * kRandomLaneSeeds * kSplitmix64Gamma);
}

RandomLanes seeded_lanes(uint64_t state) {
    RandomLanes lanes;
    for (int l = 0; l < kRandomLanes; ++l) {
        lanes.s[0][l] = splitmix64_next(state);
        lanes.s[1][l] = splitmix64_next(state);
        lanes.s[2][l] = splitmix64_next(state);
        lanes.s[3][l] = 1;
    }
    // The dropped outputs are steps of all lanes at once: data that seeds its generators often
    // (shaped data, every block) pays a few vector steps for them, not a hundred scalar ones.
    uint8_t dropped[kSeedingRounds * 8 * kRandomLanes];
    random_steps(lanes, dropped, kSeedingRounds);
    return lanes;
}

void random_fill(RandomLanes& lanes, uint8_t* out, size_t chunks) {
    static const RandomFillPath fill = random_fill_paths().back().run;
    fill(lanes, out, chunks);
}

std::vector<CodePath<RandomFillPath>> random_fill_paths() {
    return runnable_paths<RandomFillPath>(fill_baseline, PELMORA_AVX2_PATH(fill_avx2));
}

void random_steps(RandomLanes& lanes, uint8_t* out, size_t steps) {
    static const RandomStepPath run = random_step_paths().back().run;
    run(lanes, out, steps);
}

std::vector<CodePath<RandomStepPath>> random_step_paths() {
    return runnable_paths<RandomStepPath>(steps_baseline, PELMORA_AVX2_PATH(steps_avx2));
}

void random_fill_reference(RandomLanes& lanes, uint8_t* out, size_t chunks) {
    const size_t steps = chunks * kRandomChunkSteps;
    for (int l = 0; l < kRandomLanes; ++l) {
        Sfc64 generator = lanes.lane(l);
        for (size_t j = 0; j < steps; ++j) {
            const uint64_t word = generator.next();
            std::memcpy(out + 8 * (j * kRandomLanes + static_cast<size_t>(l)), &word, 8);
        }
        lanes.set_lane(l, generator);
    }
}

void RandomFileData::fill(uint64_t first, uint8_t* out, size_t chunks) {
    while (chunks > 0) {
        const uint64_t within = first % kRandomSegmentChunks;
        if (within == 0 || first != next_) {
            lanes_ = random_lanes(seed_, number_, first / kRandomSegmentChunks);
            // Only a caller that jumps into the middle of a segment pays for stepping there.
            uint8_t skipped[kChunkBytes];
            for (uint64_t k = 0; k < within; ++k)
                random_fill(lanes_, skipped, 1);
        }
        const size_t now = static_cast<size_t>(std::min<uint64_t>(chunks, kRandomSegmentChunks - within));
        random_fill(lanes_, out, now);
        out += now * kChunkBytes;
        first += now;
        chunks -= now;
        next_ = first;
    }
}

std::u16string random_tag(uint64_t seed) { return tag_text(seed); }

std::optional<uint64_t> random_tag_seed(std::u16string_view tag) {
    const std::optional<uint64_t> seed = tag_number(tag);
    if (!seed || *seed >= kRandomSeedLimit)
        return std::nullopt;
    return seed;
}
