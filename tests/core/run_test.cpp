// Tests of the generation run against the platform's real file system.
#include "core/run/run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/lcg.h"
#include "core/run/names.h"
#include "core/run/random.h"
#include "tests/core/run_fixtures.h"
#include "tests/core/shared_state.h"

namespace {

constexpr RunSeeds kSeeds{1234, 0xC0FFEE};
const std::u16string kTag = make_tag(kSeeds.tag);

class Run : public SharedState {
protected:
    void SetUp() override {
        SharedState::SetUp();
        ASSERT_TRUE(unpack_catalogue());
    }
    void TearDown() override {
        // A test that failed with its worker held lets it go before the state is put back.
        released = true;
        finish_busy_run(10000);
        SharedState::TearDown();
    }

    GenerationSettings settings(int32_t count, int32_t size_kb, int32_t type = 0) {
        GenerationSettings s;
        s.files_c = count;
        s.files_size = size_kb;
        s.files_type = type;
        s.Folder = scratch.text();
        s.owner = &view;
        return s;
    }

    std::filesystem::path file(int32_t count, int32_t number, int32_t type = 0) const {
        return scratch.path() / std::filesystem::path(file_name(type, count, number, kTag));
    }

    // Every write waits until `released` is set: the run stays busy for as long as a test needs.
    void hold_writes() {
        fs.on_write = [this](int, uint64_t) {
            while (!released)
                std::this_thread::yield();
            return FileSystem::WriteStatus::ok;
        };
    }

    ScratchFolder scratch;
    RecordingView view;
    HookedFileSystem fs;
    std::atomic<bool> released{false};
};

TEST(FileName, PiecesAndNumberWidths) {
    const struct {
        int32_t type, count, number;
        std::u16string expected;
    } cases[] = {
        {0, 250, 3, u"non_compressible__003_0123456780123456.file"},
        {2, 250, 3, u"random__003_0123456780123456.file"},
        {1, 999, 999, u"maximal_compressible__999_0123456780123456.file"},
        {7, 1000, 1, u"maximal_compressible__0001_0123456780123456.file"},
        {0, 9999, 10, u"non_compressible__0010_0123456780123456.file"},
        {0, 10000, 1, u"non_compressible__00001_0123456780123456.file"},
        {0, 65536, 65536, u"non_compressible__65536_0123456780123456.file"},
        {0, 100000, 7, u"non_compressible__000007_0123456780123456.file"},
        {0, 1000000, 7, u"non_compressible__0000007_0123456780123456.file"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(file_name(c.type, c.count, c.number, u"0123456780123456"), c.expected);
}

TEST(FileName, TagIsSixteenDigitsBelowNine) {
    for (uint32_t seed : {0u, 1u, 0xFFFFFFFFu, 987654321u}) {
        const std::u16string tag = make_tag(seed);
        ASSERT_EQ(tag.size(), 16u);
        for (const char16_t digit : tag)
            EXPECT_TRUE(digit >= u'0' && digit <= u'8') << to_utf8(tag);
        EXPECT_EQ(tag, make_tag(seed)) << "a seed fixes its tag";
    }
    EXPECT_NE(make_tag(1), make_tag(2));
}

TEST(Explorer, ProgramAndParameters) {
    EXPECT_EQ(explorer_program(u"C:\\windows"), u"C:\\windows\\explorer.exe");
    const struct {
        std::u16string path, expected;
    } cases[] = {
        {u"C:\\\\non_compressible__001_0.file",
         u" /select,\"C:\\non_compressible__001_0.file\",/e"}, // drive root
        {u"D:\\test\\a.file", u" /select,\"D:\\test\\a.file\",/e"},
        {u"\\\\server\\share\\\\a.file", u" /select,\"\\server\\share\\a.file\",/e"},
        {u"C:\\a\\\\\\b", u" /select,\"C:\\a\\\\b\",/e"}, // pairs from the left, without overlap
    };
    for (const auto& c : cases)
        EXPECT_EQ(explorer_parameters(c.path), c.expected) << to_utf8(c.path);
}

TEST_F(Run, EveryDataTypeIsByteExactAcrossChunksAndFiles) {
    const struct {
        int32_t type;
        int32_t size_kb;
    } cases[] = {
        // 1 KB: one short chunk; 5 KB: a whole and a short chunk (for generator data 2,048 steps).
        {kGeneratorData, 1},    {kGeneratorData, 5},
        {kGeneratorData, 260},  // more chunks than one write carries
        {kGeneratorData, 6147}, // many writes and a short last chunk
        {kRandomData, 1},       {kRandomData, 5},
        {kRandomData, 1030}, // past the first mebibyte, where the generators start afresh
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + ", " + std::to_string(c.size_kb) + " KB");
        ScratchFolder folder;
        GenerationSettings s = settings(3, c.size_kb, c.type);
        s.Folder = folder.text();
        ASSERT_EQ(generation_run(s, fs, kSeeds), 1);
        // Random data follows the seed that its tag carries.
        const std::u16string tag = c.type == kRandomData ? random_tag(kSeeds.data) : kTag;
        const size_t chunks = (static_cast<size_t>(c.size_kb) * 1024 + kChunkBytes - 1) / kChunkBytes;
        std::vector<uint8_t> expected(chunks * kChunkBytes);
        uint32_t x = kSeeds.data;
        for (int32_t n = 1; n <= 3; ++n) {
            if (c.type == kRandomData)
                RandomFileData(kSeeds.data, n).fill(0, expected.data(), chunks);
            else
                lcg_fill_reference(x, expected.data(), chunks); // the sequence runs on from file to file
            const std::vector<uint8_t> bytes =
                read_file(folder.path() / std::filesystem::path(file_name(c.type, 3, n, tag)));
            ASSERT_EQ(bytes.size(), static_cast<size_t>(c.size_kb) * 1024) << "file " << n;
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), expected.begin())) << "file " << n;
        }
    }
}

