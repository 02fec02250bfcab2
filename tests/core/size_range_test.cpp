// Tests of sizes over a range: the draw, the marks in names, where the data of files of differing
// sizes lies along the run, and runs of them written by one job, several and shards, checked, and
// damaged.
#include "core/run/size_range.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/base/text.h"
#include "core/run/file_content.h"
#include "core/run/file_reader.h"
#include "core/run/lcg.h"
#include "core/run/names.h"
#include "core/run/random.h"
#include "core/run/run.h"
#include "core/run/run_flags.h"
#include "core/run/verify.h"
#include "tests/core/run_fixtures.h"

namespace {

namespace fs = std::filesystem;

// Worked out apart from this code, with Python's decimal module at 60 digits:
//   u = Decimal(fraction) / 2**64
//   int(Decimal(low) * ((Decimal(high + 1) / low).ln() * u).exp())
// The comment is the exact value's distance above the integer: none is so close to one that a
// fixed-point rounding could fall on the other side, except the one marked.
TEST(SizeDraw, LogSpreadIsTheInverseWorkedOutApart) {
    const struct {
        uint64_t low, high, fraction, size;
    } cases[] = {
        {1, 1048575, 0x0000000000000000ULL, 1},                      // 0: the low end itself
        {1, 1048575, 0xFFFFFFFFFFFFFFFFULL, 1048575},                // 0.999999999999: never past high
        {4, 1024, 0x8000000000000000ULL, 64},                        // 0.031242374328
        {4, 1024, 0x123456789ABCDEF0ULL, 5},                         // 0.933934602901
        {1000, 2000000000, 0xFEDCBA9876543210ULL, 1875104249},       // 0.809942798115
        {1, 2147483647, 0xDEADBEEFCAFEBABEULL, 131000600},           // 0.840417588935
        {3, 5, 0xAAAAAAAAAAAAAAAAULL, 4},                            // 0.762203155905
        {7, 2147483647, 0x5555555555555555ULL, 4721},                // 0.086763067849
        {1, 2, 0xC7859FAEECC3F80CULL, 2},                            // 0.354290474375
        {1, 3, 0x4A37FA2DF2D7D40FULL, 1},                            // 0.494676522492
        {16, 17, 0xD46375DCE47682E6ULL, 17},                         // 0.642425683230
        {100, 1000000, 0x045F21DA156393D8ULL, 117},                  // 0.032482707402
        {1, 2147483647, 0x4E86C4FA978F18A7ULL, 728},                 // 0.639540367976
        {4096, 1048576, 0x611244C06C7AB5C9ULL, 33537},               // 0.338243391386
        {2147483646, 2147483647, 0x5BAB1EEC87B3D90EULL, 2147483646}, // 0.716159692067
        {5, 6000, 0xB9D8249E215B8892ULL, 859},                       // 0.740741953310
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.low) + "-" + std::to_string(c.high) + " at " +
                     std::to_string(c.fraction));
        EXPECT_EQ(SizeDraw({c.low, c.high, SizeSpread::log}, 0).at(c.fraction), c.size);
    }
}

// low + (fraction × (high − low + 1) >> 64), by Python's integers.
TEST(SizeDraw, UniformSpreadTakesTheHighBitsOfTheProduct) {
    const struct {
        uint64_t low, high, fraction, size;
    } cases[] = {
        {0, 1, 0x447324943126B9C3ULL, 0},     {0, 1, 0x8000000000000000ULL, 1},
        {0, 1023, 0x039A7B8871CF92E3ULL, 14}, {5, 9, 0x9EC2D776389605FEULL, 8},
        {5, 9, 0xFFFFFFFFFFFFFFFFULL, 9},     {0, 2147483647, 0xE6D30F0A747D0A2BULL, 1936295813},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SizeDraw({c.low, c.high, SizeSpread::uniform}, 0).at(c.fraction), c.size)
            << c.low << "-" << c.high << " at " << c.fraction;
}

