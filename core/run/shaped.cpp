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
    compress = std::clamp(compress, kLeastCompress, kMostCompress);
    if (compress == 100)
        return static_cast<int32_t>(kShapedBlockBytes);
    // In hundredths of a point, so every platform rounds alike.
    const int64_t allowance = std::min<int64_t>(75, 38 + 2 * compress);
    const int64_t hundredths = 100 * compress - allowance;
    return static_cast<int32_t>((static_cast<int64_t>(kShapedBlockBytes) * hundredths + 5000) / 10000);
}

uint32_t shaped_word(uint32_t word) {
    return word == (word & 0xFFu) * 0x01010101u ? word ^ 0xFF000000u : word;
}

namespace {

constexpr size_t kStepBytes = 8 * kRandomLanes;

// The lanes of block `index` of the stream with `key`.
uint64_t lanes_state(uint64_t key, uint64_t index) {
    return key + index * kRandomLaneSeeds * kSplitmix64Gamma;
}

// The steps a block's random part takes, and where its front ends (4,096 − random bytes).
size_t front_of(int32_t random_bytes) {
    return kShapedBlockBytes - static_cast<size_t>(std::clamp(random_bytes, 4, 4096));
}
size_t steps_of(size_t front) { return (kShapedBlockBytes - front + kStepBytes - 1) / kStepBytes; }

// The eight bytes that start the front: byte i of the front is byte (i − front) mod 4 of the word,
// so the pattern at byte 0 is the word turned by that many bytes, twice.
uint64_t front_pattern(const uint8_t* out, size_t front) {
    uint32_t word;
    std::memcpy(&word, out + front, 4);
    word = shaped_word(word);
    const unsigned turn = 8 * static_cast<unsigned>((4 - front % 4) % 4);
    const uint32_t first = turn == 0 ? word : word >> turn | word << (32 - turn);
    return static_cast<uint64_t>(first) << 32 | first;
}

// The front reaches the random part's fifth byte: its first four are the word itself.
void repeat_baseline(uint8_t* out, uint64_t pattern, size_t end) {
    size_t i = 0;
    for (; i + 8 <= end; i += 8)
        std::memcpy(out + i, &pattern, 8);
    std::memcpy(out + i, &pattern, end - i);
}

#if PELMORA_AVX2_PATHS
// A whole register of the pattern per store: the front is most of a block at low percentages.
__attribute__((target("avx2"))) void repeat_avx2(uint8_t* out, uint64_t pattern, size_t end) {
    const __m256i lanes = _mm256_set1_epi64x(static_cast<long long>(pattern));
    size_t i = 0;
    for (; i + 32 <= end; i += 32)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), lanes);
    repeat_baseline(out + i, pattern, end - i);
}
#endif

template <void (*Repeat)(uint8_t*, uint64_t, size_t)>
void block_with(uint64_t key, int32_t random_bytes, uint64_t index, uint8_t* out) {
    const size_t front = front_of(random_bytes);
    // The lanes step as often as the random part needs and end where the block ends.
    const size_t steps = steps_of(front);
    RandomLanes lanes = seeded_lanes(lanes_state(key, index));
    random_steps(lanes, out + kShapedBlockBytes - steps * kStepBytes, steps);
    if (front > 0)
        Repeat(out, front_pattern(out, front), front + 4);
}

} // namespace

void shaped_block(uint64_t key, int32_t random_bytes, uint64_t index, uint8_t* out) {
    static const ShapedBlockPath run = shaped_block_paths().back().run;
    run(key, random_bytes, index, out);
}

std::vector<CodePath<ShapedBlockPath>> shaped_block_paths() {
    return runnable_paths<ShapedBlockPath>(block_with<repeat_baseline>,
                                           PELMORA_AVX2_PATH(block_with<repeat_avx2>));
}

