// Fast fill of generator data: 32 lanes, each a run of the generator 32 steps apart, so the
// compiler can keep them in vector registers. The bytes equal those of the one-step reference.
#include "lcg.h"

#include <cstring>

namespace {

constexpr int kLanes = 32;
constexpr LcgJump kLaneJump = lcg_jump(kLanes);

static_assert(kChunkWords % kLanes == 0, "a chunk is a whole number of lane rounds");

// Words are stored little-endian; on a big-endian host the bytes would need swapping.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "generator words are little-endian");

template <int Dummy> inline void fill_lanes(uint32_t& x, uint8_t* out, size_t chunks) {
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
__attribute__((target("avx2"))) void fill_avx2(uint32_t& x, uint8_t* out, size_t chunks) {
    fill_lanes<2>(x, out, chunks);
}
#endif

void fill_baseline(uint32_t& x, uint8_t* out, size_t chunks) { fill_lanes<1>(x, out, chunks); }

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

void lcg_fill_reference(uint32_t& x, uint8_t* out, size_t chunks) {
    for (size_t i = 0; i < chunks * kChunkWords; ++i) {
        x = lcg_step(x);
        std::memcpy(out + 4 * i, &x, 4);
    }
}
