// Tests of the run's ways for storage work: several jobs, shards of a run, direct I/O and its
// fallback, filling a disk, and the check's direct reads and cache dropping on real file systems.
#include "core/run/run.h"
#include "core/run/run_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "cli/verify_report.h"
#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/run/check_totals.h"
#include "core/run/file_content.h"
#include "core/run/file_reader.h"
#include "core/run/names.h"
#include "core/run/random.h"
#include "core/run/verify.h"
#include "tests/core/run_fixtures.h"

namespace {

constexpr RunSeeds kSeeds{4321, 0xBADC0DE};

// The files of a folder by name, with their bytes.
using Files = std::map<std::string, std::vector<uint8_t>>;

Files read_folder(const std::filesystem::path& folder) {
    Files files;
    for (const auto& file : files_in(folder))
        files[file.filename().string()] = read_file(file);
    return files;
}

// The files numbered first to last of a run's files.
Files numbers(const Files& files, int32_t first, int32_t last) {
    Files part;
    for (const auto& [name, bytes] : files) {
        const auto parsed = parse_run_file_name(from_utf8(name));
        if (parsed && parsed->number >= first && parsed->number <= last)
            part.emplace(name, bytes);
    }
    return part;
}

// Counts what is written, by every thread; `on_bytes` sees the total after each write.
class CountingFileSystem : public PlatformFileSystem {
public:
    std::function<FileStatus(uint64_t total)> on_bytes;

    FileStatus write(Handle file, const uint8_t* data, size_t size) override {
        FileStatus status = counted(size);
        return !status.ok() ? status : PlatformFileSystem::write(file, data, size);
    }
    FileStatus write_at(Handle file, uint64_t offset, const uint8_t* data, size_t size) override {
        FileStatus status = counted(size);
        return !status.ok() ? status : PlatformFileSystem::write_at(file, offset, data, size);
    }

private:
    FileStatus counted(size_t size) {
        const uint64_t total = bytes_ += size;
        return on_bytes ? on_bytes(total) : FileStatus{};
    }
    std::atomic<uint64_t> bytes_{0};
};

class StorageRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(unpack_catalogue());
        language_index = kEnglish;
        run_cancel = false;
        run_busy = false;
    }
    void TearDown() override { run_cancel = false; }

    // A run of `count` files into `folder`, with a view and file system of its own unless given.
    Ended run(const std::filesystem::path& folder, int32_t count, int32_t size_kb, int32_t type,
              const RunOptions& options, RunOutcome* outcome = nullptr, FileSystem* fs = nullptr,
              RecordingView* view = nullptr) {
        PlatformFileSystem own_fs;
        RecordingView own_view;
        GenerationSettings s;
        s.files_c = count;
        s.files_size = size_kb;
        s.files_type = type;
        s.shape = shape;
        s.Folder = folder.u16string();
        s.owner = view != nullptr ? view : &own_view;
        return generation_run(s, fs != nullptr ? *fs : own_fs, kSeeds, options, outcome);
    }

    // The files of a plain run: one job, through the cache, every file.
    Files reference(int32_t count, int32_t size_kb, int32_t type) {
        const std::filesystem::path folder = scratch.path() / ("reference" + std::to_string(references_++));
        EXPECT_EQ(run(folder, count, size_kb, type, {}), Ended::done);
        return read_folder(folder);
    }

    // Every way of writing a run of 6 files (jobs, shards, direct I/O) writes the files of one job
    // through the cache, name for name and byte for byte.
    void expect_as_one_job(int32_t size_kb, int32_t type) {
        constexpr int32_t kCount = 6;
        const struct {
            const char* name;
            int32_t jobs, first, last;
            bool direct;
        } cases[] = {
            {"4 jobs", 4, 1, 0, false},
            {"files 3-5", 1, 3, 5, false},
            {"file 6 alone, 3 jobs", 3, 6, 6, false},
            {"direct", 1, 1, 0, true},
            {"direct, 2 jobs, files 2-6", 2, 2, 6, true},
        };
        const Files whole = reference(kCount, size_kb, type);
        ASSERT_EQ(whole.size(), static_cast<size_t>(kCount));
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", type " + std::to_string(type) + ", unit " +
                         dedupe_unit_text(shape.unit) + ", " + std::to_string(size_kb) + " KB");
            const std::filesystem::path folder = scratch.path() / "out";
            std::filesystem::remove_all(folder);
            RunOptions options;
            options.jobs = c.jobs;
            options.first = c.first;
            options.last = c.last;
            options.direct = c.direct;
            RunOutcome outcome;
            ASSERT_EQ(run(folder, kCount, size_kb, type, options, &outcome), Ended::done);
            const int32_t last = c.last == 0 ? kCount : c.last;
            EXPECT_TRUE(read_folder(folder) == numbers(whole, c.first, last)) << "names and bytes";
            EXPECT_EQ(outcome.files_written, last - c.first + 1);
            EXPECT_EQ(outcome.bytes_written, static_cast<uint64_t>(last - c.first + 1) * size_kb * 1024);
            EXPECT_EQ(outcome.last, last);
            EXPECT_FALSE(outcome.disk_full);
        }
    }

    ScratchFolder scratch;
    DataShape shape; // of random data
    int references_ = 0;
};