// The sizes of a run are part of what its name promises: the same on every platform and with
// every compiler, now and later. These are the first files of the run `pelmora-cli -s 4K-1M
// --seed 5` made (and of the same tag with 0-64K uniform).
TEST(SizeDraw, TheTagAndTheNumberFixEverySize) {
    const std::optional<uint64_t> tag = tag_number(u"3734336137578042");
    ASSERT_TRUE(tag.has_value());
    EXPECT_EQ(*tag, 786673248617306u);
    const SizeDraw log({4, 1024, SizeSpread::log}, *tag);
    const SizeDraw uniform({0, 64, SizeSpread::uniform}, *tag);
    const std::array<uint64_t, 6> log_sizes = {211, 73, 5, 31, 579, 15};
    const std::array<uint64_t, 6> uniform_sizes = {46, 34, 4, 24, 58, 15};
    for (uint64_t n = 1; n <= 6; ++n) {
        EXPECT_EQ(log.kilobytes(n), log_sizes[n - 1]) << "file " << n;
        EXPECT_EQ(uniform.kilobytes(n), uniform_sizes[n - 1]) << "file " << n;
    }
    // Another tag gives other sizes.
    const SizeDraw other({4, 1024, SizeSpread::log}, *tag + 1);
    int same = 0;
    for (uint64_t n = 1; n <= 100; ++n)
        same += other.kilobytes(n) == log.kilobytes(n);
    EXPECT_LT(same, 10);
    EXPECT_FALSE(tag_number(u"3734336137578049").has_value()) << "a 9 is no digit of a tag";
    EXPECT_FALSE(tag_number(u"373433613757804").has_value());
}

TEST(SizeDraw, EverySizeIsWithinTheRangeAndBothEndsAreReached) {
    const SizeRange ranges[] = {
        {0, 1, SizeSpread::uniform},      {1, 2, SizeSpread::log},
        {3, 5, SizeSpread::log},          {3, 5, SizeSpread::uniform},
        {4, 1048576, SizeSpread::log},    {0, 2147483647, SizeSpread::uniform},
        {1, 2147483647, SizeSpread::log}, {2147483646, 2147483647, SizeSpread::log},
    };
    for (const SizeRange& range : ranges) {
        SCOPED_TRACE(to_utf8(size_range_mark(range)));
        const SizeDraw draw(range, 4242);
        bool low_seen = false;
        bool high_seen = false;
        for (uint64_t n = 1; n <= 20000; ++n) {
            const uint64_t size = draw.kilobytes(n);
            ASSERT_GE(size, range.low_kb) << "file " << n;
            ASSERT_LE(size, range.high_kb) << "file " << n;
            low_seen |= size == range.low_kb;
            high_seen |= size == range.high_kb;
        }
        // A narrow range reaches both ends within these files.
        if (range.high_kb - range.low_kb <= 2) {
            EXPECT_TRUE(low_seen);
            EXPECT_TRUE(high_seen);
        }
        EXPECT_EQ(draw.at(0), range.low_kb);
        EXPECT_EQ(draw.at(~uint64_t{0}), range.high_kb);
    }
}

// Log-uniform: as many files in each doubling of the size. 1 KB to 2^20 − 1 KB is 20 doublings
// exactly, 5,000 of 100,000 files each (a standard deviation of 69); the uniform spread, or a
// power that is off, puts far more in the top doublings. Uniform: as many per kilobyte.
TEST(SizeDraw, FilesSpreadEvenlyOverDoublingsOrKilobytes) {
    constexpr int kFiles = 100000;
    const SizeDraw log({1, (uint64_t{1} << 20) - 1, SizeSpread::log}, 77);
    std::array<int, 20> doublings{};
    for (int n = 1; n <= kFiles; ++n)
        ++doublings[static_cast<size_t>(std::bit_width(log.kilobytes(static_cast<uint64_t>(n))) - 1)];
    for (size_t d = 0; d < doublings.size(); ++d)
        EXPECT_NEAR(doublings[d], kFiles / 20, 350) << "sizes from 2^" << d << " KB";

    const SizeDraw uniform({0, 999, SizeSpread::uniform}, 77);
    std::array<int, 10> tenths{};
    for (int n = 1; n <= kFiles; ++n)
        ++tenths[static_cast<size_t>(uniform.kilobytes(static_cast<uint64_t>(n)) / 100)];
    for (size_t t = 0; t < tenths.size(); ++t)
        EXPECT_NEAR(tenths[t], kFiles / 10, 500) << "sizes from " << t * 100 << " KB";
}

