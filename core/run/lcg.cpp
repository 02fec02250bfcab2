// Fast fill of generator data: many lanes, each a run of the generator as many steps apart, so
// that the multiplications of one round are independent. The bytes equal the one-step reference.
// The check of generator data goes the other way: every word against the step of the one before.
#include "core/run/lcg.h"

#include <cstring>

#include "core/run/code_paths.h"

namespace {

constexpr int kLanes = 32;
constexpr LcgJump kLaneJump = lcg_jump(kLanes);

static_assert(kChunkWords % kLanes == 0, "a chunk is a whole number of lane rounds");

// Words are stored little-endian; on a big-endian host the bytes would need swapping.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "generator words are little-endian");

// Any x86-64 (or other) processor: the compiler vectorises the lanes as far as it can.
void fill_baseline(uint32_t& x, uint8_t* out, size_t chunks) {
    uint32_t lanes[kLanes];
    uint32_t s = x;
    for (int i = 0; i < kLanes; ++i) {
        s = lcg_step(s);
        lanes[i] = s;
    }
    const size_t rounds = chunks * (kChunkWords / kLanes);
    for (size_t r = 0; r < rounds; ++r) {
        std::memcpy(out + r * sizeof lanes, lanes, sizeof lanes);
        for (int i = 0; i < kLanes; ++i)
            lanes[i] = kLaneJump(lanes[i]);
    }
    // The last word written is the state after chunks * 1,024 steps; the lanes are one jump on.
    if (rounds != 0)
        std::memcpy(&x, out + rounds * sizeof lanes - 4, 4);
}

#if PELMORA_AVX2_PATHS
// 64 lanes in eight registers: eight independent multiply chains keep the multiplier busy, and
// every word is stored once, straight from a register.
__attribute__((target("avx2"))) void fill_avx2(uint32_t& x, uint8_t* out, size_t chunks) {
    constexpr int kWide = 64;
    constexpr LcgJump jump = lcg_jump(kWide);
    static_assert(kChunkWords % kWide == 0, "a chunk is a whole number of rounds");
    alignas(32) uint32_t start[kWide];
    uint32_t s = x;
    for (int i = 0; i < kWide; ++i) {
        s = lcg_step(s);
        start[i] = s;
    }
    __m256i v[8];
    for (int k = 0; k < 8; ++k)
        v[k] = _mm256_load_si256(reinterpret_cast<const __m256i*>(start) + k);
    const __m256i a = _mm256_set1_epi32(static_cast<int>(jump.a));
    const __m256i c = _mm256_set1_epi32(static_cast<int>(jump.c));
    const size_t rounds = chunks * (kChunkWords / kWide);
    auto* o = reinterpret_cast<__m256i*>(out);
    for (size_t r = 0; r < rounds; ++r, o += 8) {
        for (int k = 0; k < 8; ++k) {
            _mm256_storeu_si256(o + k, v[k]);
            v[k] = _mm256_add_epi32(_mm256_mullo_epi32(v[k], a), c);
        }
    }
    if (rounds != 0)
        std::memcpy(&x, out + rounds * kWide * 4 - 4, 4);
}
#endif

uint32_t word_at(const uint8_t* data, size_t index) {
    uint32_t word;
    std::memcpy(&word, data + 4 * index, 4);
    return word;
}

// The exact place of a break at or after word `from`: word by word, then the bytes after the last
// whole word; the first differing byte of the first word that differs.
size_t chain_break_from(const uint8_t* data, size_t size, size_t from) {
    const size_t words = size / 4;
    for (size_t i = from; i < words; ++i) {
        const uint32_t expected = lcg_step(word_at(data, i - 1));
        const uint32_t differs = word_at(data, i) ^ expected;
        if (differs != 0)
            return 4 * i + static_cast<size_t>(__builtin_ctz(differs)) / 8;
    }
    if (words == 0)
        return size;
    const uint32_t next = lcg_step(word_at(data, words - 1));
    uint8_t expected[4];
    std::memcpy(expected, &next, 4);
    for (size_t k = 4 * words; k < size; ++k)
        if (data[k] != expected[k - 4 * words])
            return k;
    return size;
}

// Blocks of 64 words whose differences are or-ed together: no branch inside a block, so the
// compiler vectorises it; only a block with a difference is looked at closely.
size_t chain_baseline(const uint8_t* data, size_t size) {
    constexpr size_t kBlock = 64;
    const size_t words = size / 4;
    size_t i = 1;
    for (; i + kBlock <= words; i += kBlock) {
        uint32_t differs = 0;
        for (size_t k = i; k < i + kBlock; ++k)
            differs |= word_at(data, k) ^ (word_at(data, k - 1) * kLcgMultiplier + kLcgIncrement);
        if (differs != 0)
            break;
    }
    return chain_break_from(data, size, i);
}

#if PELMORA_AVX2_PATHS
__attribute__((target("avx2"))) size_t chain_avx2(const uint8_t* data, size_t size) {
    const __m256i a = _mm256_set1_epi32(static_cast<int>(kLcgMultiplier));
    const __m256i c = _mm256_set1_epi32(static_cast<int>(kLcgIncrement));
    const size_t words = size / 4;
    size_t i = 1;
    // 32 words a round: four pairs of overlapping loads, each word against the one before it.
    for (; i + 32 <= words; i += 32) {
        __m256i differs = _mm256_setzero_si256();
        for (size_t k = 0; k < 32; k += 8) {
            const __m256i before =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 4 * (i + k - 1)));
            const __m256i now = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 4 * (i + k)));
            const __m256i expected = _mm256_add_epi32(_mm256_mullo_epi32(before, a), c);
            differs = _mm256_or_si256(differs, _mm256_xor_si256(now, expected));
        }
        if (!_mm256_testz_si256(differs, differs))
            break;
    }
    return chain_break_from(data, size, i);
}
#endif

} // namespace

void lcg_fill(uint32_t& x, uint8_t* out, size_t chunks) {
    static const LcgFillPath fill = lcg_fill_paths().back().run;
    fill(x, out, chunks);
}

std::vector<CodePath<LcgFillPath>> lcg_fill_paths() {
    return runnable_paths<LcgFillPath>(fill_baseline, PELMORA_AVX2_PATH(fill_avx2));
}

void lcg_fill_reference(uint32_t& x, uint8_t* out, size_t chunks) {
    for (size_t i = 0; i < chunks * kChunkWords; ++i) {
        x = lcg_step(x);
        std::memcpy(out + 4 * i, &x, 4);
    }
}

size_t lcg_chain_break(const uint8_t* data, size_t size) {
    static const LcgChainPath check = lcg_chain_paths().back().run;
    return check(data, size);
}

std::vector<CodePath<LcgChainPath>> lcg_chain_paths() {
    return runnable_paths<LcgChainPath>(chain_baseline, PELMORA_AVX2_PATH(chain_avx2));
}