TEST_F(StorageRun, JobsShardsAndDirectIoWriteTheBytesOfOnePlainRun) {
    // Empty files; 5 KB: one direct block whose tail is cut back; 1,027 KB: two blocks from two
    // lanes, the second ending past the alignment.
    for (const int32_t size_kb : {0, 5, 1027})
        for (const int32_t type : {0, 1, 2})
            expect_as_one_job(size_kb, type);
}

TEST_F(StorageRun, CopiesOfLargerUnitsAndWholeFilesAreTheSameWithJobsShardsAndDirectIo) {
    // Copies reach across files: every job, shard and lane must place them as one job does, with
    // units of 1 MiB (one in each file of 1,027 KB, and a short one) and with whole files (of 5 KB:
    // one direct block whose tail is cut back).
    shape = {50, 40, 20};
    expect_as_one_job(1027, 2);
    shape = {50, 40, kDedupeUnitFile};
    expect_as_one_job(5, 2);
}

TEST_F(StorageRun, GeneratorDataOfAnyFileStartsWhereTheRunsSequenceStands) {
    // File 3 of 5 KB files: two files of two chunks each before it, 1,024 steps per chunk.
    uint32_t x = kSeeds.data;
    for (int step = 0; step < 4 * 1024; ++step)
        x = lcg_step(x);
    const auto first_word = [](uint32_t seed, uint64_t file_bytes, uint32_t number) {
        RunContent run;
        run.files_type = kGeneratorData;
        run.file_bytes = file_bytes;
        run.generator_seed = seed;
        uint8_t chunk[kChunkBytes];
        FileContent(run, number).fill(0, chunk, 1);
        uint32_t word;
        std::memcpy(&word, chunk, 4);
        return word;
    };
    EXPECT_EQ(first_word(static_cast<uint32_t>(kSeeds.data), 5 * 1024, 3), lcg_step(x));
    EXPECT_EQ(first_word(77, 0, 65536), lcg_step(77)) << "empty files take no steps";
}