TEST(SizeRangeMark, OneMarkPerRangeThatReadsBack) {
    const struct {
        SizeRange range;
        const char16_t* mark;
    } cases[] = {
        {{4, 1024, SizeSpread::log}, u"_s4k-1m"},
        {{0, 64, SizeSpread::uniform}, u"_su0k-64k"},
        {{1, 1025, SizeSpread::log}, u"_s1k-1025k"},
        {{1536, 3 << 20, SizeSpread::log}, u"_s1536k-3g"},
        {{1024, 1073741824, SizeSpread::uniform}, u"_su1m-1t"},
        {{1, 2147483647, SizeSpread::log}, u"_s1k-2147483647k"},
        {{1048576, 2097152, SizeSpread::log}, u"_s1g-2g"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.mark));
        EXPECT_EQ(size_range_mark(c.range), c.mark);
        const std::optional<SizeRange> back = parse_size_range_mark(c.mark);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, c.range);
    }
    // Only the mark as written for a range a run may have.
    for (const char16_t* refused : {u"_s4k-4k",
                                    u"_s1m-4k",
                                    u"_s0k-1m",
                                    u"_s4096k-1m",
                                    u"_s04k-1m",
                                    u"_s4k-1024k",
                                    u"_s4K-1M",
                                    u"_s4k-1mb",
                                    u"_s4k1m",
                                    u"_s-1m",
                                    u"_s4k-",
                                    u"_s4-1m",
                                    u"_sx4k-1m",
                                    u"_sl4k-1m",
                                    u"_su4k-4k",
                                    u"_s1k-2t",
                                    u"_s1k-2147483648k",
                                    u"_s1k-99999999999999999999k",
                                    u"s4k-1m",
                                    u"_s4k-1m_"})
        EXPECT_FALSE(parse_size_range_mark(refused).has_value()) << to_utf8(refused);
}

TEST(SizeRangeMark, NamesCarryTheRangeBeforeTheFillMarkAndReadBack) {
    const std::u16string tag = u"0123456780123456";
    const DataShape shaped{40, 30, 20};
    const struct {
        int32_t type;
        DataShape shape;
        int64_t per_folder;
        bool fill;
        SizeRange sizes;
        const char16_t* name; // of file 1 of 1,000
    } cases[] = {
        {kGeneratorData, {}, 0, false, {4, 1024, SizeSpread::log}, u"non_compressible_s4k-1m__0001_"},
        {kZeros, {}, 0, true, {0, 64, SizeSpread::uniform}, u"maximal_compressible_su0k-64k_fill__0001_"},
        {kRandomData, {}, 0, false, {1, 2, SizeSpread::log}, u"random_s1k-2k__0001_"},
        {kRandomData, shaped, 0, true, {4, 1024, SizeSpread::log}, u"random_c40_d30_u1m_s4k-1m_fill__0001_"},
        {kRandomData,
         shaped,
         100,
         true,
         {4, 1024, SizeSpread::log},
         u"random_c40_d30_u1m_s4k-1m_t100_fill__0001_"},
        {kGeneratorData,
         {},
         10,
         false,
         {1, 2147483647, SizeSpread::log},
         u"non_compressible_s1k-2147483647k_t10__0001_"},
        {kRandomData,
         {40, 30, 0},
         0,
         false,
         {4, 1024, SizeSpread::uniform},
         u"random_c40_d30_ufile_su4k-1m__0001_"},
        // Without a range the names are those runs of one size always had.
        {kGeneratorData, {}, 0, false, {7, 7, SizeSpread::uniform}, u"non_compressible__0001_"},
        {kRandomData, shaped, 100, true, {}, u"random_c40_d30_u1m_t100_fill__0001_"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.name));
        const std::u16string name =
            file_name(c.type, 1000, 1, tag, RunMarks(c.shape, c.per_folder, c.fill, c.sizes));
        EXPECT_EQ(name, c.name + tag + u".file");
        const std::optional<RunFileName> parsed = parse_run_file_name(name);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->files_type, c.type);
        EXPECT_EQ(parsed->marks.shape, c.shape);
        EXPECT_EQ(parsed->marks.fill, c.fill);
        EXPECT_EQ(parsed->marks.per_folder, c.per_folder);
        EXPECT_EQ(parsed->marks.sizes, c.sizes.ranged() ? c.sizes : SizeRange{});
        EXPECT_EQ(parsed->number, 1);
        EXPECT_EQ(parsed->tag, tag);
    }
    for (const char16_t* refused : {
             u"non_compressible_fill_s4k-1m__001_0123456780123456.file", // the fill mark comes last
             u"non_compressible_t100_s4k-1m__001_0123456780123456.file", // so does the tree's
             u"random_s4k-1m_c40_d30__001_0123456780123456.file",        // the shape comes first
             u"non_compressible_s4k-1m_s4k-1m__001_0123456780123456.file",
             u"non_compressible_s4k-4k__001_0123456780123456.file", // one size has no mark
             u"non_compressible_s0k-1m__001_0123456780123456.file", // log-uniform from 0
             u"non_compressible_s4096k-8m__001_0123456780123456.file",
             u"non_compressible_sfill__001_0123456780123456.file",
             u"non_compressible_s__001_0123456780123456.file",
             u"random_c40_d30_s4k-1m_u1m__001_0123456780123456.file",
         })
        EXPECT_FALSE(parse_run_file_name(refused).has_value()) << to_utf8(refused);
}

