// Tests of the check of a folder: runs made by the generation run, then damaged on purpose.
#include "core/run/verify.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "cli/verify_report.h"
#include "core/base/text.h"
#include "core/run/file_reader.h"
#include "core/run/names.h"
#include "core/run/random.h"
#include "core/run/run.h"
#include "core/run/run_thread.h"
#include "core/run/shaped.h"
#include "tests/core/run_fixtures.h"

namespace {

// The platform's reader, open to tests that override a step and pass on to it.
class PlatformFileReader : public FileReader {
public:
    char16_t separator() const override { return base_->separator(); }
    FileStatus list(const std::u16string& folder,
                    const std::function<void(std::u16string_view name)>& each) override {
        return base_->list(folder, each);
    }
    FileStatus examine(const std::u16string& path, uint64_t& size) override {
        return base_->examine(path, size);
    }
    bool is_folder(const std::u16string& path) override { return base_->is_folder(path); }
    FileStatus open(const std::u16string& path, Handle& file) override { return base_->open(path, file); }
    FileStatus size(Handle file, uint64_t& size) override { return base_->size(file, size); }
    FileStatus read_at(Handle file, uint64_t offset, uint8_t* data, size_t size, size_t& got) override {
        return base_->read_at(file, offset, data, size, got);
    }
    void close(Handle file) override { base_->close(file); }
    void set_direct(bool direct) override { base_->set_direct(direct); }
    bool direct_refused() const override { return base_->direct_refused(); }
    FileStatus drop_cache(const std::u16string& path) override { return base_->drop_cache(path); }

private:
    std::unique_ptr<FileReader> base_ = make_file_reader();
};

constexpr RunSeeds kSeeds{1234, 0xC0FFEE};

// The numbers of the files a check found, one by one.
std::vector<int64_t> found_numbers(const RunCheck& run) {
    std::vector<int64_t> numbers;
    for (const auto& [first, last] : run.found)
        for (int64_t number = first; number <= last; ++number)
            numbers.push_back(number);
    EXPECT_EQ(numbers.size(), run.files_found);
    return numbers;
}

class Verify : public ::testing::Test {
protected:
    void SetUp() override {
        run_cancel = false;
        run_busy = false;
    }

    // Makes a run in the scratch folder; returns the path of file `number` of it.
    void make_run(int32_t type, int32_t count, int32_t size_kb, RunSeeds seeds = kSeeds,
                  const RunOptions& options = {}) {
        GenerationSettings s;
        s.files_c = count;
        s.files_size = size_kb;
        s.files_type = type;
        s.Folder = scratch.text();
        ASSERT_EQ(generation_run(s, fs, seeds, options), Ended::done);
        tag = run_tag(type, seeds);
    }
    std::filesystem::path path(int32_t type, int32_t count, int32_t number) const {
        return scratch.path() / std::filesystem::path(file_name(type, count, number, tag));
    }

    FolderCheck check(int threads = 0, const CheckScope& scope = {}) {
        return verify_folder(scratch.text(), reader, threads, scope);
    }

    ScratchFolder scratch;
    PlatformFileSystem fs;
    PlatformFileReader reader;
    std::u16string tag;
};

void flip_byte(const std::filesystem::path& path, uint64_t offset) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    const char byte = static_cast<char>(file.get() ^ 0x20);
    file.seekp(static_cast<std::streamoff>(offset));
    file.put(byte);
}

std::string describe(const FolderCheck& check) {
    std::string text = check.error;
    for (const std::u16string& line : verify_report(check)) {
        text += '\n';
        text += to_utf8(line);
    }
    return text;
}

TEST_F(Verify, FreshRunsOfEveryTypeAndSizeAreIntact) {
    // 2,049 KB: three blocks of reading, a block border inside a file and a short last chunk.
    for (const int32_t type : {0, 1, 2}) {
        for (const int32_t size_kb : {1, 5, 1024, 2049}) {
            SCOPED_TRACE("type " + std::to_string(type) + ", " + std::to_string(size_kb) + " KB");
            std::filesystem::remove_all(scratch.path());
            std::filesystem::create_directories(scratch.path());
            make_run(type, 4, size_kb);
            // Direct reads ask for whole pages, and a lead page for the word before a block.
            for (const auto& [threads, direct] : {std::pair{1, false}, {3, false}, {1, true}, {3, true}}) {
                SCOPED_TRACE(std::to_string(threads) + (direct ? " direct readers" : " readers"));
                CheckScope scope;
                scope.direct = direct;
                const FolderCheck result = check(threads, scope);
                ASSERT_TRUE(result.error.empty()) << result.error;
                ASSERT_EQ(result.runs.size(), 1u);
                const RunCheck& run = result.runs[0];
                EXPECT_TRUE(run.intact()) << describe(result);
                EXPECT_EQ(run.files_type, type);
                EXPECT_EQ(run.tag, tag);
                EXPECT_EQ(found_numbers(run), (std::vector<int64_t>{1, 2, 3, 4}));
                EXPECT_EQ(run.file_bytes, static_cast<uint64_t>(size_kb) * 1024);
                EXPECT_EQ(
                    verify_report(result),
                    (std::vector<std::u16string>{u"OK      " + run_pattern(run) + u": 4 files of " +
                                                     format_ascii("%d", size_kb) + u" KB, numbers 001-004",
                                                 u"1 run: 1 intact, 0 not intact."}));
            }
        }
    }
}