TEST_F(StorageRun, CancelDuringFourJobsKeepsWhatWasWrittenAndStops) {
    constexpr int32_t kCount = 12;
    constexpr int32_t kSizeKb = 1027;
    const Files whole = reference(kCount, kSizeKb, 0);
    for (const bool direct : {false, true}) {
        SCOPED_TRACE(direct ? "direct" : "through the cache");
        const std::filesystem::path folder = scratch.path() / (direct ? "direct" : "cached");
        CountingFileSystem fs;
        fs.on_bytes = [](uint64_t total) {
            if (total >= 3u << 20)
                run_cancel = true;
            return FileStatus{};
        };
        RecordingView view;
        GenerationSettings s;
        s.files_c = kCount;
        s.files_size = kSizeKb;
        s.Folder = folder.u16string();
        s.owner = &view;
        RunOptions options;
        options.jobs = 4;
        options.direct = direct;
        run_cancel = false;
        run_busy = true;
        ASSERT_EQ(run_as_worker(s, fs, kSeeds, options), Ended::done);
        EXPECT_FALSE(run_busy);
        EXPECT_EQ(view.upper, u"Canceled");
        EXPECT_EQ(view.count(u"final report"), 1);
        EXPECT_EQ(view.count(u"reveal"), 1);

        const Files left = read_folder(folder);
        EXPECT_GE(left.size(), 1u);
        EXPECT_LT(left.size(), static_cast<size_t>(kCount)) << "no job took a file after the cancel";
        std::string last_run, last_shown; // the highest number there is, whole or cut
        for (const auto& [name, bytes] : left) {
            SCOPED_TRACE(name);
            // A file the cancel cut short is set apart under a name no whole file has.
            const bool cut = name.ends_with(".partial");
            const std::string run_name = cut ? name.substr(0, name.size() - 8) : name;
            ASSERT_EQ(whole.count(run_name), 1u);
            const std::vector<uint8_t>& full = whole.at(run_name);
            if (cut)
                ASSERT_LT(bytes.size(), full.size());
            else
                ASSERT_EQ(bytes.size(), full.size());
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), full.begin()))
                << "a cancelled file is a beginning";
            if (run_name > last_run) {
                last_run = run_name;
                last_shown = name;
            }
        }
        // The file shown is the last one there is.
        EXPECT_EQ(view.events()[view.events().size() - 2],
                  u"reveal " + (folder / std::filesystem::path(last_shown)).u16string());
        run_cancel = false;
    }
}

TEST_F(StorageRun, AFailedWriteOfOneJobStopsEveryJobAndLeavesOnlyCompleteFiles) {
    for (const bool direct : {false, true}) {
        SCOPED_TRACE(direct ? "direct" : "through the cache");
        const std::filesystem::path folder = scratch.path() / (direct ? "direct" : "cached");
        CountingFileSystem fs;
        fs.on_bytes = [](uint64_t total) {
            return FileStatus(total > (5u << 20) ? FileStatus::Kind::failed : FileStatus::Kind::ok);
        };
        RecordingView view;
        RunOptions options;
        options.jobs = 3;
        options.direct = direct;
        EXPECT_EQ(run(folder, 9, 1027, 2, options, nullptr, &fs, &view), Ended::failed);
        EXPECT_EQ(view.count(u"error Attention: Could not open the target file"), 1) << "one message";
        EXPECT_EQ(view.count(u"final report") + view.count(u"reveal"), 0);
        const auto files = files_in(folder);
        EXPECT_GE(files.size(), 1u);
        for (const auto& file : files)
            EXPECT_EQ(std::filesystem::file_size(file), 1027u * 1024) << file;
    }
}

