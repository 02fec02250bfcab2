// Tests of shaped random data: the block against its reference and the layout compressors see,
// the placement of the copies (exact for every prefix of a run), and one file's share of a run,
// counted the way a dedupe engine counts: by the contents of each 4 KB block.
#include "core/run/shaped.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/run/random.h"

namespace {

std::string block_at(const std::vector<uint8_t>& bytes, size_t block) {
    return std::string(reinterpret_cast<const char*>(bytes.data()) + block * kShapedBlockBytes,
                       kShapedBlockBytes);
}

TEST(ShapedBlock, EveryPathMatchesTheReference) {
    auto paths = shaped_block_paths();
    paths.push_back({"chosen", shaped_block});
    // Random parts of every length class: the least (4), below, at and above a step of 64 bytes,
    // the calibrated ones, a block less one byte and a whole block.
    const int32_t lengths[] = {4, 5, 7, 63, 64, 65, 386, 993, 2017, 3041, 3656, 4095, 4096};
    const uint64_t indices[] = {0, 1, 77, (uint64_t{1} << 45) - 1, (uint64_t{1} << 47) + (uint64_t{9} << 30)};
    for (const auto& path : paths)
        for (const int32_t length : lengths)
            for (const uint64_t index : indices) {
                SCOPED_TRACE(std::string(path.name) + ", " + std::to_string(length) +
                             " random bytes, block " + std::to_string(index));
                std::vector<uint8_t> fast(kShapedBlockBytes, 0xAA), slow(kShapedBlockBytes, 0x55);
                path.run(0x0123456789ABCDEFu, length, index, fast.data());
                shaped_block_reference(0x0123456789ABCDEFu, length, index, slow.data());
                ASSERT_EQ(fast, slow);
            }
}

TEST(ShapedBlock, TheFrontRepeatsFourBytesRightUpToTheRandomPart) {
    for (const int32_t compress : {1, 10, 25, 50, 75, 90, 99}) {
        SCOPED_TRACE("compress " + std::to_string(compress));
        const int32_t random_bytes = shaped_random_bytes(compress);
        const size_t front = kShapedBlockBytes - static_cast<size_t>(random_bytes);
        std::vector<uint8_t> block(kShapedBlockBytes);
        for (uint64_t index = 0; index < 20; ++index) {
            shaped_block(42, random_bytes, index, block.data());
            // Period 4 from the first byte through the random part's first four.
            for (size_t i = 0; i < front; ++i)
                ASSERT_EQ(block[i], block[front + (i + 4 - front % 4) % 4]) << "byte " << i;
            const bool alike = block[front] == block[front + 1] && block[front + 1] == block[front + 2] &&
                               block[front + 2] == block[front + 3];
            EXPECT_FALSE(alike) << "a run of one byte value";
            // Another block of the stream starts differently: the word comes from the lanes.
            std::vector<uint8_t> next(kShapedBlockBytes);
            shaped_block(42, random_bytes, index + 1, next.data());
            EXPECT_NE(block, next);
        }
    }
}

TEST(ShapedWord, OnlyAWordOfFourAlikeBytesChanges) {
    const struct {
        uint32_t word, expected;
    } cases[] = {
        {0x00000000u, 0xFF000000u}, {0x41414141u, 0xBE414141u}, {0xFFFFFFFFu, 0x00FFFFFFu},
        {0x41414142u, 0x41414142u}, {0x42414141u, 0x42414141u}, {0x12345678u, 0x12345678u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shaped_word(c.word), c.expected) << std::hex << c.word;
}

TEST(ShapedRandomBytes, CalibratedLengthsRiseWithTheTarget) {
    // Files on disk depend on these: a change makes every shaped file written before fail verify.
    const struct {
        int32_t compress, random_bytes;
    } cases[] = {{1, 25},    {2, 65},    {10, 386},  {25, 993},  {50, 2017},
                 {75, 3041}, {90, 3656}, {99, 4024}, {100, 4096}};
    for (const auto& c : cases)
        EXPECT_EQ(shaped_random_bytes(c.compress), c.random_bytes) << c.compress << " %";
    for (int32_t compress = 2; compress <= 100; ++compress)
        EXPECT_GT(shaped_random_bytes(compress), shaped_random_bytes(compress - 1)) << compress << " %";
}

TEST(ShapedCopies, ExactForEveryPrefixAndEverySourceIsAnEarlierUniqueBlock) {
    const struct {
        uint64_t blocks, expected;
        int32_t dedupe;
    } counts[] = {
        {1, 0, 99},
        {2, 1, 50},
        {50, 49, 99},
        {51, 50, 99},
        {1025, 103, 10},
        {1025, 308, 30},
        {1025, 513, 50},
        {1025, 923, 90},
        {3000, 900, 30},
        {16384, 14746, 90},
        {16384, 1638, 10},
        {16384, 0, 0},
        {uint64_t{1} << 45, ((uint64_t{1} << 45) * 99 + 50) / 100, 99},
    };
    for (const auto& c : counts)
        EXPECT_EQ(shaped_copies(c.blocks, c.dedupe), c.expected)
            << c.blocks << " blocks, " << c.dedupe << " %";

    for (const int32_t dedupe : {0, 1, 10, 30, 49, 50, 51, 90, 99}) {
        SCOPED_TRACE(std::to_string(dedupe) + " %");
        uint64_t copies = 0;
        for (uint64_t index = 0; index < 5000; ++index) {
            const uint64_t source = shaped_source(0xDEDE, dedupe, index);
            if (source != index) {
                ++copies;
                ASSERT_LT(source, index);
                ASSERT_EQ(shaped_source(0xDEDE, dedupe, source), source) << "a copy of a copy";
            }
            ASSERT_EQ(copies, shaped_copies(index + 1, dedupe)) << "after block " << index;
        }
    }
    // Far into a large run the placement holds as well.
    const uint64_t far = (uint64_t{1} << 45) - 1000;
    for (uint64_t index = far; index < far + 1000; ++index) {
        const uint64_t source = shaped_source(7, 30, index);
        const bool copy = shaped_copies(index + 1, 30) > shaped_copies(index, 30);
        ASSERT_EQ(source != index, copy);
        if (copy) {
            ASSERT_LT(source, index);
            ASSERT_EQ(shaped_source(7, 30, source), source);
        }
    }
}

TEST(ShapedFileData, DuplicateBlocksAreExactlyTheRunsCopies) {
    const struct {
        int32_t count, size_kb, compress, dedupe;
    } runs[] = {
        {1, 4100, 40, 30},                                     // 1,025 blocks: 307.5 copies round to 308
        {1, 4100, 100, 90}, {100, 13, 25, 50},                 // three whole blocks and a short one per file
        {7, 64, 90, 99},    {30, 4, 10, 0},    {1, 4, 50, 99}, // one block: nothing before it to copy
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(std::to_string(r.count) + " x " + std::to_string(r.size_kb) + " KB, " +
                     std::to_string(r.compress) + " %, " + std::to_string(r.dedupe) + " % copies");
        const uint64_t file_bytes = static_cast<uint64_t>(r.size_kb) * 1024;
        const size_t chunks = (file_bytes + kShapedBlockBytes - 1) / kShapedBlockBytes;
        const size_t whole = file_bytes / kShapedBlockBytes;
        std::set<std::string> seen;
        uint64_t duplicates = 0;
        std::set<std::string> short_blocks;
        for (int32_t number = 1; number <= r.count; ++number) {
            std::vector<uint8_t> bytes(chunks * kShapedBlockBytes);
            ShapedFileData(99, {r.compress, r.dedupe}, file_bytes, number).fill(0, bytes.data(), chunks);
            for (size_t block = 0; block < whole; ++block)
                duplicates += !seen.insert(block_at(bytes, block)).second;
            if (whole < chunks)
                short_blocks.insert(std::string(reinterpret_cast<const char*>(bytes.data()) + whole * 4096,
                                                file_bytes - whole * kShapedBlockBytes));
        }
        const uint64_t blocks = static_cast<uint64_t>(r.count) * whole;
        EXPECT_EQ(duplicates, shaped_copies(blocks, r.dedupe));
        EXPECT_EQ(seen.size(), blocks - shaped_copies(blocks, r.dedupe));
        if (whole * kShapedBlockBytes < file_bytes) {
            EXPECT_EQ(short_blocks.size(), static_cast<size_t>(r.count)) << "short blocks are unique";
        }
    }
}

TEST(ShapedFileData, AnyPieceOfAnyFileIsTheSameOnItsOwn) {
    const DataShape shape{30, 60};
    const uint64_t file_bytes = 301 * 1024; // 75 whole blocks and a short one
    const size_t chunks = 76;
    std::vector<std::vector<uint8_t>> files;
    for (int32_t number = 1; number <= 3; ++number) {
        files.emplace_back(chunks * kShapedBlockBytes);
        ShapedFileData(5, shape, file_bytes, number).fill(0, files.back().data(), chunks);
    }
    // Pieces in a scattered order, each made by a fresh object, as threads or machines would.
    std::mt19937 pick(1);
    for (int k = 0; k < 200; ++k) {
        const int32_t number = 1 + static_cast<int32_t>(pick() % 3);
        const size_t first = pick() % chunks;
        const size_t count = 1 + pick() % (chunks - first);
        std::vector<uint8_t> piece(count * kShapedBlockBytes);
        ShapedFileData(5, shape, file_bytes, number).fill(first, piece.data(), count);
        ASSERT_TRUE(
            std::equal(piece.begin(), piece.end(), files[number - 1].begin() + first * kShapedBlockBytes))
            << "file " << number << ", chunks " << first << "+" << count;
    }
    // A copy carries its source's data, wherever in the run that is.
    const ShapedFileData third(5, shape, file_bytes, 3);
    int copies = 0;
    for (size_t chunk = 0; chunk < 75; ++chunk) {
        const uint64_t source = third.source(chunk);
        if (source == 2 * 75 + chunk)
            continue;
        ++copies;
        ASSERT_EQ(block_at(files[2], chunk), block_at(files[source / 75], source % 75)) << "chunk " << chunk;
    }
    EXPECT_GT(copies, 30);
}

TEST(ShapedFileData, SeedAndTargetChangeTheData) {
    const uint64_t file_bytes = 64 * 1024;
    const auto data = [&](uint64_t seed, DataShape shape, int32_t number) {
        std::vector<uint8_t> bytes(16 * kShapedBlockBytes);
        ShapedFileData(seed, shape, file_bytes, number).fill(0, bytes.data(), 16);
        return bytes;
    };
    const auto base = data(1, {40, 0}, 1);
    EXPECT_EQ(data(1, {40, 0}, 1), base);
    EXPECT_NE(data(2, {40, 0}, 1), base);
    EXPECT_NE(data(1, {41, 0}, 1), base);
    EXPECT_NE(data(1, {40, 0}, 2), base);
    // The copies replace blocks; the unique blocks stay what they were without copies.
    const auto with_copies = data(1, {40, 50}, 1);
    const ShapedFileData placed(1, {40, 50}, file_bytes, 1);
    for (size_t block = 0; block < 16; ++block)
        if (placed.source(block) == block) {
            EXPECT_EQ(block_at(with_copies, block), block_at(base, block)) << "block " << block;
        }
}

} // namespace

namespace {

// The bytes of files 1 to `count` of a shaped run, each whole.
std::vector<std::vector<uint8_t>> run_files(uint64_t seed, DataShape shape, uint64_t file_bytes,
                                            int32_t count) {
    const size_t chunks = (file_bytes + kShapedBlockBytes - 1) / kShapedBlockBytes;
    std::vector<std::vector<uint8_t>> files;
    for (int32_t number = 1; number <= count; ++number) {
        files.emplace_back(chunks * kShapedBlockBytes);
        ShapedFileData(seed, shape, file_bytes, number).fill(0, files.back().data(), chunks);
        files.back().resize(file_bytes);
    }
    return files;
}

} // namespace

TEST(ShapedUnits, CopiesAreWholeUnitsExactForEveryPrefixAndShortUnitsAreUnique) {
    const struct {
        int32_t unit, count;
        uint64_t file_bytes;
        int32_t dedupe;
    } runs[] = {
        {13, 3, 301 * 1024, 30},               // 8 KiB: 37 whole units and a short one of 5 KiB per file
        {14, 5, 64 * 1024, 50},                // 16 KiB, four units per file and none short
        {17, 2, (2 << 20) + 4096, 90},         // 128 KiB: 16 whole units and a short one of one block
        {17, 40, 100 * 1024, 60},              // files shorter than the unit: all unique
        {16, 7, 1 << 20, 99},                  // 64 KiB, nearly all copies
        {20, 1, 24 << 20, 30},                 // 1 MiB, one file: 7.2 copies round to 7
        {20, 3, (5 << 20) + 3000, 50},         // 1 MiB, a short unit that ends in a short block
        {kDedupeUnitLargest, 1, 64 << 20, 50}, // 64 MiB: one unit, nothing before it to copy
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(std::to_string(r.count) + " x " + std::to_string(r.file_bytes) + " bytes, unit " +
                     dedupe_unit_text(r.unit) + ", " + std::to_string(r.dedupe) + " % copies");
        const DataShape shape{70, r.dedupe, r.unit};
        const uint64_t unit_bytes = uint64_t{1} << r.unit;
        const uint64_t whole = r.file_bytes / unit_bytes;
        // Every whole unit in the run's order: a copy repeats one seen before, and there are
        // round(D % × n) of them among the first n, for every n.
        std::set<std::string> seen;
        uint64_t units = 0, copies = 0;
        std::vector<std::string> short_units;
        std::set<std::string> blocks;
        uint64_t duplicate_blocks = 0;
        for (const auto& file : run_files(3, shape, r.file_bytes, r.count)) {
            const auto* bytes = reinterpret_cast<const char*>(file.data());
            for (uint64_t k = 0; k < whole; ++k) {
                copies += !seen.emplace(bytes + k * unit_bytes, unit_bytes).second;
                ++units;
                ASSERT_EQ(copies, shaped_copies(units, r.dedupe)) << "after unit " << units - 1;
            }
            if (whole * unit_bytes < r.file_bytes)
                short_units.emplace_back(bytes + whole * unit_bytes, r.file_bytes - whole * unit_bytes);
            for (uint64_t b = 0; b + kShapedBlockBytes <= r.file_bytes; b += kShapedBlockBytes)
                duplicate_blocks += !blocks.emplace(bytes + b, kShapedBlockBytes).second;
        }
        EXPECT_EQ(units, static_cast<uint64_t>(r.count) * whole);
        // Blocks of any size that divides the unit repeat exactly as often as the units do.
        EXPECT_EQ(duplicate_blocks, copies * (unit_bytes / kShapedBlockBytes));
        for (const std::string& piece : short_units) {
            const size_t found = std::count_if(short_units.begin(), short_units.end(),
                                               [&](const std::string& other) { return other == piece; });
            EXPECT_EQ(found, 1u) << "a short unit is unique";
            if (piece.size() >= kShapedBlockBytes) {
                EXPECT_EQ(blocks.count(piece.substr(0, kShapedBlockBytes)), 1u) << "its first block too";
            }
        }
    }
}

TEST(ShapedUnits, AStretchOfCopiesRepeatsAStretchOfTheRunFromAnEarlierUniqueUnit) {
    for (const int32_t dedupe : {1, 30, 50, 75, 90, 99}) {
        SCOPED_TRACE(std::to_string(dedupe) + " %");
        uint64_t copies = 0;
        uint64_t start = 0; // the first copy of the stretch the loop is in
        for (uint64_t index = 0; index < 6000; ++index) {
            const uint64_t source = shaped_unit_source(0xD0D0, dedupe, index);
            const bool copy = shaped_copies(index + 1, dedupe) > shaped_copies(index, dedupe);
            ASSERT_EQ(source != index, copy) << "unit " << index;
            if (!copy) {
                start = index + 1;
                continue;
            }
            ++copies;
            ASSERT_LT(source, index);
            ASSERT_EQ(shaped_unit_source(0xD0D0, dedupe, source), source) << "a copy of a copy";
            // The stretch carries what the run carries from the unique unit its first copy repeats.
            const uint64_t from = shaped_unit_source(0xD0D0, dedupe, start);
            ASSERT_EQ(shaped_unit_source(0xD0D0, dedupe, from + (index - start)), source)
                << "unit " << index << " in the stretch from " << start;
        }
        EXPECT_EQ(copies, shaped_copies(6000, dedupe));
    }
}

TEST(ShapedUnits, WholeFilesAreCopiesOfEarlierUniqueFilesAtAnySize) {
    // Less than a block, one block, blocks and a short one, a file of 1 MiB and a bit.
    for (const uint64_t file_bytes :
         {uint64_t{1000}, uint64_t{4096}, uint64_t{13 * 1024}, uint64_t{(1 << 20) + 5}}) {
        for (const int32_t dedupe : {10, 50, 90}) {
            SCOPED_TRACE(std::to_string(file_bytes) + " bytes, " + std::to_string(dedupe) + " % copies");
            constexpr int32_t kCount = 40;
            const DataShape shape{45, dedupe, kDedupeUnitFile};
            const auto files = run_files(8, shape, file_bytes, kCount);
            // Without copies the same files, each its own: a unique file is that, and a copy is
            // the file it names as its source.
            const auto alone = run_files(8, {45, 0}, file_bytes, kCount);
            std::set<std::string> seen;
            uint64_t copies = 0;
            for (int32_t number = 1; number <= kCount; ++number) {
                const auto& file = files[static_cast<size_t>(number - 1)];
                copies += !seen.emplace(file.begin(), file.end()).second;
                ASSERT_EQ(copies, shaped_copies(static_cast<uint64_t>(number), dedupe)) << "file " << number;
                const int32_t source = ShapedFileData(8, shape, file_bytes, number).source_file();
                ASSERT_LE(source, number);
                ASSERT_EQ(ShapedFileData(8, shape, file_bytes, source).source_file(), source);
                ASSERT_TRUE(file == alone[static_cast<size_t>(source - 1)]) << "file " << number;
            }
        }
    }
}

TEST(ShapedUnits, UnitsSpelledAndReadBack) {
    const struct {
        const char* text;
        std::optional<int32_t> unit;
    } cases[] = {
        {"4K", 12},  {"4k", 12},         {"4096", 12},        {"8KiB", 13},     {"128K", 17},
        {"1M", 20},  {"1048576", 20},    {"16m", 24},         {"64M", 26},      {"file", 0},
        {"FILE", 0}, {"2K", {}},         {"128M", {}},        {"3M", {}},       {"", {}},
        {"K", {}},   {"04K", {}},        {"1G", {}},          {"1 M", {}},      {"files", {}},
        {"-4K", {}}, {"4294967296", {}}, {"99999999999", {}}, {"1048576K", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse_dedupe_unit(c.text), c.unit) << c.text;
    for (int32_t unit = kDedupeUnitSmallest; unit <= kDedupeUnitLargest; ++unit)
        EXPECT_EQ(parse_dedupe_unit(dedupe_unit_text(unit)), unit) << dedupe_unit_text(unit);
    EXPECT_EQ(dedupe_unit_text(17), "128K");
    EXPECT_EQ(dedupe_unit_text(kDedupeUnitFile), "file");
    // Without copies the unit changes nothing and is 4K; out of range, 4K too.
    EXPECT_EQ(shape_in_range({40, 0, 20}), (DataShape{40, 0, 12}));
    EXPECT_EQ(shape_in_range({40, 30, 20}), (DataShape{40, 30, 20}));
    EXPECT_EQ(shape_in_range({0, 120, 27}), (DataShape{1, 99, 12}));
    EXPECT_EQ(shape_in_range({50, 5, kDedupeUnitFile}), (DataShape{50, 5, kDedupeUnitFile}));
}