TEST_F(Verify, AFlippedByteIsFoundAtItsOffset) {
    constexpr int32_t kSizeKb = 2049;
    constexpr uint64_t kBytes = kSizeKb * 1024;
    const struct {
        int32_t number;
        uint64_t offset;
    } flips[] = {
        {2, 0},              // start of a middle file: only the run's sequence can tell
        {2, 1},              // the second byte of the first word
        {2, 1048576},        // the first word of the second block
        {2, 1048575},        // the last byte of the first block
        {2, kBytes / 2 + 3}, // the middle
        {2, kBytes - 1},     // the end
        {1, 0},              // the first file's first word, outvoted by the others
        {4, kBytes - 1},     // the last file's last byte
    };
    for (const int32_t type : {0, 1, 2}) {
        std::filesystem::remove_all(scratch.path());
        std::filesystem::create_directories(scratch.path());
        make_run(type, 4, kSizeKb);
        for (const auto& f : flips) {
            SCOPED_TRACE("type " + std::to_string(type) + ", file " + std::to_string(f.number) + ", byte " +
                         std::to_string(f.offset));
            flip_byte(path(type, 4, f.number), f.offset);
            for (const auto& [threads, direct] : {std::pair{1, false}, {2, false}, {2, true}}) {
                SCOPED_TRACE(std::to_string(threads) + (direct ? " direct readers" : " readers"));
                CheckScope scope;
                scope.direct = direct;
                const FolderCheck result = check(threads, scope);
                ASSERT_EQ(result.runs.size(), 1u);
                const RunCheck& run = result.runs[0];
                ASSERT_EQ(run.problems.size(), 1u) << describe(result);
                EXPECT_EQ(run.problems[0].number, f.number);
                EXPECT_EQ(run.problems[0].first_difference, f.offset);
                EXPECT_FALSE(run.problems[0].wrong_size);
                EXPECT_EQ(verify_report(result)[1], u"        " +
                                                        path(type, 4, f.number).filename().u16string() +
                                                        u": first difference at byte " +
                                                        format_ascii("%llu", (unsigned long long)f.offset));
            }
            flip_byte(path(type, 4, f.number), f.offset); // mended for the next case
        }
    }
}

TEST_F(Verify, ShapedRunsAreCheckedByteForByteCopiesAndShortBlocksAlike) {
    // 2,049 KB: 512 whole blocks and a short one per file, over three reads of 1 MiB.
    constexpr int32_t kSizeKb = 2049;
    constexpr uint64_t kBytes = kSizeKb * 1024;
    const DataShape shape{40, 50};
    GenerationSettings s;
    s.files_c = 3;
    s.files_size = kSizeKb;
    s.files_type = 2;
    s.shape = shape;
    s.Folder = scratch.text();
    ASSERT_EQ(generation_run(s, fs, kSeeds), Ended::done);
    tag = random_tag(kSeeds.data);
    const auto shaped_path = [&](int32_t number) {
        return scratch.path() / std::filesystem::path(file_name(2, 3, number, tag, shape));
    };
    // The same seed as plain random data: another run, side by side.
    make_run(2, 3, 5);

    FolderCheck result = check();
    ASSERT_EQ(result.runs.size(), 2u) << describe(result);
    for (const RunCheck& run : result.runs)
        EXPECT_TRUE(run.intact()) << describe(result);
    const auto shaped_run = [](const FolderCheck& r) {
        return r.runs[0].shape == DataShape{} ? &r.runs[1] : &r.runs[0];
    };
    EXPECT_EQ(shaped_run(result)->shape, shape);
    EXPECT_EQ(run_pattern(*shaped_run(result)), u"random_c40_d50__###_" + tag + u".file");

    // Which blocks of file 2 are copies, and which block of the run the first copy repeats.
    const ShapedFileData second(kSeeds.data, shape, kBytes, 2);
    uint64_t copy = 0, unique = 0;
    while (second.source(copy) == 512 + copy)
        ++copy;
    while (second.source(unique) != 512 + unique)
        ++unique;
    const uint64_t source = second.source(copy);
    const struct {
        int32_t number;
        uint64_t offset;
    } flips[] = {
        {2, copy * 4096 + 4095}, // the last byte of a copy
        {2, unique * 4096},      // the first byte of a unique block
        {2, 2048 * 1024 + 17},   // the short last block
        {static_cast<int32_t>(1 + source / 512), source % 512 * 4096 + 100}, // a copy's source
    };
    for (const auto& f : flips) {
        SCOPED_TRACE("file " + std::to_string(f.number) + ", byte " + std::to_string(f.offset));
        flip_byte(shaped_path(f.number), f.offset);
        for (const int threads : {1, 2}) {
            result = check(threads);
            const RunCheck* run = shaped_run(result);
            ASSERT_EQ(run->problems.size(), 1u) << describe(result);
            EXPECT_EQ(run->problems[0].number, f.number);
            EXPECT_EQ(run->problems[0].first_difference, f.offset);
        }
        flip_byte(shaped_path(f.number), f.offset);
    }
    EXPECT_TRUE(shaped_run(check())->intact());
}

TEST_F(Verify, CopiesOfLargerUnitsAndOfWholeFilesAreCheckedByteForByte) {
    const struct {
        DataShape shape;
        int32_t count, size_kb;
    } cases[] = {
        {{40, 50, 20}, 3, 2049},              // units of 1 MiB: two in each file and a short one of 1 KB
        {{40, 50, kDedupeUnitFile}, 6, 9},    // whole files of two blocks and a short one
        {{60, 50, kDedupeUnitFile}, 5, 2049}, // whole files read in several pieces
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(dedupe_unit_text(c.shape.unit) + ", " + std::to_string(c.size_kb) + " KB");
        std::filesystem::remove_all(scratch.path());
        std::filesystem::create_directories(scratch.path());
        GenerationSettings s;
        s.files_c = c.count;
        s.files_size = c.size_kb;
        s.files_type = 2;
        s.shape = c.shape;
        s.Folder = scratch.text();
        ASSERT_EQ(generation_run(s, fs, kSeeds), Ended::done);
        tag = random_tag(kSeeds.data);
        const auto at = [&](int32_t number) {
            return scratch.path() / std::filesystem::path(file_name(2, c.count, number, tag, c.shape));
        };
        FolderCheck result = check();
        ASSERT_EQ(result.runs.size(), 1u) << describe(result);
        EXPECT_TRUE(result.runs[0].intact()) << describe(result);
        EXPECT_EQ(result.runs[0].shape, c.shape);

        // The first copy of the run, and the place of the run that it repeats.
        const uint64_t bytes = static_cast<uint64_t>(c.size_kb) * 1024;
        const uint64_t whole = bytes / kShapedBlockBytes;
        int32_t copy = 0;
        uint64_t chunk = 0, source = 0;
        for (int32_t number = 1; number <= c.count && copy == 0; ++number) {
            const ShapedFileData data(kSeeds.data, c.shape, bytes, number);
            for (uint64_t k = 0; k < whole && copy == 0; ++k)
                if (const uint64_t place = data.source(k); place != (number - 1) * whole + k) {
                    copy = number;
                    chunk = k;
                    source = place;
                }
        }
        ASSERT_NE(copy, 0) << "the run has copies";
        const int32_t source_file = static_cast<int32_t>(source / whole) + 1;
        ASSERT_LE(source_file, copy);
        const struct {
            int32_t number;
            uint64_t offset;
        } flips[] = {
            {copy, chunk * kShapedBlockBytes + 7},                 // inside a copy
            {source_file, source % whole * kShapedBlockBytes + 7}, // inside its source
            {copy, bytes - 1},                                     // the copy's file, its last byte
        };
        for (const auto& f : flips) {
            SCOPED_TRACE("file " + std::to_string(f.number) + ", byte " + std::to_string(f.offset));
            flip_byte(at(f.number), f.offset);
            for (const int threads : {1, 2}) {
                result = check(threads);
                ASSERT_EQ(result.runs.size(), 1u) << describe(result);
                ASSERT_EQ(result.runs[0].problems.size(), 1u) << describe(result);
                EXPECT_EQ(result.runs[0].problems[0].number, f.number);
                EXPECT_EQ(result.runs[0].problems[0].first_difference, f.offset);
            }
            flip_byte(at(f.number), f.offset);
        }
        // The copy's file replaced by another file of the run, one with other bytes.
        int32_t other = 1;
        while (other == copy || read_file(at(other)) == read_file(at(copy)))
            ++other;
        ASSERT_LE(other, c.count);
        const std::vector<uint8_t> replacement = read_file(at(other));
        std::ofstream(at(copy), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(replacement.data()),
                   static_cast<std::streamsize>(replacement.size()));
        result = check();
        ASSERT_EQ(result.runs[0].problems.size(), 1u) << describe(result);
        EXPECT_EQ(result.runs[0].problems[0].number, copy);
        EXPECT_FALSE(result.runs[0].problems[0].wrong_size);
        EXPECT_NE(result.runs[0].problems[0].first_difference, kNoDifference);
    }
}

