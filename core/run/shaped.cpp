// Shaped random data: the block, the placement of the copies, and one file's share of them.
#include "core/run/shaped.h"

#include <algorithm>
#include <cstring>

#include "core/run/random.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the repeated word is little-endian");

namespace {

// A run has at most 65,536 files of less than 2^29 blocks: its blocks are numbered below 2^45.
// Short last blocks and anything past a file's size are numbered from 2^47 on, 2^30 per file.
constexpr uint64_t kTailBase = uint64_t{1} << 47;
constexpr int kTailBits = 30;

uint64_t key_from(uint64_t material) { return splitmix64_next(material); }

} // namespace

int32_t shaped_random_bytes(int32_t compress) {
    compress = std::clamp(compress, 1, 100);
    if (compress == 100)
        return static_cast<int32_t>(kShapedBlockBytes);
    // In hundredths of a point, so every platform rounds alike.
    const int64_t allowance = std::min<int64_t>(75, 38 + 2 * compress);
    const int64_t hundredths = 100 * compress - allowance;
    return static_cast<int32_t>((static_cast<int64_t>(kShapedBlockBytes) * hundredths + 5000) / 10000);
}

uint32_t shaped_word(uint32_t word) { return word == (word & 0xFFu) * 0x01010101u ? word ^ 0xFF000000u : word; }

void shaped_block(uint64_t key, int32_t random_bytes, uint64_t index, uint8_t* out) {
    RandomLanes lanes = seeded_lanes(key + index * kRandomLaneSeeds * kSplitmix64Gamma);
    random_fill(lanes, out, 1);
    const size_t front = kShapedBlockBytes - static_cast<size_t>(std::clamp(random_bytes, 4, 4096));
    if (front == 0)
        return;
    uint32_t word;
    std::memcpy(&word, out + front, 4);
    word = shaped_word(word);
    // Byte i of the front is byte (i - front) mod 4 of the word: the pattern that starts at byte 0
    // is the word turned by that many bytes, stored eight bytes at a time up to the random part's
    // fifth byte (its first four are the word itself).
    const unsigned turn = 8 * static_cast<unsigned>((4 - front % 4) % 4);
    const uint32_t first = turn == 0 ? word : word >> turn | word << (32 - turn);
    const uint64_t pattern = static_cast<uint64_t>(first) << 32 | first;
    const size_t end = front + 4;
    size_t i = 0;
    for (; i + 8 <= end; i += 8)
        std::memcpy(out + i, &pattern, 8);
    std::memcpy(out + i, &pattern, end - i);
}

uint64_t shaped_copies(uint64_t blocks, int32_t dedupe) {
    if (blocks == 0)
        return 0;
    return std::min(blocks - 1, (blocks * static_cast<uint64_t>(dedupe) + 50) / 100);
}

uint64_t shaped_source(uint64_t key, int32_t dedupe, uint64_t index) {
    const uint64_t before = shaped_copies(index, dedupe);
    if (shaped_copies(index + 1, dedupe) == before)
        return index;
    // Unique block j (from 0) is the first block whose prefix holds j + 1 unique ones. Past the
    // first block, where the cap no longer binds, that prefix is x − round(x × dedupe / 100) long,
    // which solves to block (100 j + 50) / (100 − dedupe).
    const uint64_t uniques = index - before;
    uint64_t state = key + index * kSplitmix64Gamma;
    const uint64_t j = splitmix64_next(state) % uniques;
    return j == 0 ? 0 : (100 * j + 50) / static_cast<uint64_t>(100 - dedupe);
}

ShapedFileData::ShapedFileData(uint64_t seed, DataShape shape, uint64_t file_bytes, int32_t number)
    : data_key_(key_from(seed + (static_cast<uint64_t>(std::clamp(shape.compress, 1, 100)) << 50))),
      dedupe_key_(key_from(seed + (uint64_t{1} << 63))), random_bytes_(shaped_random_bytes(shape.compress)),
      dedupe_(std::clamp(shape.dedupe, 0, 99)), file_blocks_(file_bytes / kShapedBlockBytes),
      first_block_(static_cast<uint64_t>(number - 1) * file_blocks_), number_(number) {}

uint64_t ShapedFileData::source(uint64_t chunk) const {
    if (chunk < file_blocks_)
        return shaped_source(dedupe_key_, dedupe_, first_block_ + chunk);
    return kTailBase + (static_cast<uint64_t>(static_cast<uint32_t>(number_)) << kTailBits) +
           (chunk - file_blocks_);
}

void ShapedFileData::fill(uint64_t first, uint8_t* out, size_t chunks) const {
    for (size_t k = 0; k < chunks; ++k)
        shaped_block(data_key_, random_bytes_, source(first + k), out + k * kShapedBlockBytes);
}