TEST(RunSeeds, OneNumberFixesBothSeeds) {
    EXPECT_EQ(run_seeds(42, 2).data, 42u) << "random data's seed is the number, and its tag shows it";
    EXPECT_EQ(run_seeds(kRandomSeedLimit - 1, 2).data, kRandomSeedLimit - 1);
    for (const int32_t type : {0, 1}) {
        const RunSeeds a = run_seeds(42, type), b = run_seeds(42, type), c = run_seeds(43, type);
        EXPECT_EQ(a.tag, b.tag);
        EXPECT_EQ(a.data, b.data);
        EXPECT_LT(a.data, uint64_t{1} << 32);
        EXPECT_NE(a.tag, c.tag);
        EXPECT_NE(a.data, c.data);
    }
}

TEST_F(Run, AnyOtherTypeWritesZeros) {
    for (const int32_t type : {1, 3, 7, -1}) {
        ScratchFolder folder;
        GenerationSettings s = settings(2, 9, type);
        s.Folder = folder.text();
        ASSERT_EQ(generation_run(s, fs, kSeeds), 1);
        for (const auto& path : files_in(folder.path())) {
            EXPECT_EQ(path.filename().u16string().rfind(u"maximal_compressible__", 0), 0u);
            EXPECT_EQ(read_file(path), std::vector<uint8_t>(9 * 1024, 0));
        }
        EXPECT_EQ(files_in(folder.path()).size(), 2u);
    }
}

TEST_F(Run, ReportsRevealsAndNumbersAThousandEmptyFiles) {
    ASSERT_EQ(generation_run(settings(1000, 0), fs, kSeeds), 1);
    const auto files = files_in(scratch.path());
    ASSERT_EQ(files.size(), 1000u);
    EXPECT_EQ(files.front(), file(1000, 1));
    EXPECT_EQ(files.back(), file(1000, 1000));
    EXPECT_EQ(std::filesystem::file_size(files.back()), 0u);
    // A report after every 11 creations, then the final one.
    EXPECT_EQ(view.count(u"report"), 1000 / 11);
    EXPECT_EQ(view.count(u"final report"), 1);
    EXPECT_EQ(view.events().back(), u"reveal " + file(1000, 1000).u16string());
    EXPECT_EQ(view.bar, 100);
    EXPECT_EQ(view.upper.rfind(u"Finished   :||  \u00D8 0 Byte / sec.  || Total time: ", 0), 0u)
        << to_utf8(view.upper);
    EXPECT_EQ(view.lower, u"");
}