TEST_F(Verify, MissingTruncatedAndLongerFilesAreReported) {
    for (const int32_t type : {0, 1, 2}) {
        SCOPED_TRACE("type " + std::to_string(type));
        std::filesystem::remove_all(scratch.path());
        std::filesystem::create_directories(scratch.path());
        make_run(type, 7, 5);
        std::filesystem::remove(path(type, 7, 1));
        std::filesystem::remove(path(type, 7, 3));
        std::filesystem::remove(path(type, 7, 4));
        std::filesystem::resize_file(path(type, 7, 5), 3000);
        std::ofstream(path(type, 7, 6), std::ios::app | std::ios::binary) << '\0';

        const FolderCheck result = check();
        ASSERT_EQ(result.runs.size(), 1u);
        const RunCheck& run = result.runs[0];
        EXPECT_EQ(found_numbers(run), (std::vector<int64_t>{2, 5, 6, 7}));
        EXPECT_EQ(run.file_bytes, 5u * 1024) << "most files keep the run's size";
        EXPECT_EQ(run.missing, (std::vector<std::pair<int64_t, int64_t>>{{1, 1}, {3, 4}}));
        ASSERT_EQ(run.problems.size(), 2u) << describe(result);
        // The data that is there is right: file 5 is only short, file 6 only long (its extra zero
        // byte differs from what generator and random data would have gone on with).
        EXPECT_EQ(run.problems[0].number, 5);
        EXPECT_TRUE(run.problems[0].wrong_size);
        EXPECT_EQ(run.problems[0].size, 3000u);
        EXPECT_EQ(run.problems[0].first_difference, kNoDifference);
        EXPECT_EQ(run.problems[1].number, 6);
        EXPECT_TRUE(run.problems[1].wrong_size);
        EXPECT_EQ(run.problems[1].first_difference, type == 1 ? kNoDifference : 5u * 1024);
        const std::vector<std::u16string> lines = verify_report(result);
        ASSERT_GE(lines.size(), 4u);
        EXPECT_EQ(lines[0], u"FAILED  " + run_pattern(run) + u": 4 files of 5 KB, numbers 002-007");
        EXPECT_EQ(lines[1], u"        missing: 001, 003-004");
        EXPECT_EQ(lines[2],
                  u"        " + path(type, 7, 5).filename().u16string() + u": truncated: 3000 of 5120 bytes");
        EXPECT_EQ(lines[3].rfind(u"        " + path(type, 7, 6).filename().u16string() +
                                     u": longer than the others: 5121 of 5120 bytes",
                                 0),
                  0u);
        // Files 2 and 7 of generator data are far apart in the sequence and still agree.
        EXPECT_EQ(std::count_if(run.problems.begin(), run.problems.end(),
                                [](const FileProblem& p) { return p.number == 2 || p.number == 7; }),
                  0);
    }
}

