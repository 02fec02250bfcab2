// Fast fill of generator data: many lanes, each a run of the generator as many steps apart, so
// that the multiplications of one round are independent. The bytes equal the one-step reference.
#include "lcg.h"

#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

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

#if defined(__x86_64__) && defined(__GNUC__)
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

using fill_function = void (*)(uint32_t&, uint8_t*, size_t);

fill_function choose_fill() {
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return fill_avx2;
#endif
    return fill_baseline;
}

} // namespace

void lcg_fill(uint32_t& x, uint8_t* out, size_t chunks) {
    static const fill_function fill = choose_fill();
    fill(x, out, chunks);
}

std::vector<LcgFillPathEntry> lcg_fill_paths() {
    std::vector<LcgFillPathEntry> paths{{"baseline", fill_baseline}};
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        paths.push_back({"avx2", fill_avx2});
#endif
    return paths;
}

void lcg_fill_reference(uint32_t& x, uint8_t* out, size_t chunks) {
    for (size_t i = 0; i < chunks * kChunkWords; ++i) {
        x = lcg_step(x);
        std::memcpy(out + 4 * i, &x, 4);
    }
}