// The data of a run of differing sizes lies along the run as with one size: generator data's
// sequence runs on from file to file, and shaped data's units are its files' whole units in
// order. Worked out here file by file from the sizes alone, at numbers around the table's steps
// and past the highest number the table was made for.
TEST(SizeLayout, EachFilesPlaceIsTheSumOfTheFilesBeforeIt) {
    const SizeRange range{1, 300, SizeSpread::log};
    const std::u16string tag = u"8765432108765432";
    const SizeDraw draw(range, *tag_number(tag));
    constexpr uint32_t kHighest = 1000;
    const uint32_t numbers[] = {1, 2, 63, 64, 65, 128, 129, 700, 999, 1000, 1001, 1300};

    RunContent generator;
    generator.files_type = kGeneratorData;
    // A table made up to a whole step of files, and one made past it.
    for (const uint32_t highest : {uint32_t{128}, kHighest}) {
        generator.set_sizes(range, tag, highest);
        ASSERT_TRUE(generator.ranged());
        for (const uint32_t number : numbers) {
            uint64_t steps = 0;
            for (uint32_t k = 1; k < number; ++k)
                steps += lcg_file_steps(draw.kilobytes(k) * 1024);
            EXPECT_EQ(generator.generator_steps_before(number), steps) << "file " << number;
            EXPECT_EQ(generator.file_size(number), draw.kilobytes(number) * 1024) << "file " << number;
        }
    }

    const struct {
        const char* what;
        DataShape shape;
        int unit_bits;
    } shapes[] = {{"4 KB units", {40, 30}, 12}, {"64 KB units", {40, 30, 16}, 16}};
    for (const auto& s : shapes) {
        SCOPED_TRACE(s.what);
        RunContent shaped;
        shaped.files_type = kRandomData;
        shaped.shape = s.shape;
        shaped.random_seed = 31337;
        shaped.set_sizes(range, tag, kHighest);
        for (const uint32_t number : numbers) {
            uint64_t units = 0;
            for (uint32_t k = 1; k < number; ++k)
                units += draw.kilobytes(k) * 1024 >> s.unit_bits;
            const uint64_t bytes = draw.kilobytes(number) * 1024;
            const size_t chunks = static_cast<size_t>((bytes + kChunkBytes - 1) / kChunkBytes);
            std::vector<uint8_t> expected(chunks * kChunkBytes);
            std::vector<uint8_t> made(chunks * kChunkBytes);
            ShapedFileData(31337, s.shape, static_cast<int32_t>(number), bytes, units)
                .fill(0, expected.data(), chunks);
            shaped.shaped_file(number).fill(0, made.data(), chunks);
            EXPECT_TRUE(made == expected) << "file " << number;
        }
    }

    // Whole files copied: a copy has its source's size and bytes, a unique file its own.
    RunContent copies;
    copies.files_type = kRandomData;
    copies.shape = {40, 50, kDedupeUnitFile};
    copies.random_seed = 99;
    copies.set_sizes(range, tag, kHighest);
    int copied = 0;
    for (uint32_t number = 1; number <= 200; ++number) {
        const int32_t source = shaped_source_file(99, copies.shape, static_cast<int32_t>(number));
        copied += source != static_cast<int32_t>(number);
        EXPECT_EQ(copies.file_size(number), draw.kilobytes(static_cast<uint32_t>(source)) * 1024);
    }
    EXPECT_EQ(copied, 100);
    EXPECT_EQ(copies.bytes_of_files(3, 5), copies.file_size(3) + copies.file_size(4) + copies.file_size(5));

    // A copy of the content shares its table, and a run of one size has none.
    const RunContent copy = generator;
    EXPECT_EQ(copy.layout.get(), generator.layout.get());
    RunContent one_size;
    one_size.set_sizes({9, 9, SizeSpread::log}, tag, kHighest);
    EXPECT_FALSE(one_size.ranged());
    EXPECT_EQ(one_size.file_size(5), 9u * 1024);
}