TEST_F(Verify, FilesOfOtherRunsAreRunsOfTheirOwn) {
    make_run(0, 3, 5, {1, 100});
    const std::u16string first_tag = tag;
    make_run(0, 2, 5, {2, 200});
    const std::u16string second_tag = tag;
    make_run(2, 2, 3, {0, 77});
    make_run(1, 1000, 0, {3, 0}); // 4-digit numbers
    std::ofstream(scratch.path() / "notes.txt") << "not a run";
    std::ofstream(scratch.path() / "random__001_123.file") << "no tag";
    // A folder under a run file's name is a damaged file of a run of its own, which stays apart.
    std::filesystem::create_directory(scratch.path() / ("random__001_" + to_utf8(random_tag(5)) + ".file"));

    const auto run_with = [](const FolderCheck& result, int32_t type, const std::u16string& run_tag) {
        for (const RunCheck& run : result.runs)
            if (run.files_type == type && (run_tag.empty() || run.tag == run_tag))
                return &run;
        return static_cast<const RunCheck*>(nullptr);
    };
    FolderCheck result = check();
    ASSERT_EQ(result.runs.size(), 5u) << describe(result);
    for (const RunCheck& run : result.runs)
        EXPECT_EQ(run.intact(), run.tag != random_tag(5)) << describe(result);
    ASSERT_NE(run_with(result, 2, random_tag(5)), nullptr);
    EXPECT_EQ(run_with(result, 2, random_tag(5))->problems.size(), 1u);
    ASSERT_NE(run_with(result, 0, first_tag), nullptr);
    EXPECT_EQ(run_with(result, 0, first_tag)->files_found, 3u);
    ASSERT_NE(run_with(result, 0, second_tag), nullptr);
    EXPECT_EQ(run_with(result, 0, second_tag)->files_found, 2u);
    ASSERT_NE(run_with(result, 1, u""), nullptr);
    EXPECT_EQ(run_with(result, 1, u"")->files_found, 1000u);
    EXPECT_EQ(run_with(result, 1, u"")->width, 4);
    ASSERT_NE(run_with(result, 2, random_tag(77)), nullptr);

    // A file of the second run put in place of the first run's second: the same size and type,
    // another sequence.
    // (Removed first: mingw's copy_file does not overwrite.)
    const std::filesystem::path replaced =
        scratch.path() / std::filesystem::path(file_name(0, 3, 2, first_tag));
    std::filesystem::remove(replaced);
    std::filesystem::copy_file(scratch.path() / std::filesystem::path(file_name(0, 2, 2, second_tag)),
                               replaced);
    result = check();
    ASSERT_EQ(result.runs.size(), 5u);
    const RunCheck* first = run_with(result, 0, first_tag);
    ASSERT_EQ(first->problems.size(), 1u) << describe(result);
    EXPECT_EQ(first->problems[0].number, 2);
    EXPECT_EQ(first->problems[0].first_difference, 0u);
    EXPECT_TRUE(run_with(result, 0, second_tag)->intact());
}

TEST_F(Verify, NumbersWiderThanTheRunsFilesSayFilesAreMissingAtTheEnd) {
    make_run(1, 1000, 0);
    for (int32_t n = 998; n <= 1000; ++n)
        std::filesystem::remove(path(1, 1000, n));
    FolderCheck result = check();
    ASSERT_EQ(result.runs.size(), 1u);
    EXPECT_EQ(result.runs[0].count_from_width, 1000);
    EXPECT_FALSE(result.runs[0].intact());
    EXPECT_EQ(verify_report(result)[1],
              u"        missing: 0998-1000 and maybe more (4-digit numbers: 1000 files or more)");

    // The first files gone as well.
    std::filesystem::remove(path(1, 1000, 1));
    result = check();
    EXPECT_EQ(verify_report(result)[1],
              u"        missing: 0001, 0998-1000 and maybe more (4-digit numbers: 1000 files or more)");
}