void shaped_block_reference(uint64_t key, int32_t random_bytes, uint64_t index, uint8_t* out) {
    uint64_t state = lanes_state(key, index);
    RandomLanes lanes;
    for (int l = 0; l < kRandomLanes; ++l) {
        Sfc64 generator{0, 0, 0, 1};
        generator.a = splitmix64_next(state);
        generator.b = splitmix64_next(state);
        generator.c = splitmix64_next(state);
        for (int k = 0; k < 12; ++k)
            generator.next();
        lanes.set_lane(l, generator);
    }
    uint8_t chunk[kShapedBlockBytes];
    random_fill_reference(lanes, chunk, 1);
    const size_t front = front_of(random_bytes);
    const size_t made = steps_of(front) * kStepBytes;
    std::memcpy(out + kShapedBlockBytes - made, chunk, made);
    if (front == 0)
        return;
    uint8_t word[4];
    std::memcpy(word, out + front, 4);
    if (word[0] == word[1] && word[1] == word[2] && word[2] == word[3])
        word[3] = static_cast<uint8_t>(~word[3]);
    for (size_t i = 0; i < front + 4; ++i)
        out[i] = word[(i + 4 - front % 4) % 4];
}

uint64_t shaped_copies(uint64_t blocks, int32_t dedupe) {
    if (blocks == 0)
        return 0;
    return std::min(blocks - 1, (blocks * static_cast<uint64_t>(dedupe) + 50) / 100);
}

namespace {

// The place of unique unit j (from 0). Unique unit j is the first unit whose prefix holds j + 1
// unique ones. Past the first unit, where the cap no longer binds, that prefix is
// x − round(x × dedupe / 100) long, which solves to unit (100 j + 50) / (100 − dedupe).
uint64_t unique_place(uint64_t j, int32_t dedupe) {
    return j == 0 ? 0 : (100 * j + 50) / static_cast<uint64_t>(100 - dedupe);
}

// One of the `uniques` unique units, evenly, drawn through `key` at `place`.
uint64_t draw_unique(uint64_t key, uint64_t place, uint64_t uniques) {
    uint64_t state = key + place * kSplitmix64Gamma;
    return splitmix64_next(state) % uniques;
}

} // namespace

uint64_t shaped_source(uint64_t key, int32_t dedupe, uint64_t index) {
    const uint64_t before = shaped_copies(index, dedupe);
    if (shaped_copies(index + 1, dedupe) == before)
        return index;
    return unique_place(draw_unique(key, index, index - before), dedupe);
}

uint64_t shaped_unit_source(uint64_t key, int32_t dedupe, uint64_t index) {
    // Each step lands on an earlier unit, so this ends; it takes a few steps when the stretch it
    // repeats holds copies itself.
    for (;;) {
        const uint64_t before = shaped_copies(index, dedupe);
        if (shaped_copies(index + 1, dedupe) == before)
            return index;
        const uint64_t uniques = index - before;
        const uint64_t start = unique_place(uniques - 1, dedupe) + 1; // the stretch's first copy
        index = unique_place(draw_unique(key, start, uniques), dedupe) + (index - start);
    }
}

DataShape shape_in_range(DataShape shape) {
    shape.compress = std::clamp(shape.compress, kLeastCompress, kMostCompress);
    shape.dedupe = std::clamp(shape.dedupe, 0, kMostDedupe);
    if (shape.dedupe == 0 || (shape.unit != kDedupeUnitFile &&
                              (shape.unit < kDedupeUnitSmallest || shape.unit > kDedupeUnitLargest)))
        shape.unit = kDedupeUnitSmallest;
    return shape;
}

std::string dedupe_unit_text(int32_t unit) {
    if (unit == kDedupeUnitFile)
        return "file";
    return unit < 20 ? std::to_string(uint64_t{1} << (unit - 10)) + "K"
                     : std::to_string(uint64_t{1} << (unit - 20)) + "M";
}

std::optional<int32_t> parse_dedupe_unit(std::string_view text) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    std::string word;
    for (const char c : text)
        word += lower(c);
    if (word == "file")
        return kDedupeUnitFile;
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < word.size() && digits < 9 && word[digits] >= '0' && word[digits] <= '9')
        value = value * 10 + static_cast<uint64_t>(word[digits++] - '0');
    const std::string_view suffix = std::string_view(word).substr(digits);
    if (digits == 0 || word[0] == '0')
        return std::nullopt;
    if (suffix == "k" || suffix == "kib")
        value <<= 10;
    else if (suffix == "m" || suffix == "mib")
        value <<= 20;
    else if (!suffix.empty())
        return std::nullopt;
    for (int32_t unit = kDedupeUnitSmallest; unit <= kDedupeUnitLargest; ++unit)
        if (value == uint64_t{1} << unit)
            return unit;
    return std::nullopt;
}