#ifndef _WIN32
// A file system of its own under the scratch folder for one test: a small tmpfs, ramfs (which
// refuses direct I/O) or ext4 on a loop device. Needs root; `skip` says why it is not there.
class Mount {
public:
    Mount(const std::filesystem::path& at, const std::string& type, const std::string& options = "")
        : at_(at) {
        std::filesystem::create_directories(at_);
        if (geteuid() != 0) {
            skip = "mounting " + type + " needs root";
            return;
        }
        std::string command;
        if (type == "ext4") {
            image_ = at_.string() + ".img";
            command = "truncate -s 64M '" + image_ + "' && mkfs.ext4 -q -F '" + image_ +
                      "' >/dev/null 2>&1 && mount -o loop '" + image_ + "' '" + at_.string() + "'";
        } else {
            command = "mount -t " + type + " " + options + " " + type + " '" + at_.string() + "'";
        }
        if (std::system((command + " 2>/dev/null").c_str()) != 0)
            skip = "this machine does not let the test mount " + type + " (" + command + ")";
        else
            mounted_ = true;
    }
    ~Mount() {
        if (mounted_)
            std::system(("umount '" + at_.string() + "'").c_str());
        if (!image_.empty())
            std::filesystem::remove(image_);
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;

    std::string skip;

private:
    std::filesystem::path at_;
    std::string image_;
    bool mounted_ = false;
};

// How many of the file's pages the system's cache holds.
size_t cached_pages(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const size_t size = std::filesystem::file_size(path);
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* map = size > 0 ? mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
    size_t cached = 0;
    if (map != MAP_FAILED) {
        std::vector<unsigned char> pages((size + page - 1) / page);
        if (mincore(map, size, pages.data()) == 0)
            for (const unsigned char p : pages)
                cached += p & 1;
        munmap(map, size);
    }
    ::close(fd);
    return cached;
}

TEST_F(StorageRun, DirectIoOnExt4WritesAndChecksPastTheCache) {
    const std::filesystem::path disk = scratch.path() / "ext4";
    Mount mount(disk, "ext4");
    if (!mount.skip.empty())
        GTEST_SKIP() << mount.skip;
    for (const int32_t type : {0, 2}) {
        SCOPED_TRACE("type " + std::to_string(type));
        const std::filesystem::path folder = disk / ("type" + std::to_string(type));
        RunOptions options;
        options.direct = true;
        options.jobs = type == 0 ? 1 : 2;
        RunOutcome outcome;
        ASSERT_EQ(run(folder, 3, 2051, type, options, &outcome), Ended::done);
        EXPECT_FALSE(outcome.direct_refused);
        for (const auto& file : files_in(folder))
            EXPECT_EQ(cached_pages(file), 0u) << "written past the cache: " << file;

        const std::unique_ptr<FileReader> reader = make_file_reader();
        CheckScope scope;
        scope.direct = true;
        FolderCheck check = verify_folder(folder.u16string(), *reader, 0, scope);
        ASSERT_EQ(check.runs.size(), 1u);
        EXPECT_TRUE(check.runs[0].intact());
        EXPECT_FALSE(check.direct_refused);
        for (const auto& file : files_in(folder))
            EXPECT_EQ(cached_pages(file), 0u) << "read past the cache: " << file;
        EXPECT_TRUE(read_folder(folder) == reference(3, 2051, type));

        // A byte changed on the disk, behind the cache's back, in the cut-back tail.
        const std::filesystem::path second = files_in(folder)[1];
        {
            std::vector<uint8_t> bytes = read_file(second);
            bytes.back() ^= 1;
            std::ofstream(second, std::ios::binary | std::ios::trunc)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        check = verify_folder(folder.u16string(), *reader, 0, scope);
        ASSERT_EQ(check.runs.size(), 1u);
        ASSERT_EQ(check.runs[0].problems.size(), 1u);
        EXPECT_EQ(check.runs[0].problems[0].number, 2);
        EXPECT_EQ(check.runs[0].problems[0].first_difference, 2051u * 1024 - 1);
    }

    // A run through the cache, then the check's cache dropping.
    const std::filesystem::path cached = disk / "cached";
    ASSERT_EQ(run(cached, 1, 300, 0, {}), Ended::done);
    const std::filesystem::path file = files_in(cached).at(0);
    EXPECT_GT(cached_pages(file), 0u);
    const std::unique_ptr<FileReader> reader = make_file_reader();
    const FileStatus dropped = reader->drop_cache(file.u16string());
    ASSERT_TRUE(dropped.ok()) << dropped.message;
    EXPECT_EQ(cached_pages(file), 0u);
    CheckScope scope;
    scope.drop_cache = true;
    const FolderCheck check = verify_folder(cached.u16string(), *reader, 0, scope);
    ASSERT_EQ(check.runs.size(), 1u);
    EXPECT_TRUE(check.runs[0].intact());
    EXPECT_TRUE(check.cache_kept.empty()) << check.cache_kept;
}

TEST_F(StorageRun, WhereDirectIoIsRefusedRunAndCheckGoThroughTheCache) {
    const std::filesystem::path disk = scratch.path() / "ramfs";
    Mount mount(disk, "ramfs");
    if (!mount.skip.empty())
        GTEST_SKIP() << mount.skip;
    RunOptions options;
    options.direct = true;
    options.jobs = 2;
    RunOutcome outcome;
    ASSERT_EQ(run(disk, 4, 1027, 0, options, &outcome), Ended::done);
    EXPECT_TRUE(outcome.direct_refused);
    EXPECT_EQ(outcome.files_written, 4);
    EXPECT_TRUE(read_folder(disk) == reference(4, 1027, 0));

    const std::unique_ptr<FileReader> reader = make_file_reader();
    CheckScope scope;
    scope.direct = true;
    const FolderCheck check = verify_folder(disk.u16string(), *reader, 0, scope);
    ASSERT_EQ(check.runs.size(), 1u);
    EXPECT_TRUE(check.runs[0].intact());
    EXPECT_TRUE(check.direct_refused);
    const std::vector<std::u16string> lines = verify_report(check);
    EXPECT_EQ(lines[lines.size() - 2],
              u"Note: the file system refused direct reads; files were read through the cache.");
}

TEST_F(StorageRun, FillWritesTheWholeDiskAndItsCheckCallsItIntact) {
    // 2 MiB hold 20 files of 100 KB (25 pages each, 512 pages in all) and 48 KB of a 21st, which
    // takes the room that is left.
    constexpr uint64_t kLastBytes = 12 * 4096;
    const struct {
        int32_t type, jobs;
        bool direct;
    } cases[] = {{0, 1, false}, {2, 3, false}, {1, 8, false}, {0, 2, true}, {2, 1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + ", " + std::to_string(c.jobs) + " jobs" +
                     (c.direct ? ", direct" : ""));
        const std::filesystem::path disk = scratch.path() / "small";
        Mount mount(disk, "tmpfs", "-o size=2m");
        if (!mount.skip.empty())
            GTEST_SKIP() << mount.skip;
        RunOptions options;
        options.fill = true;
        options.jobs = c.jobs;
        options.direct = c.direct;
        RunOutcome outcome;
        RecordingView view;
        ASSERT_EQ(run(disk, 65536, 100, c.type, options, &outcome, nullptr, &view), Ended::done);
        EXPECT_TRUE(outcome.disk_full);
        EXPECT_EQ(outcome.files_written, 21);
        EXPECT_EQ(outcome.last_bytes, kLastBytes);
        EXPECT_EQ(outcome.bytes_written, 20u * 100 * 1024 + kLastBytes);
        EXPECT_EQ(outcome.last, 21);
        EXPECT_EQ(view.count(u"error"), 0);
        EXPECT_EQ(view.count(u"final report"), 1);

        const Files kept = read_folder(disk);
        ASSERT_EQ(kept.size(), 21u);
        EXPECT_EQ(kept.begin()->first.find(c.type == 0   ? "non_compressible_fill__00001_"
                                           : c.type == 2 ? "random_fill__00001_"
                                                         : "maximal_compressible_fill__00001_"),
                  0u)
            << "the names have the width of 65,536 files and the fill mark";
        // Every file is the file a run of 65,536 would have written, the last one cut short.
        const std::filesystem::path whole = scratch.path() / "whole";
        std::filesystem::remove_all(whole);
        RunOptions twenty_one;
        twenty_one.last = 21;
        ASSERT_EQ(run(whole, 65536, 100, c.type, twenty_one), Ended::done);
        Files expected;
        for (const auto& [plain_name, plain_bytes] : read_folder(whole)) {
            std::string name = plain_name;
            std::vector<uint8_t> bytes = plain_bytes;
            name.replace(name.find("__"), 2, "_fill__");
            if (name.find("_00021_") != std::string::npos)
                bytes.resize(kLastBytes);
            expected[name] = bytes;
        }
        EXPECT_TRUE(kept == expected);

        // A plain check of the filled disk: intact, nothing wanted past the last file, the bytes
        // of all 21 files intact.
        const std::unique_ptr<FileReader> reader = make_file_reader();
        const FolderCheck check = verify_folder(disk.u16string(), *reader, 0, CheckScope{});
        ASSERT_EQ(check.runs.size(), 1u);
        const RunCheck& filled = check.runs[0];
        EXPECT_TRUE(filled.intact());
        EXPECT_TRUE(filled.fill);
        EXPECT_EQ(filled.file_bytes, 100u * 1024);
        EXPECT_EQ(filled.last_file_bytes, kLastBytes);
        const CheckTotals totals = run_totals(filled);
        EXPECT_EQ(totals.intact_bytes, 20u * 100 * 1024 + kLastBytes);
        EXPECT_EQ(totals.lost_bytes, 0u);
    }
}

TEST_F(StorageRun, AFilledDisksDamageIsStillFound) {
    const std::filesystem::path disk = scratch.path() / "small";
    Mount mount(disk, "tmpfs", "-o size=1m");
    if (!mount.skip.empty())
        GTEST_SKIP() << mount.skip;
    // Through the window's worker, which ends by saying how much fit.
    GenerationSettings settings;
    settings.files_c = 65536;
    settings.files_size = 100;
    settings.files_type = 2;
    settings.Folder = disk.u16string();
    RecordingView view;
    settings.owner = &view;
    RunOptions options;
    options.fill = true;
    RunOutcome outcome;
    PlatformFileSystem platform;
    run_busy = true;
    ASSERT_EQ(run_as_worker(settings, platform, kSeeds, options, &outcome), Ended::done);
    ASSERT_EQ(outcome.files_written, 11); // 10 of 100 KB, and 24 KB of the 11th
    EXPECT_EQ(to_utf8(view.lower), "The disk is full: 11 files fit, 1024.00 KB.");
    EXPECT_FALSE(run_busy);
    std::vector<std::filesystem::path> files = files_in(disk);
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 11u);
    const auto check = [&] {
        const std::unique_ptr<FileReader> reader = make_file_reader();
        return verify_folder(disk.u16string(), *reader, 0, CheckScope{});
    };
    // A file inside the run gone: missing, and its bytes lost.
    std::filesystem::remove(files[4]);
    FolderCheck found = check();
    ASSERT_EQ(found.runs.size(), 1u);
    EXPECT_FALSE(found.runs[0].intact());
    EXPECT_EQ(found.runs[0].missing, (std::vector<std::pair<int64_t, int64_t>>{{5, 5}}));
    EXPECT_EQ(run_totals(found.runs[0]).lost_bytes, 100u * 1024);
    // The last file cut to a size that is not whole kilobytes, or grown past the others: damaged.
    const std::vector<uint8_t> last = read_file(files[10]);
    ASSERT_EQ(last.size(), 24u * 1024);
    for (const uint64_t size : {uint64_t{24 * 1024 - 1}, uint64_t{101 * 1024}}) {
        SCOPED_TRACE(size);
        std::filesystem::resize_file(files[10], size);
        found = check();
        ASSERT_EQ(found.runs.size(), 1u);
        ASSERT_EQ(found.runs[0].problems.size(), 1u);
        EXPECT_EQ(found.runs[0].problems[0].number, 11);
        EXPECT_TRUE(found.runs[0].problems[0].wrong_size);
    }
    // A shorter file before the last one is cut short, not the end of the fill.
    std::ofstream(files[10], std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(last.data()), static_cast<std::streamsize>(last.size()));
    std::filesystem::resize_file(files[2], 50 * 1024);
    found = check();
    ASSERT_EQ(found.runs[0].problems.size(), 1u);
    EXPECT_EQ(found.runs[0].problems[0].number, 3);
    EXPECT_TRUE(found.runs[0].problems[0].wrong_size);
}
#endif

} // namespace