TEST_F(Run, MakesNestedFoldersAlsoFromForwardSlashes) {
    GenerationSettings s = settings(2, 1);
    s.Folder = scratch.text() + u"/one/two/three";
    ASSERT_EQ(generation_run(s, fs, kSeeds), 1);
    const auto folder = scratch.path() / "one" / "two" / "three";
    ASSERT_EQ(files_in(folder).size(), 2u);
    // Each file is made under the folder text as it was given.
    const std::u16string separator(1, fs.separator());
    EXPECT_EQ(view.events().back(), u"reveal " + s.Folder + separator + file_name(0, 2, 2, kTag));
}

#ifdef _WIN32
TEST_F(Run, ADriveRootGivesADoubledBackslash) {
    GenerationSettings s = settings(2, 1);
    s.Folder = u"C:\\";
    ASSERT_EQ(generation_run(s, fs, kSeeds), 1);
    const std::u16string last = u"C:\\\\" + file_name(0, 2, 2, kTag);
    EXPECT_EQ(view.events().back(), u"reveal " + last);
    EXPECT_EQ(explorer_parameters(last), u" /select,\"C:\\" + file_name(0, 2, 2, kTag) + u"\",/e");
    for (int32_t n = 1; n <= 2; ++n) {
        const std::filesystem::path path = std::filesystem::path(u"C:\\") / file_name(0, 2, n, kTag);
        EXPECT_EQ(std::filesystem::file_size(path), 1024u);
        std::filesystem::remove(path);
    }
}
#endif

TEST_F(Run, TargetErrors) {
    // The destination folder is a file.
    std::ofstream(scratch.path() / "occupied") << "x";
    GenerationSettings s = settings(2, 1);
    s.Folder = (scratch.path() / "occupied").u16string();
    EXPECT_EQ(generation_run(s, fs, kSeeds), -1);
    EXPECT_EQ(view.events(),
              std::vector<std::u16string>{u"error Attention: Could not open the target file\r\n" + s.Folder});

    // The first file's name is taken by a folder.
    RecordingView second;
    s = settings(2, 1);
    s.owner = &second;
    std::filesystem::create_directory(file(2, 1));
    EXPECT_EQ(generation_run(s, fs, kSeeds), -1);
    EXPECT_EQ(second.events(),
              std::vector<std::u16string>{u"error Attention: Could not open the target file\r\n" + s.Folder});
    EXPECT_FALSE(std::filesystem::exists(file(2, 2)));
}

// The platform's file system on which no folder can be made; it counts the files a run tries to
// make.
class NoNewFolders : public PlatformFileSystem {
public:
    bool create_folder(const std::u16string&) override { return false; }
    Handle create_file(const std::u16string& path) override {
        ++files_tried;
        return PlatformFileSystem::create_file(path);
    }
    Handle create_new_file(const std::u16string& path) override {
        ++files_tried;
        return PlatformFileSystem::create_new_file(path);
    }
    int files_tried = 0;
};

TEST_F(Run, AFolderThatCannotBeMadeStopsTheRunBeforeItsFirstFile) {
    NoNewFolders no_folders;
    std::ofstream(scratch.path() / "occupied") << "x";
    const struct {
        std::u16string folder;
        bool there;
    } cases[] = {
        {scratch.text(), true},
        {u"", true}, // the root
        {scratch.text() + u"/new/deeper", false},
        {(scratch.path() / "occupied").u16string(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.folder));
        EXPECT_EQ(make_folder_path(c.folder, no_folders), c.there);
    }

    GenerationSettings s = settings(2, 1);
    s.Folder = scratch.text() + u"/new/deeper";
    EXPECT_EQ(generation_run(s, no_folders, kSeeds), -1);
    EXPECT_EQ(view.events(),
              std::vector<std::u16string>{u"error Attention: Could not open the target file\r\n" + s.Folder});
    EXPECT_EQ(no_folders.files_tried, 0);
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "new"));
}