std::vector<uint8_t> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file of a folder, by name.
std::map<std::string, std::vector<uint8_t>> folder_bytes(const fs::path& folder) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = read_bytes(entry.path());
    return files;
}

constexpr RunSeeds kSeeds{77, 0x5EED5};

class RangeRun : public ::testing::Test {
protected:
    void SetUp() override {
        run_cancel = false;
        run_busy = false;
    }

    // 70 files: past the table's first step of 64.
    static constexpr int32_t kCount = 70;

    void write(const fs::path& folder, int32_t type, DataShape shape, SizeRange sizes,
               RunOptions options = {}) {
        GenerationSettings s;
        s.files_c = kCount;
        s.files_size = 1;
        s.files_type = type;
        s.shape = shape;
        s.sizes = sizes;
        s.Folder = from_utf8(folder.string());
        RunOutcome outcome;
        ASSERT_EQ(generation_run(s, fs_, kSeeds, options, &outcome), Ended::done);
        written_ += outcome.bytes_written;
    }

    FolderCheck check(const fs::path& folder, RunIntent intent = {}) {
        VerifyOptions options;
        options.intent = intent;
        return verify_folder(from_utf8(folder.string()), *reader_, options);
    }

    PlatformFileSystem fs_;
    std::unique_ptr<FileReader> reader_ = make_file_reader();
    uint64_t written_ = 0;
};

struct RangeCase {
    const char* what;
    int32_t type;
    DataShape shape;
    SizeRange sizes;
};

const RangeCase kRangeCases[] = {
    {"generator data, log-uniform", kGeneratorData, {}, {1, 200, SizeSpread::log}},
    {"generator data, uniform from 0", kGeneratorData, {}, {0, 40, SizeSpread::uniform}},
    {"zeros", kZeros, {}, {1, 100, SizeSpread::uniform}},
    {"random data", kRandomData, {}, {3, 150, SizeSpread::log}},
    {"shaped, 4 KB units", kRandomData, {40, 30}, {1, 200, SizeSpread::log}},
    {"shaped, 16 KB units", kRandomData, {60, 40, 14}, {1, 200, SizeSpread::uniform}},
    {"shaped, whole files", kRandomData, {30, 50, kDedupeUnitFile}, {0, 90, SizeSpread::uniform}},
};