TEST_F(Verify, AScopeWantsOnlyItsFilesOfEachRun) {
    // Files 1-6 of a run of 10,000 (a shard, or what a run that filled a disk kept), file 5 gone
    // and file 1 damaged.
    RunOptions shard;
    shard.last = 6;
    make_run(0, 10000, 6, kSeeds, shard);
    std::filesystem::remove(path(0, 10000, 5));
    flip_byte(path(0, 10000, 1), 100);
    using Ranges = std::vector<std::pair<int64_t, int64_t>>;
    const struct {
        int32_t first, last;
        std::vector<int64_t> numbers;
        Ranges missing;
        bool damage_seen;
        const char16_t* missing_line; // the report's second line, when one is expected
    } cases[] = {
        {2, 4, {2, 3, 4}, {}, false, nullptr},
        {6, 6, {6}, {}, false, nullptr},
        {4, 7, {4, 6}, {{5, 5}, {7, 7}}, false, u"        missing: 00005, 00007"},
        {1, 6, {1, 2, 3, 4, 6}, {{5, 5}}, true, u"        missing: 00005"},
        {1,
         0,
         {1, 2, 3, 4, 6},
         {{5, 5}},
         true,
         u"        missing: 00005, 00007-10000 and maybe more (5-digit numbers: 10000 files or more)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + "-" + std::to_string(c.last));
        CheckScope scope;
        scope.first = c.first;
        scope.last = c.last;
        const FolderCheck result = check(0, scope);
        ASSERT_EQ(result.runs.size(), 1u);
        const RunCheck& run = result.runs[0];
        EXPECT_EQ(found_numbers(run), c.numbers);
        EXPECT_EQ(run.missing, c.missing);
        EXPECT_EQ(run.count_from_width, c.last == 0 ? 10000 : 0);
        EXPECT_EQ(!run.problems.empty(), c.damage_seen) << describe(result);
        EXPECT_EQ(run.intact(), c.missing.empty() && !c.damage_seen && c.last != 0) << describe(result);
        if (c.missing_line != nullptr) {
            EXPECT_EQ(verify_report(result)[1], c.missing_line);
        }
    }
}

TEST_F(Verify, RandomDataWhoseTagCarriesNoSeedCannotPass) {
    make_run(2, 2, 1);
    // 8888888888888888 is 9^16 - 1, beyond every seed.
    for (int32_t n = 1; n <= 2; ++n)
        std::filesystem::rename(
            path(2, 2, n), scratch.path() / std::filesystem::path(file_name(2, 2, n, u"8888888888888888")));
    const FolderCheck result = check();
    ASSERT_EQ(result.runs.size(), 1u);
    EXPECT_FALSE(result.runs[0].seed_known);
    EXPECT_FALSE(result.runs[0].intact());
    EXPECT_EQ(verify_report(result)[0],
              u"FAILED  random__###_8888888888888888.file: 2 files of 1 KB, numbers "
              u"001-002; the tag carries no seed, so the data cannot be checked");
}

// Fails every read of one file, as a bad disk sector would.
class FailingReader : public PlatformFileReader {
public:
    std::u16string failing;
    FileStatus read_at(Handle file, uint64_t offset, uint8_t* data, size_t size, size_t& got) override {
        if (current_ == failing)
            return {FileStatus::Kind::failed, "Input/output error"};
        return PlatformFileReader::read_at(file, offset, data, size, got);
    }
    FileStatus open(const std::u16string& path, Handle& file) override {
        current_ = std::filesystem::path(path).filename().u16string();
        return PlatformFileReader::open(path, file);
    }

private:
    std::u16string current_; // one worker: the file last opened is the one read
};

TEST_F(Verify, UnreadableFilesAndFolders) {
    make_run(0, 3, 5);
    FailingReader failing;
    failing.failing = path(0, 3, 2).filename().u16string();
    const FolderCheck result = verify_folder(scratch.text(), failing, 1);
    ASSERT_EQ(result.runs.size(), 1u);
    ASSERT_EQ(result.runs[0].problems.size(), 1u) << describe(result);
    EXPECT_EQ(result.runs[0].problems[0].unreadable, "Input/output error");
    EXPECT_EQ(verify_report(result)[1],
              u"        " + failing.failing + u": cannot be read: Input/output error");

    for (const std::u16string& folder : {scratch.text() + u"/absent", path(0, 3, 1).u16string()}) {
        const FolderCheck missing = verify_folder(folder, reader);
        EXPECT_FALSE(missing.error.empty()) << to_utf8(folder);
        EXPECT_TRUE(missing.runs.empty());
    }

    std::filesystem::remove_all(scratch.path());
    std::filesystem::create_directories(scratch.path());
    const FolderCheck empty = check();
    EXPECT_TRUE(empty.error.empty());
    EXPECT_EQ(
        verify_report(empty),
        std::vector<std::u16string>{u"No runs found: no file here has a name that a run gives its files."});
}

TEST_F(Verify, ARunWhoseSizeIsNoWholeNumberOfKilobytesFails) {
    make_run(0, 2, 1);
    for (int32_t n = 1; n <= 2; ++n)
        std::filesystem::resize_file(path(0, 2, n), 1000);
    const FolderCheck result = check();
    ASSERT_EQ(result.runs.size(), 1u);
    EXPECT_FALSE(result.runs[0].whole_kilobytes);
    EXPECT_TRUE(result.runs[0].problems.empty()) << "the bytes that are there are right";
    EXPECT_EQ(verify_report(result)[0], u"FAILED  " + run_pattern(result.runs[0]) +
                                            u": 2 files of 1000 bytes, not a whole number of kilobytes, "
                                            u"numbers 001-002");
}

// Lets a test step in before each step the check takes on one file.
class SteppingReader : public PlatformFileReader {
public:
    std::u16string file;                                    // the name stepped in on
    std::function<bool(std::string& error)> before_examine; // false: examining fails
    std::function<void()> before_open;
    std::function<void()> before_first_read;

    FileStatus examine(const std::u16string& path, uint64_t& size) override {
        std::string error;
        if (is_file(path) && before_examine && !before_examine(error))
            return {FileStatus::Kind::failed, error};
        return PlatformFileReader::examine(path, size);
    }
    FileStatus open(const std::u16string& path, Handle& handle) override {
        if (is_file(path) && before_open)
            before_open();
        FileStatus status = PlatformFileReader::open(path, handle);
        if (is_file(path))
            opened_ = status.ok() ? handle : kNoHandle;
        return status;
    }
    FileStatus read_at(Handle handle, uint64_t offset, uint8_t* data, size_t size, size_t& got) override {
        if (handle == opened_ && before_first_read) {
            before_first_read();
            before_first_read = nullptr;
        }
        return PlatformFileReader::read_at(handle, offset, data, size, got);
    }

private:
    bool is_file(const std::u16string& path) const {
        return std::filesystem::path(path).filename().u16string() == file;
    }
    Handle opened_ = kNoHandle;
};

// Counts the reads, and sets a cancel flag at one of them.
class CancellingReader : public PlatformFileReader {
public:
    std::atomic<bool> cancel{false};
    int cancel_at_read = 0; // 0: never
    std::atomic<int> reads{0};

    FileStatus read_at(Handle handle, uint64_t offset, uint8_t* data, size_t size, size_t& got) override {
        if (++reads == cancel_at_read)
            cancel = true;
        return PlatformFileReader::read_at(handle, offset, data, size, got);
    }
};

TEST_F(Verify, ACancelStopsTheReadersAtTheirNextBlock) {
    make_run(0, 4, 2049); // three blocks a file
    const struct {
        int cancel_at_read;
        bool before; // the flag is set before the check starts
        int threads;
    } cases[] = {{0, true, 1}, {2, false, 1}, {2, false, 3}, {0, false, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "cancel at read " << c.cancel_at_read << ", before " << c.before
                                        << ", " << c.threads << " readers");
        CancellingReader cancelling;
        cancelling.cancel = c.before;
        cancelling.cancel_at_read = c.cancel_at_read;
        VerifyOptions options;
        options.threads = c.threads;
        options.cancel = &cancelling.cancel;
        const FolderCheck result = verify_folder(scratch.text(), cancelling, options);
        const bool stopped = c.before || c.cancel_at_read != 0;
        EXPECT_EQ(result.cancelled, stopped);
        EXPECT_EQ(result.runs.empty(), stopped) << "a cancelled check judges nothing";
        // Each reader finishes the block it has; none takes another.
        EXPECT_LE(cancelling.reads, stopped ? c.cancel_at_read + c.threads - 1 : 12);
        if (!stopped) {
            ASSERT_EQ(result.runs.size(), 1u);
            EXPECT_TRUE(result.runs[0].intact()) << describe(result);
        }
    }
}

TEST_F(Verify, FilesThatCannotBeExaminedOrChangeWhileCheckedAreReported) {
    const struct {
        const char* what;
        std::function<void(SteppingReader& reader, const std::filesystem::path& file)> step_in;
        std::u16string problem;
    } cases[] = {
        // A folder that can be listed but not searched: no size can be had, and nothing read.
        {"its size cannot be had",
         [](SteppingReader& r, const std::filesystem::path&) {
             r.before_examine = [](std::string& error) {
                 error = "Permission denied";
                 return false;
             };
         },
         u"cannot be read: Permission denied"},
        {"it grows while it is read",
         [](SteppingReader& r, const std::filesystem::path& file) {
             r.before_first_read = [file] {
                 std::ofstream(file, std::ios::app | std::ios::binary) << "more";
             };
         },
         u"it grew while it was read"},
        {"it grows between the listing and the reading",
         [](SteppingReader& r, const std::filesystem::path& file) {
             r.before_open = [file] { std::ofstream(file, std::ios::app | std::ios::binary) << "more"; };
         },
         u"its size changed from 5120 to 5124 bytes while it was checked"},
        {"it shrinks while it is read",
         [](SteppingReader& r, const std::filesystem::path& file) {
             r.before_first_read = [file] { std::filesystem::resize_file(file, 100); };
         },
         u"it got shorter while it was read"},
#ifndef _WIN32
        // Opening a pipe for reading waits for a writer: a check that did would never end.
        {"it is swapped for a pipe",
         [](SteppingReader& r, const std::filesystem::path& file) {
             r.before_open = [file] {
                 std::filesystem::remove(file);
                 mkfifo(file.c_str(), 0666);
             };
         },
         u"cannot be read: it is not a regular file"},
        {"it is swapped for a link to a whole file",
         [](SteppingReader& r, const std::filesystem::path& file) {
             r.before_open = [file] {
                 const std::filesystem::path copy = file.parent_path() / "copy";
                 std::filesystem::copy_file(file, copy);
                 std::filesystem::remove(file);
                 std::filesystem::create_symlink(copy, file);
             };
         },
         u"cannot be read: it is a symbolic link, not a regular file"},
#endif
    };
    for (const auto& c : cases) {
        for (const int32_t type : {0, 2}) {
            SCOPED_TRACE(std::string(c.what) + ", type " + std::to_string(type));
            std::filesystem::remove_all(scratch.path());
            std::filesystem::create_directories(scratch.path());
            make_run(type, 3, 5);
            SteppingReader stepping;
            stepping.file = path(type, 3, 2).filename().u16string();
            c.step_in(stepping, path(type, 3, 2));
            const auto started = std::chrono::steady_clock::now();
            const FolderCheck result = verify_folder(scratch.text(), stepping, 1);
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
            ASSERT_EQ(result.runs.size(), 1u) << describe(result);
            EXPECT_FALSE(result.runs[0].intact());
            const std::vector<std::u16string> lines = verify_report(result);
            ASSERT_GE(lines.size(), 2u);
            EXPECT_EQ(lines[0].rfind(u"FAILED  ", 0), 0u) << describe(result);
            EXPECT_EQ(lines[1].rfind(u"        " + stepping.file + u": " + c.problem, 0), 0u)
                << describe(result);
            ASSERT_EQ(result.runs[0].problems.size(), 1u) << describe(result);
            EXPECT_EQ(result.runs[0].problems[0].number, 2);
        }
    }
}

// Anything under a run file's name that is no regular file is a damaged file of that run, for
// every type and also at the run's last number, where leaving it out would make the run look
// shorter and whole.
TEST_F(Verify, EntriesUnderARunFilesNameThatAreNoRegularFilesAreDamaged) {
    namespace files = std::filesystem;
    const struct {
        const char* what;
        // Puts the entry in the file's place; false where the system does not let the test.
        std::function<bool(const files::path& folder, const files::path& file)> plant;
        const char16_t* problem;
    } kinds[] = {
        {"a folder",
         [](const files::path&, const files::path& file) {
             files::remove(file);
             return files::create_directory(file);
         },
         u"it is a folder, not a regular file"},
#ifndef _WIN32
        {"a link to an intact copy",
         [](const files::path& folder, const files::path& file) {
             files::rename(file, folder / "copy");
             files::create_symlink(folder / "copy", file);
             return true;
         },
         u"it is a symbolic link, not a regular file"},
        {"a link that points nowhere",
         [](const files::path& folder, const files::path& file) {
             files::remove(file);
             files::create_symlink(folder / "nothing", file);
             return true;
         },
         u"it is a symbolic link, not a regular file"},
        {"a pipe",
         [](const files::path&, const files::path& file) {
             files::remove(file);
             return mkfifo(file.c_str(), 0666) == 0;
         },
         u"it is a named pipe, not a regular file"},
        {"a socket",
         [](const files::path&, const files::path& file) {
             files::remove(file);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             if (file.native().size() >= sizeof address.sun_path)
                 return false;
             std::strcpy(address.sun_path, file.c_str());
             const int socket_fd = socket(AF_UNIX, SOCK_STREAM, 0);
             const bool bound = bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
             close(socket_fd);
             return bound;
         },
         u"it is a socket, not a regular file"},
        // A device needs the right to make one (root outside a container that forbids it).
        {"a device",
         [](const files::path&, const files::path& file) {
             files::remove(file);
             return mknod(file.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
         },
         u"it is a device, not a regular file"},
#endif
    };
    for (const auto& kind : kinds) {
        for (const int32_t type : {kGeneratorData, kZeros, kRandomData}) {
            for (const int32_t number : {2, 3}) {
                SCOPED_TRACE(std::string(kind.what) + " at file " + std::to_string(number) + " of 3, type " +
                             std::to_string(type));
                files::remove_all(scratch.path());
                files::create_directories(scratch.path());
                make_run(type, 3, 5);
                if (!kind.plant(scratch.path(), path(type, 3, number))) {
                    ADD_FAILURE_AT(__FILE__, __LINE__) << "could not plant " << kind.what;
                    continue;
                }
                const FolderCheck result = check();
                ASSERT_TRUE(result.error.empty()) << result.error;
                ASSERT_EQ(result.runs.size(), 1u) << describe(result);
                const RunCheck& run = result.runs[0];
                EXPECT_FALSE(run.intact());
                EXPECT_EQ(found_numbers(run), (std::vector<int64_t>{1, 2, 3}));
                EXPECT_EQ(run.file_bytes, 5u * 1024);
                ASSERT_EQ(run.problems.size(), 1u) << describe(result);
                EXPECT_EQ(run.problems[0].number, number);
                EXPECT_EQ(from_utf8(run.problems[0].changed), kind.problem);
                EXPECT_EQ(
                    verify_report(result),
                    (std::vector<std::u16string>{
                        u"FAILED  " + run_pattern(run) + u": 3 files of 5 KB, numbers 001-003",
                        u"        " + path(type, 3, number).filename().u16string() + u": " + kind.problem,
                        u"1 run: 0 intact, 1 not intact."}));
            }
        }
    }
}

#ifndef _WIN32
// Names are bytes on POSIX; a name that is no UTF-8 is nobody's run file, and no reason to give up
// on the others.
TEST_F(Verify, NamesThatAreNoTextAreLeftOut) {
    make_run(1, 3, 1);
    std::ofstream(scratch.path() / std::string("\xFF\xFE-not-text.file")) << "x";
    std::ofstream(scratch.path() / std::string("maximal_compressible__\xC3\x28")) << "x";
    const FolderCheck result = check();
    ASSERT_EQ(result.runs.size(), 1u);
    EXPECT_TRUE(result.runs[0].intact()) << describe(result);
}
#endif

// Generator data's tag records the generator's start: the data of another run under the tag is
// damage, where runs made before (whose tags are drawn apart from the data) still pass as before.
TEST_F(Verify, GeneratorDataBelongsToTheTagThatRecordsItsStart) {
    namespace files = std::filesystem;
    const RunSeeds other{99, 0xBADC0DE};
    const struct {
        const char* what;
        // Makes the run of kSeeds into what is checked; returns the tag it ends up under.
        std::function<std::u16string()> change;
        bool intact;
    } cases[] = {
        {"as made", [] { return run_tag(kGeneratorData, kSeeds); }, true},
        {"renamed to another run's tag",
         [this, other] {
             const std::u16string to = run_tag(kGeneratorData, other);
             for (int32_t n = 1; n <= 3; ++n)
                 files::rename(path(0, 3, n), scratch.path() / files::path(file_name(0, 3, n, to)));
             return to;
         },
         false},
        {"replaced by another run of the same size",
         [this, other] {
             ScratchFolder elsewhere;
             GenerationSettings s;
             s.files_c = 3;
             s.files_size = 5;
             s.Folder = elsewhere.text();
             EXPECT_EQ(generation_run(s, fs, other), Ended::done);
             // Removed first: mingw's copy_file does not overwrite.
             for (int32_t n = 1; n <= 3; ++n) {
                 files::remove(path(0, 3, n));
                 files::copy_file(elsewhere.path() /
                                      files::path(file_name(0, 3, n, run_tag(kGeneratorData, other))),
                                  path(0, 3, n));
             }
             return tag;
         },
         false},
        // A run made before its tag recorded the start: drawn digits, which the check does not
        // hold the data to.
        {"under a tag drawn apart from the data, as runs made before had",
         [this] {
             const std::u16string to = make_tag(kSeeds.tag);
             EXPECT_FALSE(generator_tag_start(to).has_value());
             for (int32_t n = 1; n <= 3; ++n)
                 files::rename(path(0, 3, n), scratch.path() / files::path(file_name(0, 3, n, to)));
             return to;
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        files::remove_all(scratch.path());
        files::create_directories(scratch.path());
        make_run(kGeneratorData, 3, 5);
        const std::u16string checked_tag = c.change();
        const FolderCheck result = check();
        ASSERT_EQ(result.runs.size(), 1u) << describe(result);
        const RunCheck& run = result.runs[0];
        EXPECT_EQ(run.tag, checked_tag);
        EXPECT_EQ(run.start_in_tag, generator_tag_start(checked_tag).has_value());
        EXPECT_EQ(run.intact(), c.intact) << describe(result);
        if (!c.intact) {
            // Every file is off from its first byte on.
            ASSERT_EQ(run.problems.size(), 3u) << describe(result);
            for (const FileProblem& problem : run.problems)
                EXPECT_LT(problem.first_difference, 4u);
        }
    }
}

TEST(GeneratorTag, RecordsTheStartAndRarelyPassesForADrawnTag) {
    for (const uint32_t start : {0u, 1u, 0xC0FFEEu, 0xFFFFFFFFu, 2396403u}) {
        const std::u16string tag = generator_tag(start);
        ASSERT_EQ(tag.size(), 16u);
        EXPECT_TRUE(parse_run_file_name(u"non_compressible__001_" + tag + u".file").has_value())
            << to_utf8(tag);
        EXPECT_EQ(generator_tag_start(tag), start) << to_utf8(tag);
        // One digit more or less breaks the check.
        std::u16string changed = tag;
        changed[15] = changed[15] == u'8' ? u'0' : static_cast<char16_t>(changed[15] + 1);
        EXPECT_NE(generator_tag_start(changed), start);
    }
    // Tags of runs made before: about one in 431,439 passes the check by chance.
    int passed = 0;
    for (uint32_t seed = 0; seed < 20000; ++seed)
        passed += generator_tag_start(make_tag(seed)).has_value();
    EXPECT_LE(passed, 2);
    EXPECT_FALSE(generator_tag_start(u"8888888888888888").has_value()) << "past 9^16 / 2^32 checks";
    EXPECT_FALSE(generator_tag_start(u"123").has_value());
}

// A run of many damaged files lists the first kListedProblems and counts the rest by kind, with
// their numbers as ranges; the report stays right.
TEST_F(Verify, ManyDamagedFilesAreListedUpToALimitAndCountedPastIt) {
    constexpr int32_t kCount = static_cast<int32_t>(kListedProblems) + 5;
    make_run(kZeros, kCount, 1);
    for (int32_t n = 1; n <= kCount; ++n)
        if (n != kCount - 2) // one whole file among the last ones: two ranges
            flip_byte(path(kZeros, kCount, n), 7);
    std::ofstream(path(kZeros, kCount, kCount), std::ios::app | std::ios::binary) << 'x';
    const FolderCheck result = check();
    ASSERT_EQ(result.runs.size(), 1u);
    const RunCheck& run = result.runs[0];
    EXPECT_FALSE(run.intact());
    ASSERT_EQ(run.problems.size(), kListedProblems);
    EXPECT_EQ(run.problems.front().number, 1);
    EXPECT_EQ(run.problems.back().number, static_cast<int32_t>(kListedProblems));
    EXPECT_EQ(run.unlisted.files, 4u);
    EXPECT_EQ(run.unlisted.differing, 4u);
    EXPECT_EQ(run.unlisted.wrong_size, 1u);
    EXPECT_EQ(run.unlisted.numbers,
              (std::vector<std::pair<int64_t, int64_t>>{{kCount - 4, kCount - 3}, {kCount - 1, kCount}}));
    const std::vector<std::u16string> lines = verify_report(result);
    ASSERT_EQ(lines.size(), 1 + kListedProblems + 1 + 1);
    EXPECT_EQ(
        lines[1 + kListedProblems],
        u"        4 more damaged files (1 of the wrong size, 4 with a difference): 1001-1002, 1004-1005");
}

// A folder that can be listed but not searched: no file's size can be had, so the run has none
// (not 0 KB), and every file is reported.
TEST_F(Verify, AFolderThatCanBeListedButNotSearchedGivesNoSize) {
    class Unsearchable : public PlatformFileReader {
    public:
        FileStatus examine(const std::u16string&, uint64_t&) override {
            return {FileStatus::Kind::failed, "Permission denied"};
        }
    } unsearchable;
    make_run(kRandomData, 2, 5);
    const FolderCheck result = verify_folder(scratch.text(), unsearchable);
    ASSERT_EQ(result.runs.size(), 1u);
    EXPECT_FALSE(result.runs[0].size_known);
    EXPECT_EQ(verify_report(result),
              (std::vector<std::u16string>{
                  u"FAILED  " + run_pattern(result.runs[0]) +
                      u": 2 files of unknown size (no regular file's size could be had), numbers 001-002",
                  u"        " + path(kRandomData, 2, 1).filename().u16string() +
                      u": cannot be read: Permission denied",
                  u"        " + path(kRandomData, 2, 2).filename().u16string() +
                      u": cannot be read: Permission denied",
                  u"1 run: 0 intact, 1 not intact."}));
}

// Two files, two sizes: a file that was extended is blamed, not the one beside it; a file cut
// short at a whole kilobyte still is.
TEST_F(Verify, ATieBetweenTwoSizesBlamesTheFileThatChanged) {
    const struct {
        const char* what;
        std::function<void(const std::filesystem::path& first)> change;
        int32_t blamed;
        const char16_t* problem;
    } cases[] = {
        {"file 1 extended by a kilobyte",
         [](const std::filesystem::path& first) {
             std::ofstream(first, std::ios::app | std::ios::binary) << std::string(1024, 'x');
         },
         1, u"longer than the others: 6144 of 5120 bytes; first difference at byte 5120"},
        {"file 1 extended by a few bytes",
         [](const std::filesystem::path& first) {
             std::ofstream(first, std::ios::app | std::ios::binary) << "x\n";
         },
         1, u"longer than the others: 5122 of 5120 bytes; first difference at byte 5120"},
        {"file 1 cut short at a whole kilobyte",
         [](const std::filesystem::path& first) { std::filesystem::resize_file(first, 4096); }, 1,
         u"truncated: 4096 of 5120 bytes"},
    };
    for (const int32_t type : {kGeneratorData, kRandomData}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", type " + std::to_string(type));
            std::filesystem::remove_all(scratch.path());
            std::filesystem::create_directories(scratch.path());
            make_run(type, 2, 5);
            c.change(path(type, 2, 1));
            const FolderCheck result = check();
            ASSERT_EQ(result.runs.size(), 1u);
            EXPECT_EQ(result.runs[0].file_bytes, 5u * 1024);
            const std::vector<std::u16string> lines = verify_report(result);
            ASSERT_EQ(lines.size(), 3u) << describe(result);
            EXPECT_EQ(lines[1],
                      u"        " + path(type, 2, c.blamed).filename().u16string() + u": " + c.problem);
        }
    }
}

TEST_F(Verify, NumbersOfAnyWidthUpToTheMostFilesAreARunsNumbers) {
    // Zeros of 0 bytes: names are all that matter here.
    const struct {
        const char* what;
        int width;
        std::vector<int64_t> numbers;
        std::vector<std::u16string> report;
    } cases[] = {
        {"past 65,536",
         5,
         {1, 2, 3, 65537, 65538, 70000},
         {u"FAILED  maximal_compressible__#####_%.file: 6 files of 0 KB, numbers 00001-70000",
          u"        missing: 00004-65536, 65539-69999"}},
        {"six digits",
         6,
         {1, 2},
         {u"FAILED  maximal_compressible__######_%.file: 2 files of 0 KB, numbers 000001-000002",
          u"        missing: 000003-100000 and maybe more (6-digit numbers: 100000 files or more)"}},
        {"the most files a run has",
         10,
         {4294967295},
         {u"FAILED  maximal_compressible__##########_%.file: 1 file of 0 KB, numbers 4294967295-4294967295",
          u"        missing: 0000000001-4294967294"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(scratch.path());
        std::filesystem::create_directories(scratch.path());
        tag = make_tag(7);
        for (const int64_t number : c.numbers) {
            std::u16string name = file_name_head(1);
            append_number(name, number, c.width);
            std::ofstream(scratch.path() / std::filesystem::path(name + file_name_tail(tag)));
        }
        const FolderCheck result = check();
        ASSERT_EQ(result.runs.size(), 1u);
        EXPECT_FALSE(result.runs[0].intact());
        std::vector<std::u16string> expected;
        for (const std::u16string& line : c.report)
            expected.push_back(replace_all(line, u"%", tag));
        expected.push_back(u"1 run: 0 intact, 1 not intact.");
        EXPECT_EQ(verify_report(result), expected);
    }
}

TEST_F(Verify, AFileACancelCutShortIsReported) {
    const struct {
        int32_t count;
        std::vector<std::u16string> report;
    } cases[] = {
        // A one-file run cut short has no whole file at all: nothing passes for one.
        {1,
         {u"FAILED  non_compressible__###_%.file: no whole file",
          u"        non_compressible__001_%.file.partial: left by a cancelled run: 262144 bytes written"}},
        {3,
         {u"FAILED  non_compressible__###_%.file: 1 file of 4096 KB, numbers 001-001",
          u"        non_compressible__002_%.file.partial: left by a cancelled run: 262144 bytes written"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        std::filesystem::remove_all(scratch.path());
        std::filesystem::create_directories(scratch.path());
        HookedFileSystem cancelling;
        cancelling.on_write = [&](int file_number, uint64_t) {
            if (file_number == c.count - (c.count > 1))
                run_cancel = true;
            return FileStatus{};
        };
        GenerationSettings s;
        s.files_c = c.count;
        s.files_size = 4096;
        s.Folder = scratch.text();
        ASSERT_EQ(generation_run(s, cancelling, kSeeds), Ended::done);
        run_cancel = false;
        tag = run_tag(kGeneratorData, kSeeds);
        std::vector<std::u16string> expected;
        for (const std::u16string& line : c.report)
            expected.push_back(replace_all(line, u"%", tag));
        expected.push_back(u"1 run: 0 intact, 1 not intact.");
        EXPECT_EQ(verify_report(check()), expected);
    }
}

} // namespace