TEST_F(Run, OverwriteYesRewritesNoStopsWithoutChange) {
    std::ofstream(file(3, 2)) << "old";
    // No: the run ends at the existing file; the file before it is written, nothing after it.
    view.overwrite_answer = false;
    EXPECT_EQ(generation_run(settings(3, 4), fs, kSeeds), -1);
    EXPECT_EQ(read_file(file(3, 2)), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_FALSE(std::filesystem::exists(file(3, 3)));
    EXPECT_EQ(view.count(u"ask Info: Output file already exists. Overwrite existing ?\r\n\"" +
                         file(3, 2).u16string() + u"\""),
              1);
    EXPECT_EQ(view.count(u"final report") + view.count(u"reveal"), 0);

    RecordingView yes;
    yes.overwrite_answer = true;
    GenerationSettings s = settings(3, 4);
    s.owner = &yes;
    EXPECT_EQ(generation_run(s, fs, kSeeds), 1);
    EXPECT_EQ(std::filesystem::file_size(file(3, 2)), 4096u);
    EXPECT_EQ(std::filesystem::file_size(file(3, 3)), 4096u);
}

TEST_F(Run, CancelDuringTheThirdFileKeepsItPartial) {
    fs.on_write = [](int file_number, uint64_t) {
        if (file_number == 3)
            run_cancel = true;
        return FileSystem::WriteStatus::ok;
    };
    run_busy = true;
    EXPECT_EQ(generation_thread(settings(5, 4096), fs, kSeeds), 1);
    EXPECT_FALSE(run_busy);
    EXPECT_EQ(std::filesystem::file_size(file(5, 1)), 4096u * 1024);
    EXPECT_EQ(std::filesystem::file_size(file(5, 2)), 4096u * 1024);
    const auto partial = std::filesystem::file_size(file(5, 3));
    EXPECT_GT(partial, 0u);
    EXPECT_LT(partial, 4096u * 1024);
    EXPECT_FALSE(std::filesystem::exists(file(5, 4)));

    const auto events = view.events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[events.size() - 3], u"final report");
    EXPECT_EQ(events[events.size() - 2], u"reveal " + file(5, 3).u16string());
    EXPECT_EQ(events.back(), u"enable Start");
    EXPECT_EQ(view.upper, u"Canceled");
    EXPECT_EQ(view.lower, u"");
}

TEST_F(Run, SizeZeroCreatesEveryFileEvenWhenCancelled) {
    run_cancel = true; // only a chunk write looks at it
    run_busy = true;
    EXPECT_EQ(generation_thread(settings(4, 0), fs, kSeeds), 1);
    EXPECT_EQ(files_in(scratch.path()).size(), 4u);
    EXPECT_EQ(view.upper, u"Canceled");
    EXPECT_EQ(view.count(u"final report"), 1);
}

TEST_F(Run, FailedWritesStopTheRunAndRemoveTheIncompleteFile) {
    const struct {
        FileSystem::WriteStatus status;
        TextId text;
    } cases[] = {{FileSystem::WriteStatus::disk_full, kTextDiskFull},
                 {FileSystem::WriteStatus::failed, kTextTargetNotOpened}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ScratchFolder folder;
        RecordingView failing_view;
        HookedFileSystem failing;
        failing.on_write = [&](int file_number, uint64_t bytes) {
            return file_number == 2 && bytes > 0 ? c.status : FileSystem::WriteStatus::ok;
        };
        GenerationSettings s = settings(3, 600);
        s.Folder = folder.text();
        s.owner = &failing_view;
        EXPECT_EQ(generation_run(s, failing, kSeeds), -1);
        const auto files = files_in(folder.path());
        ASSERT_EQ(files.size(), 1u) << "the complete file stays, the incomplete one goes";
        EXPECT_EQ(std::filesystem::file_size(files[0]), 600u * 1024);
        const std::u16string second =
            (folder.path() / std::filesystem::path(file_name(0, 3, 2, kTag))).u16string();
        EXPECT_EQ(failing_view.events().back(), u"error Attention: " + text(c.text) + u"\r\n" + second);
        EXPECT_EQ(failing_view.count(u"final report") + failing_view.count(u"reveal"), 0);
    }
}