TEST_F(RangeRun, FilesHaveTheirOwnSizesTheRunsBytesAndAreIntact) {
    for (const RangeCase& c : kRangeCases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        written_ = 0;
        write(scratch.path(), c.type, c.shape, c.sizes);
        const std::u16string tag = run_tag(c.type, kSeeds);
        const SizeDraw draw(c.sizes, *tag_number(tag));
        uint32_t generator = static_cast<uint32_t>(kSeeds.data);
        uint64_t bytes = 0;
        std::map<uint64_t, int> sizes_seen;
        std::vector<std::vector<uint8_t>> files;
        for (int32_t n = 1; n <= kCount; ++n) {
            const fs::path path = scratch.path() / fs::path(file_name(c.type, kCount, n, tag,
                                                                      RunMarks(c.shape, 0, false, c.sizes)));
            files.push_back(read_bytes(path));
            const std::vector<uint8_t>& data = files.back();
            int32_t own = n;
            if (c.shape.unit == kDedupeUnitFile) {
                own = shaped_source_file(kSeeds.data % kRandomSeedLimit, c.shape, n);
                if (own != n) {
                    EXPECT_TRUE(data == files[static_cast<size_t>(own - 1)])
                        << "file " << n << " copies " << own;
                }
            }
            ASSERT_EQ(data.size(), draw.kilobytes(static_cast<uint64_t>(own)) * 1024) << "file " << n;
            bytes += data.size();
            ++sizes_seen[data.size()];
            if (c.type == kGeneratorData) {
                // One sequence through all files, each taking whole chunks of it.
                const size_t chunks = (data.size() + kChunkBytes - 1) / kChunkBytes;
                std::vector<uint8_t> expected(chunks * kChunkBytes);
                lcg_fill_reference(generator, expected.data(), chunks);
                EXPECT_TRUE(std::equal(data.begin(), data.end(), expected.begin())) << "file " << n;
            } else if (c.type == kZeros) {
                EXPECT_EQ(std::count(data.begin(), data.end(), 0), static_cast<ptrdiff_t>(data.size()));
            }
        }
        EXPECT_GT(sizes_seen.size(), 20u) << "sizes of their own";
        EXPECT_EQ(written_, bytes);

        const FolderCheck found = check(scratch.path());
        ASSERT_EQ(found.runs.size(), 1u);
        const RunCheck& run = found.runs[0];
        EXPECT_TRUE(run.intact()) << to_utf8(run_pattern(run));
        EXPECT_EQ(run.sizes, c.sizes);
        EXPECT_EQ(run.files_found, static_cast<uint64_t>(kCount));
        EXPECT_EQ(run.range_intact_bytes, bytes);
        // An intended size does not apply to a run whose sizes come from its name.
        EXPECT_TRUE(check(scratch.path(), RunIntent{kCount, 4096}).runs.at(0).intact());
    }
}

TEST_F(RangeRun, JobsAndShardsWriteTheBytesOfOneJob) {
    for (const RangeCase& c : kRangeCases) {
        if (c.type == kZeros)
            continue;
        SCOPED_TRACE(c.what);
        ScratchFolder one;
        write(one.path(), c.type, c.shape, c.sizes);
        const auto expected = folder_bytes(one.path());
        ASSERT_EQ(expected.size(), static_cast<size_t>(kCount));

        ScratchFolder jobs;
        RunOptions several;
        several.jobs = 3;
        write(jobs.path(), c.type, c.shape, c.sizes, several);
        EXPECT_TRUE(folder_bytes(jobs.path()) == expected) << "3 jobs";

        ScratchFolder shards;
        for (const auto& [first, last] : {std::pair{41, 70}, std::pair{1, 40}}) {
            RunOptions shard;
            shard.first = first;
            shard.last = last;
            shard.jobs = 2;
            write(shards.path(), c.type, c.shape, c.sizes, shard);
        }
        EXPECT_TRUE(folder_bytes(shards.path()) == expected) << "two shards";
        // A shard is checked as a shard.
        VerifyOptions scope;
        scope.scope.first = 41;
        scope.scope.last = 70;
        ScratchFolder half;
        RunOptions upper;
        upper.first = 41;
        write(half.path(), c.type, c.shape, c.sizes, upper);
        const FolderCheck found = verify_folder(from_utf8(half.path().string()), *reader_, scope);
        ASSERT_EQ(found.runs.size(), 1u);
        EXPECT_TRUE(found.runs[0].intact());
    }
}

