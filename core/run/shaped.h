// Random data shaped between the extremes: every 4,096-byte block compresses to a set share of its
// size, and a set share of a run's blocks repeat earlier blocks of the run. Each block is made on
// its own from the run's seed, the shape and the block's place, so any part of any file can be
// made, or checked, alone and in any order. docs/compressible-data.md tells how, and why so.
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

// What is copied, the dedupe unit: 2^unit bytes from 4 KiB (12) to 64 MiB (26), or whole files.
inline constexpr int32_t kDedupeUnitFile = 0;
inline constexpr int32_t kDedupeUnitSmallest = 12;
inline constexpr int32_t kDedupeUnitLargest = 26;

// A shape's figures at their limits, in percent.
inline constexpr int32_t kLeastCompress = static_cast<int32_t>(kCompressRange.low);
inline constexpr int32_t kMostCompress = static_cast<int32_t>(kCompressRange.high);
inline constexpr int32_t kMostDedupe = static_cast<int32_t>(kDedupeRange.high);

// What random data is shaped to: `compress`, the compressed size in percent of the input (1 to
// 100), `dedupe`, the share in percent of the run's units that are copies of earlier ones (0 to
// 99), and `unit`, what a unit is. 100 and 0 is plain random data, whatever the unit.
struct DataShape {
    int32_t compress = kMostCompress;
    int32_t dedupe = 0;
    int32_t unit = kDedupeUnitSmallest;

    bool plain() const { return compress == kMostCompress && dedupe == 0; }
    bool valid() const {
        return kCompressRange.holds(compress) && kDedupeRange.holds(dedupe) &&
               (unit == kDedupeUnitFile || (unit >= kDedupeUnitSmallest && unit <= kDedupeUnitLargest));
    }
    // Without copies the unit makes no difference to the bytes: such a shape keeps the 4 KiB unit,
    // so that the same bytes always have the same name.
    bool canonical() const { return valid() && (dedupe > 0 || unit == kDedupeUnitSmallest); }
    bool operator==(const DataShape&) const = default;
};

// The shape a run writes: every value brought into its range, and the 4 KiB unit without copies.
DataShape shape_in_range(DataShape shape);

// A unit as the command line and the results spell it: "4K" to "512K", "1M" to "64M", "file".
std::string dedupe_unit_text(int32_t unit);
// A unit from its spelling: a power of two from 4K to 64M in bytes, K or M (either case, KiB and
// MiB too), or "file"; none for anything else.
std::optional<int32_t> parse_dedupe_unit(std::string_view text);

// A block of shaped data is one chunk.
inline constexpr size_t kShapedBlockBytes = kChunkBytes;

// The random bytes that end each block for a target of `compress` percent (1 to 100):
// 4096 × (compress − c) / 100, rounded, where c = min(0.75, 0.38 + 0.02 × compress) points is what
// compressors were measured to spend on the repeats and on their own framing.
int32_t shaped_random_bytes(int32_t compress);

// The 4-byte word that a block's front repeats: `word`, unless its four bytes are all alike (a
// run that run-length coding would take), then with the last byte inverted.
uint32_t shaped_word(uint32_t word);

// Block `index` of the stream with `key`: the random lanes seeded from splitmix64 at key + index ×
// 24 gammas step s = ceil(random_bytes / 64) times; the block ends with the last `random_bytes` of
// those 64 s bytes, and its bytes before them repeat the first four of them (through shaped_word)
// with a period of 4, so that the repeats run into them without a seam.
// Picks the fastest code path the processor supports.
void shaped_block(uint64_t key, int32_t random_bytes, uint64_t index, uint8_t* out);

// Every code path shaped_block may choose on this processor, by name, the fastest (its choice)
// last; and the same one byte and one generator at a time, the reference for them.
using ShapedBlockPath = void (*)(uint64_t key, int32_t random_bytes, uint64_t index, uint8_t* out);
std::vector<CodePath<ShapedBlockPath>> shaped_block_paths();
void shaped_block_reference(uint64_t key, int32_t random_bytes, uint64_t index, uint8_t* out);