#ifndef _WIN32
TEST_F(Run, AFullDiskStopsTheRun) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const std::filesystem::path disk = scratch.path() / "disk";
    std::filesystem::create_directory(disk);
    if (std::system(("mount -t tmpfs -o size=2m tmpfs '" + disk.string() + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "this machine does not let the test mount a tmpfs";
    GenerationSettings s = settings(3, 1536);
    s.Folder = disk.u16string();
    const int32_t result = generation_run(s, fs, kSeeds);
    const auto files = files_in(disk);
    std::vector<uintmax_t> sizes;
    for (const auto& f : files)
        sizes.push_back(std::filesystem::file_size(f));
    std::system(("umount '" + disk.string() + "'").c_str());

    EXPECT_EQ(result, -1);
    EXPECT_EQ(sizes, std::vector<uintmax_t>{1536u * 1024}) << "the first file fits, the second is removed";
    const std::u16string second = (disk / std::filesystem::path(file_name(0, 3, 2, kTag))).u16string();
    EXPECT_EQ(view.events().back(), u"error Attention: The disk is full!\r\n" + second);
    EXPECT_EQ(view.count(u"final report") + view.count(u"reveal"), 0);
}
#endif

TEST_F(Run, RefusesNegativeSizesAndOverlongPathsBeforeCreatingAnything) {
    GenerationSettings s = settings(2, -5);
    s.Folder = scratch.text() + u"/new";
    EXPECT_EQ(generation_run(s, fs, kSeeds), -1);
    EXPECT_EQ(view.events(), std::vector<std::u16string>{
                                 u"error Attention: The size of the files must not be negative.\r\n-5 KB"});

    RecordingView long_view;
    s = settings(2, 1);
    s.owner = &long_view;
    s.Folder = scratch.text() + u"/" + std::u16string(fs.max_path_length(), u'd');
    EXPECT_EQ(generation_run(s, fs, kSeeds), -1);
    EXPECT_EQ(
        long_view.events(),
        std::vector<std::u16string>{u"error Attention: The path is too long: a file's full path may have at "
                                    u"most " +
                                    format_ascii("%d", static_cast<int>(fs.max_path_length())) +
                                    u" characters.\r\n" + s.Folder});
    EXPECT_TRUE(files_in(scratch.path()).empty()) << "no folder made";
}

TEST_F(Run, StartOrCancelRunsOneWorkerAndAsksWhileBusy) {
    GenerationSettings s = settings(3, 8192);
    generation_settings = s;
    hold_writes(); // until the cancel question has been answered
    start_or_cancel(fs);
    EXPECT_TRUE(run_busy);
    start_or_cancel(fs); // busy: asks, and Yes cancels
    EXPECT_TRUE(run_cancel);
    released = true;
    for (int i = 0; i < 1000 && run_busy; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(run_busy);

    const auto events = view.events();
    EXPECT_EQ(events.front(), u"disable &Cancel");
    EXPECT_EQ(view.count(u"cancel? Do you want to cancel the current operation? "), 1);
    EXPECT_EQ(events.back(), u"enable Start");
    EXPECT_EQ(view.upper, u"Canceled");
    EXPECT_EQ(files_in(scratch.path()).size(), 1u) << "cancelled within the first file";
}

TEST_F(Run, AProgramEndingDuringARunCancelsItAndWaitsABoundedTime) {
    EXPECT_TRUE(finish_busy_run(0)) << "no run busy";
    generation_settings = settings(2, 8192);
    hold_writes();
    start_or_cancel(fs);
    ASSERT_TRUE(run_busy);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(finish_busy_run(200)) << "the worker is held: the wait gives up";
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_TRUE(run_cancel);
    released = true;
    EXPECT_TRUE(finish_busy_run(10000));
    EXPECT_EQ(files_in(scratch.path()).size(), 1u) << "cancelled after the first write";
    EXPECT_EQ(view.count(u"reveal"), 0) << "no Explorer window as the program ends";
    EXPECT_EQ(view.upper, u"Canceled");
}

} // namespace