// In a folder tree each file lies in its folder at its own size; the check walks the tree.
TEST_F(RangeRun, ATreeOfFilesOfTheirOwnSizesChecksIntact) {
    const SizeRange sizes{1, 64, SizeSpread::log};
    ScratchFolder flat;
    write(flat.path(), kGeneratorData, {}, sizes);
    ScratchFolder tree;
    RunOptions options;
    options.per_folder = 16;
    options.jobs = 3;
    write(tree.path(), kGeneratorData, {}, sizes, options);
    const std::u16string tag = run_tag(kGeneratorData, kSeeds);
    for (int32_t n = 1; n <= kCount; ++n) {
        std::u16string folder;
        append_tree_path(folder, n, 16, 1, u'/');
        const fs::path in_tree = tree.path() / fs::path(folder + file_name(kGeneratorData, kCount, n, tag,
                                                                           RunMarks({}, 16, false, sizes)));
        const fs::path in_flat =
            flat.path() / fs::path(file_name(kGeneratorData, kCount, n, tag, RunMarks({}, 0, false, sizes)));
        ASSERT_TRUE(read_bytes(in_tree) == read_bytes(in_flat)) << "file " << n;
    }
    const FolderCheck found = check(tree.path());
    ASSERT_EQ(found.runs.size(), 1u);
    EXPECT_TRUE(found.runs[0].intact());
    EXPECT_EQ(found.runs[0].per_folder, 16);
    EXPECT_EQ(found.runs[0].sizes, sizes);
}

void resize(const fs::path& path, uint64_t size) { fs::resize_file(path, size); }

TEST_F(RangeRun, FilesOfAnotherSizeThanTheirOwnAreFound) {
    for (const RangeCase& c : kRangeCases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        write(scratch.path(), c.type, c.shape, c.sizes);
        const std::u16string tag = run_tag(c.type, kSeeds);
        RunContent content;
        content.files_type = c.type;
        content.shape = c.shape;
        content.random_seed = kSeeds.data % kRandomSeedLimit;
        content.set_sizes(c.sizes, tag, kCount);
        const auto path = [&](int32_t n) {
            return scratch.path() /
                   fs::path(file_name(c.type, kCount, n, tag, RunMarks(c.shape, 0, false, c.sizes)));
        };
        // A file cut by a kilobyte, one a kilobyte longer, one emptied, one gone, one with a byte
        // changed: the first with some bytes to lose.
        std::vector<int32_t> sized;
        for (int32_t n = 1; n <= kCount; ++n)
            if (content.file_size(static_cast<uint32_t>(n)) >= 2048 &&
                (c.shape.unit != kDedupeUnitFile || shaped_source_file(content.random_seed, c.shape, n) == n))
                sized.push_back(n);
        ASSERT_GE(sized.size(), 6u);
        const int32_t cut = sized[0], longer = sized[1], emptied = sized[2], changed = sized[3];
        const int32_t gone = sized.back() == kCount ? sized[sized.size() - 2] : sized.back();
        const uint64_t cut_size = content.file_size(static_cast<uint32_t>(cut));
        resize(path(cut), cut_size - 1024);
        resize(path(longer), content.file_size(static_cast<uint32_t>(longer)) + 1024);
        resize(path(emptied), 0);
        {
            std::fstream file(path(changed), std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(1000);
            file.put(static_cast<char>(c.type == kZeros ? 1 : 0x5A ^ read_bytes(path(changed))[1000]));
        }
        fs::remove(path(gone));

        const FolderCheck found = check(scratch.path());
        ASSERT_EQ(found.runs.size(), 1u);
        const RunCheck& run = found.runs[0];
        EXPECT_FALSE(run.intact());
        ASSERT_EQ(run.missing.size(), 1u);
        EXPECT_EQ(run.missing[0], std::pair(int64_t{gone}, int64_t{gone}));
        EXPECT_EQ(run.range_missing_bytes, content.file_size(static_cast<uint32_t>(gone)));
        std::map<int64_t, FileProblem> problems;
        for (const FileProblem& problem : run.problems)
            problems[problem.number] = problem;
        ASSERT_EQ(problems.size(), 4u) << "the damaged files and no other";
        for (const int32_t n : {cut, longer, emptied}) {
            SCOPED_TRACE("file " + std::to_string(n));
            ASSERT_TRUE(problems.count(n));
            EXPECT_TRUE(problems[n].wrong_size);
            EXPECT_EQ(problems[n].intended_size, content.file_size(static_cast<uint32_t>(n)));
        }
        ASSERT_TRUE(problems.count(changed));
        EXPECT_FALSE(problems[changed].wrong_size);
        EXPECT_EQ(problems[changed].first_difference, 1000u);
        // The kept bytes of the cut file still match: only its size is wrong.
        EXPECT_EQ(problems[cut].first_difference, kNoDifference);
    }
}

} // namespace
