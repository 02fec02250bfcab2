// The data of non-compressible files: a 32-bit linear congruential generator, x <- x * 8253729 +
// 2396403 (mod 2^32), each state stored as a little-endian word. Every 4,096-byte chunk takes
// 1,024 fresh states, also when only part of it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/run/code_paths.h"

inline constexpr uint32_t kLcgMultiplier = 8253729;
inline constexpr uint32_t kLcgIncrement = 2396403;
inline constexpr size_t kChunkBytes = 4096;
inline constexpr size_t kChunkWords = kChunkBytes / 4;

constexpr uint32_t lcg_step(uint32_t x) { return x * kLcgMultiplier + kLcgIncrement; }

// The steps `bytes` bytes of a file take: 1,024 per chunk, also for a short last chunk.
constexpr uint64_t lcg_file_steps(uint64_t bytes) {
    return (bytes + kChunkBytes - 1) / kChunkBytes * kChunkWords;
}

// An affine map x -> a * x + c (mod 2^32): n steps of the generator in one.
struct LcgJump {
    uint32_t a;
    uint32_t c;
    constexpr uint32_t operator()(uint32_t x) const { return a * x + c; }
};

// The map for n steps, by squaring.
constexpr LcgJump lcg_jump(uint64_t n) {
    LcgJump result{1, 0};
    LcgJump power{kLcgMultiplier, kLcgIncrement};
    for (; n != 0; n >>= 1) {
        if (n & 1)
            result = {power.a * result.a, power.a * result.c + power.c};
        power = {power.a * power.a, power.a * power.c + power.c};
    }
    return result;
}

// Fills `chunks` whole chunks (chunks * 4,096 bytes) from state x, which ends up advanced by
// chunks * 1,024 steps. Picks the fastest code path the processor supports.
void lcg_fill(uint32_t& x, uint8_t* out, size_t chunks);

// Every code path lcg_fill may choose on this processor, by name, so each can be checked; the
// fastest, which lcg_fill takes, comes last.
using LcgFillPath = void (*)(uint32_t& x, uint8_t* out, size_t chunks);
std::vector<CodePath<LcgFillPath>> lcg_fill_paths();

// The same, one word at a time: the reference that the fast paths must match.
void lcg_fill_reference(uint32_t& x, uint8_t* out, size_t chunks);

// Where generator data stops following the generator: the first byte of `data` that differs from
// what the words before it make (each word the step of the one before it; bytes after the last
// whole word the first bytes of the next word), or `size` when every byte follows. The first word
// is taken as given. Picks the fastest code path the processor supports.
size_t lcg_chain_break(const uint8_t* data, size_t size);

// Every code path lcg_chain_break may choose, the fastest (its choice) last.
using LcgChainPath = size_t (*)(const uint8_t* data, size_t size);
std::vector<CodePath<LcgChainPath>> lcg_chain_paths();