namespace {

uint64_t dedupe_key_of(uint64_t seed) { return key_from(seed + (uint64_t{1} << 63)); }

} // namespace

int32_t shaped_source_file(uint64_t seed, DataShape shape, int32_t number) {
    const DataShape kept = shape_in_range(shape);
    if (kept.unit != kDedupeUnitFile)
        return number;
    return static_cast<int32_t>(
        shaped_source(dedupe_key_of(seed), kept.dedupe, static_cast<uint64_t>(number - 1)) + 1);
}

int32_t shaped_unit_bits(DataShape shape) {
    const DataShape kept = shape_in_range(shape);
    return kept.unit == kDedupeUnitFile ? kDedupeUnitSmallest : kept.unit;
}

ShapedFileData::ShapedFileData(uint64_t seed, DataShape shape, Source source, uint64_t file_bytes)
    : data_key_(key_from(
          seed + (static_cast<uint64_t>(std::clamp(shape.compress, kLeastCompress, kMostCompress)) << 50))),
      dedupe_key_(dedupe_key_of(seed)), random_bytes_(shaped_random_bytes(shape.compress)),
      dedupe_(std::clamp(shape.dedupe, 0, kMostDedupe)), unit_shift_(0),
      file_blocks_(file_bytes / kShapedBlockBytes), file_units_(file_blocks_), first_unit_(0),
      number_(source.number) {
    const DataShape kept = shape_in_range(shape);
    if (kept.unit == kDedupeUnitFile) {
        // A copy is its source file through and through: that file's data, without copies.
        dedupe_ = 0;
    } else if (kept.unit > kDedupeUnitSmallest) {
        unit_shift_ = kept.unit - kDedupeUnitSmallest;
        file_units_ = file_bytes >> kept.unit;
    }
}

ShapedFileData::ShapedFileData(uint64_t seed, DataShape shape, uint64_t file_bytes, int32_t number)
    : ShapedFileData(seed, shape, Source{shaped_source_file(seed, shape, number)}, file_bytes) {
    first_unit_ = static_cast<uint64_t>(number_ - 1) * file_units_;
}

ShapedFileData::ShapedFileData(uint64_t seed, DataShape shape, int32_t source, uint64_t file_bytes,
                               uint64_t first_unit)
    : ShapedFileData(seed, shape, Source{source}, file_bytes) {
    first_unit_ = first_unit;
}

uint64_t ShapedFileData::unit_source(uint64_t unit) const {
    return unit_shift_ == 0 ? shaped_source(dedupe_key_, dedupe_, first_unit_ + unit)
                            : shaped_unit_source(dedupe_key_, dedupe_, first_unit_ + unit);
}

uint64_t ShapedFileData::source(uint64_t chunk) const {
    const uint64_t unit = chunk >> unit_shift_;
    if (unit < file_units_) {
        const uint64_t within = chunk & ((uint64_t{1} << unit_shift_) - 1);
        return (unit_source(unit) << unit_shift_) + within;
    }
    return kTailBase + (static_cast<uint64_t>(static_cast<uint32_t>(number_)) << kTailBits) +
           (chunk - (file_units_ << unit_shift_));
}

void ShapedFileData::fill(uint64_t first, uint8_t* out, size_t chunks) const {
    // A unit's source is found once for all of its blocks.
    uint64_t unit = ~uint64_t{0};
    uint64_t base = 0;
    for (size_t k = 0; k < chunks; ++k) {
        const uint64_t chunk = first + k;
        uint64_t place;
        if (unit_shift_ == 0 || chunk >> unit_shift_ >= file_units_) {
            place = source(chunk);
        } else {
            if (chunk >> unit_shift_ != unit) {
                unit = chunk >> unit_shift_;
                base = unit_source(unit) << unit_shift_;
            }
            place = base + (chunk & ((uint64_t{1} << unit_shift_) - 1));
        }
        shaped_block(data_key_, random_bytes_, place, out + k * kShapedBlockBytes);
    }
}