// Copies among the first `blocks` blocks of a run with `dedupe` percent: blocks × dedupe / 100
// rounded (halves up), but at most blocks − 1, since the first block has nothing to copy. It holds
// for every prefix of a run, so the placement needs neither the run's length nor its end.
uint64_t shaped_copies(uint64_t blocks, int32_t dedupe);

// The block whose data block `index` of a run carries: `index` itself when that block is unique,
// otherwise an earlier unique block, drawn through `key` from all those before it.
uint64_t shaped_source(uint64_t key, int32_t dedupe, uint64_t index);

// The unique unit whose data unit `index` of a run carries, for units larger than a block: `index`
// itself when that unit is unique. A stretch of copies (the copies between two unique units)
// repeats a stretch of the run as long as itself that starts at an earlier unique unit, drawn
// through `key` from all those before the stretch: copy k of the stretch carries what the unit k
// places after that start carries. So consecutive copies carry consecutive data of the run, and a
// chunker that cuts by content finds the same cuts all through a stretch.
uint64_t shaped_unit_source(uint64_t key, int32_t dedupe, uint64_t index);

// The file whose data file `number` of a run of `shape` carries: the number itself, unless whole
// files are copied and this one is a copy; then the earlier file it copies, which is no copy.
int32_t shaped_source_file(uint64_t seed, DataShape shape, int32_t number);

// The bytes a shaped run counts its units in: the unit's, or a block's when whole files are copied.
int32_t shaped_unit_bits(DataShape shape);

// The data of one file of a shaped run, from any chunk on. With a unit of 2^k bytes, the run's units
// are its files' whole units in order (file 1's, then file 2's, ...); a file's short last unit
// (sizes that are no multiple of the unit) is unique data of its own and takes no part in the
// copies. The blocks of a unit are the run's blocks at the unit's place, and a copy carries its
// source's blocks. With whole files as the unit, a copy is its source file byte for byte.
class ShapedFileData {
public:
    // A file of a run whose files all have `file_bytes`; `number`: the file's, from 1.
    ShapedFileData(uint64_t seed, DataShape shape, uint64_t file_bytes, int32_t number);
    // A file of a run whose sizes differ: `source`, the file whose data this is (shaped_source_file),
    // has `file_bytes`, and `first_unit` of the run's units come before it (its files' whole units in
    // order, counted in blocks when whole files are copied).
    ShapedFileData(uint64_t seed, DataShape shape, int32_t source, uint64_t file_bytes, uint64_t first_unit);
    // Fills `chunks` chunks starting with chunk `first` of the file.
    void fill(uint64_t first, uint8_t* out, size_t chunks) const;
    // The run's block that chunk `chunk` of the file carries, after following copies; the blocks of
    // short last units and chunks past the file's size have places of their own beyond the run's
    // blocks.
    uint64_t source(uint64_t chunk) const;
    // The file whose bytes this one carries: its own number unless whole files are copied.
    int32_t source_file() const { return number_; }

private:
    struct Source {
        int32_t number;
    };
    ShapedFileData(uint64_t seed, DataShape shape, Source source, uint64_t file_bytes);
    // The run's unit that unit `unit` of the file carries (a whole unit of the file).
    uint64_t unit_source(uint64_t unit) const;

    uint64_t data_key_;
    uint64_t dedupe_key_;
    int32_t random_bytes_;
    int32_t dedupe_;
    int32_t unit_shift_;   // blocks per unit, as a power of two; 0 for 4 KiB units and whole files
    uint64_t file_blocks_; // whole blocks per file
    uint64_t file_units_;  // whole units per file
    uint64_t first_unit_;  // the run's index of the file's first unit
    int32_t number_;       // the file whose data this is (the source file when whole files are copied)
};
