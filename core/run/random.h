// The data of random files: eight sfc64 generators side by side (the small fast chaotic generator
// of PractRand's author: additions, one shift each way and a byte rotation, so vector registers
// make it at memory speed), seeded through splitmix64 from the run's seed, the file's number and
// the mebibyte of the file, so that any part of any file can be made, or checked, on its own. The
// seed travels in the run's tag, 16 digits in base 9.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/run/code_paths.h"

#include "core/run/lcg.h"
#include "core/run/run_limits.h"

inline constexpr int kRandomLanes = 8;
// Seeds are below 2^50: 16 digits of base 9 (9^16 > 2^50) hold any of them.
inline constexpr uint64_t kRandomSeedLimit = static_cast<uint64_t>(kSeedRange.high) + 1;
// Every mebibyte of a file starts its eight generators afresh.
inline constexpr uint64_t kRandomSegmentBytes = uint64_t{1} << 20;
inline constexpr uint64_t kRandomSegmentChunks = kRandomSegmentBytes / kChunkBytes;
// One step of all lanes makes 64 bytes; a 4,096-byte chunk takes 64 steps, also when only part of
// it is written.
inline constexpr size_t kRandomChunkSteps = kChunkBytes / (8 * kRandomLanes);

// One output of splitmix64, the usual generator for seeding others. Its state only ever grows by
// the gamma, so the state after n outputs is the first plus n gammas.
uint64_t splitmix64_next(uint64_t& state);
inline constexpr uint64_t kSplitmix64Gamma = 0x9E3779B97F4A7C15u;
// The splitmix64 outputs that seed one set of lanes: a, b and c of each.
inline constexpr uint64_t kRandomLaneSeeds = 3 * kRandomLanes;

// One sfc64 generator, stepped as PractRand's reference code steps it.
struct Sfc64 {
    uint64_t a, b, c, counter;
    uint64_t next();
};

// Eight generators: word w (a, b, c, counter) of lane l is s[w][l], so a vector register holds one
// word of four lanes.
struct RandomLanes {
    alignas(32) uint64_t s[4][kRandomLanes];

    Sfc64 lane(int l) const { return {s[0][l], s[1][l], s[2][l], s[3][l]}; }
    void set_lane(int l, const Sfc64& generator) {
        s[0][l] = generator.a;
        s[1][l] = generator.b;
        s[2][l] = generator.c;
        s[3][l] = generator.counter;
    }
};

// The generators for mebibyte `segment` of file `number` of the run with `seed`: a, b and c of
// each lane are three splitmix64 outputs from a place of the seed's splitmix64 sequence that
// belongs to that file and segment alone, the counter starts at 1, and 12 outputs are dropped, as
// PractRand seeds the generator.
RandomLanes random_lanes(uint64_t seed, int32_t number, uint64_t segment);
// The same seeding from any place of a splitmix64 sequence: lane l takes outputs 3 l to 3 l + 2
// from `state` on.
RandomLanes seeded_lanes(uint64_t state);

// Fills `chunks` whole chunks: step j of lane l is the little-endian 64-bit word 8 j + l. The lanes
// end up advanced by 64 steps per chunk. Picks the fastest code path the processor supports.
void random_fill(RandomLanes& lanes, uint8_t* out, size_t chunks);

// Every code path random_fill may choose on this processor, by name, so each can be checked; the
// fastest, which random_fill takes, comes last.
using RandomFillPath = void (*)(RandomLanes& lanes, uint8_t* out, size_t chunks);
std::vector<CodePath<RandomFillPath>> random_fill_paths();
// Steps all lanes `steps` times, 64 bytes a step, laid out as random_fill lays out its chunks:
// for data that needs less than a chunk from a set of lanes. The fastest path, as random_fill.
void random_steps(RandomLanes& lanes, uint8_t* out, size_t steps);
using RandomStepPath = void (*)(RandomLanes& lanes, uint8_t* out, size_t steps);
std::vector<CodePath<RandomStepPath>> random_step_paths();

// The same, one generator after the other, one word at a time: the reference for the fast paths.
void random_fill_reference(RandomLanes& lanes, uint8_t* out, size_t chunks);

// The data of one file of a random run, from any chunk on. Quickest when each call goes on where
// the one before ended, as a run writes and a check reads.
class RandomFileData {
public:
    RandomFileData(uint64_t seed, int32_t number) : seed_(seed), number_(number) {}
    // Fills `chunks` chunks starting with chunk `first` of the file.
    void fill(uint64_t first, uint8_t* out, size_t chunks);

private:
    uint64_t seed_;
    int32_t number_;
    RandomLanes lanes_{};
    uint64_t next_ = UINT64_MAX; // the chunk the lanes stand at
};

// The tag of a random run: its seed (below kRandomSeedLimit) in 16 digits of base 9.
std::u16string random_tag(uint64_t seed);
// The seed a random run's tag carries; none when the text is no such tag.
std::optional<uint64_t> random_tag_seed(std::u16string_view tag);
