// Tests of the generation run against the platform's real file system.
#include "core/run/run.h"
#include "core/run/run_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/lcg.h"
#include "core/run/names.h"
#include "core/run/random.h"
#include "core/run/reveal.h"
#include "core/run/shaped.h"
#include "tests/core/links.h"
#include "tests/core/run_fixtures.h"
#include "tests/core/shared_state.h"

namespace {

constexpr RunSeeds kSeeds{1234, 0xC0FFEE};
const std::u16string kTag = run_tag(kGeneratorData, kSeeds);

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
            return FileStatus{};
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

TEST(FileName, ShapedRandomDataNamesItsShapeAndReadsBack) {
    const std::u16string tag = u"0123456780123456";
    const struct {
        int32_t type;
        DataShape shape;
        std::u16string expected;
    } cases[] = {
        {2, {40, 30}, u"random_c40_d30__003_0123456780123456.file"},
        {2, {1, 0}, u"random_c1_d0__003_0123456780123456.file"},
        {2, {100, 99}, u"random_c100_d99__003_0123456780123456.file"},
        {2, {100, 0}, u"random__003_0123456780123456.file"}, // plain random data
        {2, {40, 30, 20}, u"random_c40_d30_u1m__003_0123456780123456.file"},
        {2, {100, 1, 13}, u"random_c100_d1_u8k__003_0123456780123456.file"},
        {2, {7, 99, 26}, u"random_c7_d99_u64m__003_0123456780123456.file"},
        {2, {40, 30, kDedupeUnitFile}, u"random_c40_d30_ufile__003_0123456780123456.file"},
        {0, {40, 30}, u"non_compressible__003_0123456780123456.file"}, // a shape is random data's
    };
    for (const auto& c : cases) {
        const std::u16string name = file_name(c.type, 250, 3, tag, c.shape);
        EXPECT_EQ(name, c.expected);
        const std::optional<RunFileName> parsed = parse_run_file_name(name);
        ASSERT_TRUE(parsed.has_value()) << to_utf8(name);
        EXPECT_EQ(parsed->files_type, c.type);
        EXPECT_EQ(parsed->marks.shape, c.type == 2 ? c.shape : DataShape{}) << to_utf8(name);
        EXPECT_EQ(parsed->number, 3);
        EXPECT_EQ(parsed->tag, tag);
    }
    // Only what a run writes reads back: no leading zeros, values in range, never the plain shape.
    for (const char16_t* name :
         {u"random_c040_d30__003_0123456780123456.file", u"random_c40_d030__003_0123456780123456.file",
          u"random_c0_d30__003_0123456780123456.file", u"random_c101_d30__003_0123456780123456.file",
          u"random_c40_d100__003_0123456780123456.file", u"random_c100_d0__003_0123456780123456.file",
          u"random_c40_d30_003_0123456780123456.file", u"random_c40__003_0123456780123456.file",
          u"random_c_d30__003_0123456780123456.file", u"random_c1000_d0__003_0123456780123456.file",
          // A unit is marked as the run marks it, never 4K, and only with copies.
          u"random_c40_d30_u4k__003_0123456780123456.file", u"random_c40_d30_u1M__003_0123456780123456.file",
          u"random_c40_d30_u1024k__003_0123456780123456.file",
          u"random_c40_d30_u128m__003_0123456780123456.file", u"random_c40_d30_u__003_0123456780123456.file",
          u"random_c40_d30_u1m_003_0123456780123456.file", u"random_c40_d0_u1m__003_0123456780123456.file",
          u"random_c40_d30_ufiles__003_0123456780123456.file",
          u"random_c40_d30_x1m__003_0123456780123456.file"})
        EXPECT_FALSE(parse_run_file_name(name).has_value()) << to_utf8(name);
}

TEST(FileName, TheMarksOfTreesAndFillRunsComeLastInTheHeadAndReadBack) {
    const std::u16string tag = u"0123456780123456";
    const struct {
        int32_t type;
        RunMarks marks;
        std::u16string expected;
    } cases[] = {
        {0, {{}, 0, true}, u"non_compressible_fill__00003_0123456780123456.file"},
        {1, {{}, 0, true}, u"maximal_compressible_fill__00003_0123456780123456.file"},
        {2, {{}, 0, true}, u"random_fill__00003_0123456780123456.file"},
        {2, {{40, 30}, 0, true}, u"random_c40_d30_fill__00003_0123456780123456.file"},
        {2, {{40, 30, 20}, 0, true}, u"random_c40_d30_u1m_fill__00003_0123456780123456.file"},
        {0, {{}, 1000, false}, u"non_compressible_t1000__00003_0123456780123456.file"},
        {2, {{40, 30, 20}, 2, false}, u"random_c40_d30_u1m_t2__00003_0123456780123456.file"},
        {1, {{}, 4294967295, true}, u"maximal_compressible_t4294967295_fill__00003_0123456780123456.file"},
    };
    for (const auto& c : cases) {
        const std::u16string name = file_name(c.type, 65536, 3, tag, c.marks);
        EXPECT_EQ(name, c.expected);
        for (const bool partial : {false, true}) {
            const std::optional<RunFileName> parsed =
                parse_run_file_name(partial ? name + std::u16string(kPartialSuffix) : name);
            ASSERT_TRUE(parsed.has_value()) << to_utf8(name);
            EXPECT_EQ(parsed->marks, c.marks);
            EXPECT_EQ(parsed->partial, partial);
            EXPECT_EQ(parsed->files_type, c.type);
            EXPECT_EQ(parsed->number, 3);
            EXPECT_EQ(parsed->tag, tag);
        }
        // The same run without its marks is another run.
        const std::optional<RunFileName> plain =
            parse_run_file_name(file_name(c.type, 65536, 3, tag, c.marks.shape));
        ASSERT_TRUE(plain.has_value());
        EXPECT_EQ(plain->marks, RunMarks(c.marks.shape));
    }
    // A tree mark is "_t" and a number of 2 or more without a leading zero, before the fill mark.
    for (const char16_t* name :
         {u"non_compressible_t1__00003_0123456780123456.file",
          u"non_compressible_t01000__00003_0123456780123456.file",
          u"non_compressible_t__00003_0123456780123456.file",
          u"non_compressible_fill_t10__00003_0123456780123456.file",
          u"non_compressible_t10_t10__00003_0123456780123456.file",
          u"non_compressible_t4294967296__00003_0123456780123456.file", u"t10__00003_0123456780123456.file"})
        EXPECT_FALSE(parse_run_file_name(name).has_value()) << to_utf8(name);
    // The mark belongs right before the "__", once, after a head a run writes.
    for (const char16_t* name :
         {u"fill__00003_0123456780123456.file", u"non_compressible_fill_fill__00003_0123456780123456.file",
          u"non_compressible__fill_00003_0123456780123456.file",
          u"random_fill_c40_d30__003_0123456780123456.file",
          u"non_compressible_Fill__00003_0123456780123456.file", u"other_fill__00003_0123456780123456.file"})
        EXPECT_FALSE(parse_run_file_name(name).has_value()) << to_utf8(name);
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
        ASSERT_EQ(generation_run(s, fs, kSeeds), Ended::done);
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

TEST_F(Run, ShapedDataFollowsTheSeedTheShapeAndTheRunsFileSize) {
    // 5 KB: one whole block and a short one per file; 1,030 KB: past a mebibyte, 257 whole blocks.
    const DataShape shape{40, 30};
    for (const int32_t size_kb : {5, 1030}) {
        SCOPED_TRACE(std::to_string(size_kb) + " KB");
        ScratchFolder folder;
        GenerationSettings s = settings(3, size_kb, 2);
        s.shape = shape;
        s.Folder = folder.text();
        ASSERT_EQ(generation_run(s, fs, kSeeds), Ended::done);
        const uint64_t file_bytes = static_cast<uint64_t>(size_kb) * 1024;
        const size_t chunks = (file_bytes + kChunkBytes - 1) / kChunkBytes;
        std::vector<uint8_t> expected(chunks * kChunkBytes);
        for (int32_t n = 1; n <= 3; ++n) {
            ShapedFileData(kSeeds.data, shape, file_bytes, n).fill(0, expected.data(), chunks);
            const std::vector<uint8_t> bytes = read_file(
                folder.path() / std::filesystem::path(file_name(2, 3, n, random_tag(kSeeds.data), shape)));
            ASSERT_EQ(bytes.size(), file_bytes) << "file " << n;
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), expected.begin())) << "file " << n;
        }
    }
    // A shape out of range is taken at the nearest end of its range.
    ScratchFolder folder;
    GenerationSettings s = settings(1, 4, 2);
    s.shape = {0, 100};
    s.Folder = folder.text();
    ASSERT_EQ(generation_run(s, fs, kSeeds), Ended::done);
    EXPECT_TRUE(std::filesystem::exists(
        folder.path() /
        std::filesystem::path(file_name(2, 1, 1, random_tag(kSeeds.data), DataShape{1, 99}))));
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
        ASSERT_EQ(generation_run(s, fs, kSeeds), Ended::done);
        for (const auto& path : files_in(folder.path())) {
            EXPECT_EQ(path.filename().u16string().rfind(u"maximal_compressible__", 0), 0u);
            EXPECT_EQ(read_file(path), std::vector<uint8_t>(9 * 1024, 0));
        }
        EXPECT_EQ(files_in(folder.path()).size(), 2u);
    }
}

TEST_F(Run, ReportsRevealsAndNumbersAThousandEmptyFiles) {
    ASSERT_EQ(generation_run(settings(1000, 0), fs, kSeeds), Ended::done);
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
    ASSERT_EQ(generation_run(s, fs, kSeeds), Ended::done);
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
    ASSERT_EQ(generation_run(s, fs, kSeeds), Ended::done);
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
    EXPECT_EQ(generation_run(s, fs, kSeeds), Ended::failed);
    EXPECT_EQ(view.events(),
              std::vector<std::u16string>{u"error Attention: Could not open the target file\r\n" + s.Folder});

    // The first file's name is taken by a folder: the error names the file, and says why.
    RecordingView second;
    s = settings(2, 1);
    s.owner = &second;
    std::filesystem::create_directory(file(2, 1));
    EXPECT_EQ(generation_run(s, fs, kSeeds), Ended::failed);
    EXPECT_EQ(second.events(), std::vector<std::u16string>{u"error Attention: " + text(kTextRefusedFolder) +
                                                           u"\r\n" + file(2, 1).u16string()});
    EXPECT_FALSE(std::filesystem::exists(file(2, 2)));
}

// What an attacker may plant at a run file's name before the run comes to it, made with the
// system's own means. `make` returns false, with the reason, where this system cannot make it.
struct Planted {
    const char* what;
    TextId reason; // what the error says has the name

    std::function<bool(const std::filesystem::path& at, const std::filesystem::path& target,
                       std::string& why)>
        make;
};

#ifdef _WIN32
// Wine shows Unix links as what they point at; one that points nowhere is a name that is taken but
// cannot be opened.
bool unix_link(const std::filesystem::path& at, const std::filesystem::path& target, std::string& why) {
    if (!under_wine()) {
        why = "not running under Wine";
        return false;
    }
    if (!make_link(target, at, false, why))
        return false;
    // Wine cannot open it (it points nowhere), yet the name is taken: nothing can be created there.
    HANDLE probe = CreateFileW(at.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
            DeleteFileW(at.c_str());
        }
        why = "the link did not come into being";
        return false;
    }
    return true;
}

const Planted kPlanted[] = {
    {"a symbolic link (a reparse point)", kTextRefusedLink,
     [](const std::filesystem::path& at, const std::filesystem::path& target, std::string& why) {
         std::ofstream(target) << "keep";
         CreateSymbolicLinkW(at.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
         const DWORD attributes = GetFileAttributesW(at.c_str());
         if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
             // Wine 8 answers CreateSymbolicLinkW with success and makes nothing.
             why = "CreateSymbolicLinkW made no link here";
             return false;
         }
         return true;
     }},
    // Wine sees a name that is taken and cannot be opened: what has it cannot be told.
    {"a link that points nowhere (made by Unix under Wine)", kTextRefusedOther, unix_link},
    // Wine shows it as the file it points to, and would remove that file in the link's place.
    {"a link to an existing file (made by Unix under Wine)", kTextRefusedLink,
     [](const std::filesystem::path& at, const std::filesystem::path& target, std::string& why) {
         std::ofstream(target) << "keep";
         if (!under_wine()) {
             why = "not running under Wine";
             return false;
         }
         return make_link(target, at, false, why);
     }},
};
#else
const Planted kPlanted[] = {
    {"a link to a file that does not exist yet", kTextRefusedLink,
     [](const std::filesystem::path& at, const std::filesystem::path& target, std::string&) {
         return symlink(target.c_str(), at.c_str()) == 0;
     }},
    {"a link to an existing file", kTextRefusedLink,
     [](const std::filesystem::path& at, const std::filesystem::path& target, std::string&) {
         std::ofstream(target) << "keep";
         return symlink(target.c_str(), at.c_str()) == 0;
     }},
    {"a link to a folder", kTextRefusedLink,
     [](const std::filesystem::path& at, const std::filesystem::path& target, std::string&) {
         return std::filesystem::create_directory(target) && symlink(target.c_str(), at.c_str()) == 0;
     }},
    // Opening a pipe for writing waits for a reader: a run that opened it would never end.
    {"a pipe", kTextRefusedPipe,
     [](const std::filesystem::path& at, const std::filesystem::path&, std::string&) {
         return mkfifo(at.c_str(), 0666) == 0;
     }},
    {"a socket", kTextRefusedOther,
     [](const std::filesystem::path& at, const std::filesystem::path&, std::string& why) {
         sockaddr_un address = {};
         address.sun_family = AF_UNIX;
         if (at.string().size() >= sizeof address.sun_path) {
             why = "the path is too long for a socket";
             return false;
         }
         std::strcpy(address.sun_path, at.c_str());
         const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
         const bool bound = bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
         close(sock);
         return bound;
     }},
    {"a device", kTextRefusedOther,
     [](const std::filesystem::path& at, const std::filesystem::path&, std::string& why) {
         if (mknod(at.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) // the null device
             return true;
         why = "making a device node needs root";
         return false;
     }},
};
#endif

TEST_F(Run, NamesTakenByWhatIsNoRegularFileAreNeverWrittenThrough) {
    int made = 0;
    for (const Planted& planted : kPlanted) {
        for (const bool yes : {true, false}) {
            SCOPED_TRACE(std::string(planted.what) + (yes ? ", overwrite answered Yes" : ", No"));
            ScratchFolder folder;
            const std::filesystem::path at = folder.path() / std::filesystem::path(file_name(0, 3, 2, kTag));
            const std::filesystem::path target = folder.path() / "elsewhere";
            std::string why;
            if (!planted.make(at, target, why)) {
                if (yes)
                    std::printf("[   NOTE   ] %s: not tested here: %s\n", planted.what, why.c_str());
                continue;
            }
            Links planted_link; // what was planted goes as itself
            planted_link.add(at, false);
            made += yes;
            const auto before = std::filesystem::symlink_status(at).type();
            RecordingView planted_view;
            planted_view.overwrite_answer = yes; // the answer never matters: nobody is asked
            GenerationSettings s = settings(3, 4);
            s.Folder = folder.text();
            s.owner = &planted_view;
            const auto started = std::chrono::steady_clock::now();
            EXPECT_EQ(generation_run(s, fs, kSeeds), Ended::failed);
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
            EXPECT_EQ(planted_view.events(),
                      std::vector<std::u16string>{u"error Attention: " + text(planted.reason) + u"\r\n" +
                                                  at.u16string()})
                << "the error names the path and says why";
            EXPECT_EQ(
                std::filesystem::file_size(folder.path() / std::filesystem::path(file_name(0, 3, 1, kTag))),
                4096u);
            EXPECT_FALSE(
                std::filesystem::exists(folder.path() / std::filesystem::path(file_name(0, 3, 3, kTag))));
            EXPECT_EQ(std::filesystem::symlink_status(at).type(), before)
                << "what was planted stays as it was";
            std::error_code error;
            if (std::filesystem::is_regular_file(target, error))
                EXPECT_EQ(read_file(target), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}))
                    << "the target untouched";
            else
                EXPECT_NE(std::filesystem::symlink_status(target).type(), std::filesystem::file_type::regular)
                    << "no file made where the link points";
        }
    }
#ifdef _WIN32
    if (made == 0)
        GTEST_SKIP() << "this system made none of the planted names";
#else
    EXPECT_GE(made, 5);
#endif
}

// The platform's file system, counting the files a run tries to make.
class CountingCreates : public PlatformFileSystem {
public:
    FileStatus create_file(Handle folder, const std::u16string& name, Handle& file) override {
        ++files_tried;
        return PlatformFileSystem::create_file(folder, name, file);
    }
    FileStatus create_new_file(Handle folder, const std::u16string& name, Handle& file) override {
        ++files_tried;
        return PlatformFileSystem::create_new_file(folder, name, file);
    }
    int files_tried = 0;
};

TEST_F(Run, AFolderThatCannotBeOpenedStopsTheRunBeforeItsFirstFile) {
    CountingCreates counting;
    std::ofstream(scratch.path() / "occupied") << "x";
#ifndef _WIN32
    // The folder the user names may be reached through a link; only run files never are.
    std::filesystem::create_directory(scratch.path() / "real");
    std::filesystem::create_directory_symlink(scratch.path() / "real", scratch.path() / "linked");
    std::filesystem::create_symlink(scratch.path() / "occupied", scratch.path() / "linked-file");
#endif
    const struct {
        std::u16string folder;
        bool opens;
    } cases[] = {
        {scratch.text(), true},
        {u"", true}, // the root
        {scratch.text() + u"/made/deeper", true},
        {(scratch.path() / "occupied").u16string(), false},
        {(scratch.path() / "occupied").u16string() + u"/below", false},
#ifndef _WIN32
        {(scratch.path() / "linked").u16string(), true},
        {(scratch.path() / "linked").u16string() + u"/made", true},
        {(scratch.path() / "linked-file").u16string(), false},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.folder));
        FileSystem::Handle folder = FileSystem::kNoHandle;
        const FileStatus status = counting.open_folder(c.folder, folder);
        EXPECT_EQ(folder != FileSystem::kNoHandle, c.opens);
        EXPECT_EQ(status.ok(), c.opens);
        if (folder != FileSystem::kNoHandle) {
            EXPECT_TRUE(counting.same_folder(folder, c.folder));
            EXPECT_EQ(counting.probe(folder, u"no such name"), FileSystem::Kind::missing);
            counting.close_folder(folder);
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(scratch.path() / "made" / "deeper"));
#ifndef _WIN32
    EXPECT_TRUE(std::filesystem::is_directory(scratch.path() / "real" / "made"));
#endif

    GenerationSettings s = settings(2, 1);
    s.Folder = (scratch.path() / "occupied").u16string() + u"/new/deeper";
    EXPECT_EQ(generation_run(s, counting, kSeeds), Ended::failed);
    EXPECT_EQ(view.events(),
              std::vector<std::u16string>{u"error Attention: Could not open the target file\r\n" + s.Folder});
    EXPECT_EQ(counting.files_tried, 0);
}

TEST_F(Run, OverwriteYesRewritesNoStopsWithoutChange) {
    std::ofstream(file(3, 2)) << "old";
    // No: the run ends at the existing file; the file before it is written, nothing after it.
    view.overwrite_answer = false;
    EXPECT_EQ(generation_run(settings(3, 4), fs, kSeeds), Ended::declined);
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
    EXPECT_EQ(generation_run(s, fs, kSeeds), Ended::done);
    EXPECT_EQ(std::filesystem::file_size(file(3, 2)), 4096u);
    EXPECT_EQ(std::filesystem::file_size(file(3, 3)), 4096u);
}

TEST_F(Run, ACancelKeepsWhatWasWrittenAndSetsTheCutFileApart) {
    const struct {
        const char* what;
        int32_t count, size_kb;
        int cancel_in; // the file during whose making the cancel comes
        std::vector<uint64_t> whole;
        bool cut; // the next file was cut short and carries ".partial"
    } cases[] = {
        {"during the third file's writes", 5, 4096, 3, {4096u * 1024, 4096u * 1024}, true},
        // A file of one batch is whole when the cancel is seen: it keeps its name, nothing follows.
        {"at the second file's only write", 3, 4, 2, {4096, 4096}, false},
        // Without writes the cancel still acts after the file it came during.
        {"while empty files are made", 4, 0, 2, {0, 0}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder folder;
        RecordingView cancel_view;
        HookedFileSystem cancelling;
        cancelling.on_create = [&](int file_number) {
            if (c.size_kb == 0 && file_number == c.cancel_in)
                run_cancel = true;
        };
        cancelling.on_write = [&](int file_number, uint64_t) {
            if (file_number == c.cancel_in)
                run_cancel = true;
            return FileStatus{};
        };
        GenerationSettings s = settings(c.count, c.size_kb);
        s.Folder = folder.text();
        s.owner = &cancel_view;
        run_cancel = false;
        run_busy = true;
        EXPECT_EQ(run_as_worker(s, cancelling, kSeeds), Ended::done);
        EXPECT_FALSE(run_busy);

        const auto path = [&](int32_t number) {
            return folder.path() / std::filesystem::path(file_name(0, c.count, number, kTag));
        };
        std::vector<uint64_t> whole;
        for (int32_t n = 1; std::filesystem::exists(path(n)); ++n)
            whole.push_back(std::filesystem::file_size(path(n)));
        EXPECT_EQ(whole, c.whole);
        const int32_t next = static_cast<int32_t>(c.whole.size()) + 1;
        std::filesystem::path last = path(next - 1);
        if (c.cut) {
            last = path(next).u16string() + std::u16string(kPartialSuffix);
            ASSERT_TRUE(std::filesystem::exists(last));
            EXPECT_GT(std::filesystem::file_size(last), 0u);
            EXPECT_LT(std::filesystem::file_size(last), static_cast<uint64_t>(c.size_kb) * 1024);
        }
        EXPECT_EQ(files_in(folder.path()).size(), c.whole.size() + (c.cut ? 1 : 0)) << "nothing after it";

        const auto events = cancel_view.events();
        ASSERT_GE(events.size(), 3u);
        EXPECT_EQ(events[events.size() - 3], u"final report");
        EXPECT_EQ(events[events.size() - 2], u"reveal " + last.u16string());
        EXPECT_EQ(events.back(), u"enable Start");
        EXPECT_EQ(cancel_view.upper, u"Canceled");
        EXPECT_EQ(cancel_view.lower, u"");
    }
}

TEST_F(Run, FailedWritesStopTheRunAndRemoveTheIncompleteFile) {
    const struct {
        FileStatus::Kind status;
        TextId text;
    } cases[] = {{FileStatus::Kind::disk_full, kTextDiskFull},
                 {FileStatus::Kind::failed, kTextTargetNotOpened}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ScratchFolder folder;
        RecordingView failing_view;
        HookedFileSystem failing;
        failing.on_write = [&](int file_number, uint64_t bytes) {
            return file_number == 2 && bytes > 0 ? FileStatus{c.status} : FileStatus{};
        };
        GenerationSettings s = settings(3, 600);
        s.Folder = folder.text();
        s.owner = &failing_view;
        EXPECT_EQ(generation_run(s, failing, kSeeds), Ended::failed);
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
    const struct {
        const char* what;
        const char* mount_options;
        int32_t count, size_kb;
        std::vector<uintmax_t> kept;
        int32_t failing; // the file named in the error
    } cases[] = {
        {"no space for the second file's data", "size=2m", 3, 1536, {1536u * 1024}, 2},
        // The root folder takes one of the three entries: two files fit, the third has no place.
        {"no entry left for the third file", "nr_inodes=3", 4, 0, {0, 0}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder folder;
        RecordingView full_view;
        const std::filesystem::path disk = folder.path() / "disk";
        std::filesystem::create_directory(disk);
        if (std::system(("mount -t tmpfs -o " + std::string(c.mount_options) + " tmpfs '" + disk.string() +
                         "' 2>/dev/null")
                            .c_str()) != 0)
            GTEST_SKIP() << "this machine does not let the test mount a tmpfs";
        GenerationSettings s = settings(c.count, c.size_kb);
        s.Folder = disk.u16string();
        s.owner = &full_view;
        const Ended result = generation_run(s, fs, kSeeds);
        std::vector<uintmax_t> sizes;
        for (const auto& f : files_in(disk))
            sizes.push_back(std::filesystem::file_size(f));
        std::system(("umount '" + disk.string() + "'").c_str());

        EXPECT_EQ(result, Ended::failed);
        EXPECT_EQ(sizes, c.kept) << "the files that fit stay, an incomplete one goes";
        const std::u16string failing =
            (disk / std::filesystem::path(file_name(0, c.count, c.failing, kTag))).u16string();
        EXPECT_EQ(full_view.events().back(), u"error Attention: The disk is full!\r\n" + failing);
        EXPECT_EQ(full_view.count(u"final report") + full_view.count(u"reveal"), 0);
    }
}
#endif

TEST_F(Run, RefusesNegativeSizesAndOverlongPathsBeforeCreatingAnything) {
    GenerationSettings s = settings(2, -5);
    s.Folder = scratch.text() + u"/new";
    EXPECT_EQ(generation_run(s, fs, kSeeds), Ended::failed);
    EXPECT_EQ(view.events(), std::vector<std::u16string>{
                                 u"error Attention: The size of the files must not be negative.\r\n-5 KB"});

    RecordingView long_view;
    s = settings(2, 1);
    s.owner = &long_view;
    s.Folder = scratch.text() + u"/" + std::u16string(fs.max_path_length(), u'd');
    EXPECT_EQ(generation_run(s, fs, kSeeds), Ended::failed);
    EXPECT_EQ(
        long_view.events(),
        std::vector<std::u16string>{u"error Attention: The path is too long: a file's full path may have at "
                                    u"most " +
                                    format_ascii("%d", static_cast<int>(fs.max_path_length() - 8)) +
                                    u" characters.\r\n" + s.Folder});
    EXPECT_TRUE(files_in(scratch.path()).empty()) << "no folder made";

#ifndef _WIN32
    // The system counts bytes: a folder of CJK characters is three times as long as its count of
    // UTF-16 units. 20 levels of 80 characters: 1,600 units, but some 4,800 bytes.
    RecordingView cjk_view;
    s = settings(2, 1);
    s.owner = &cjk_view;
    s.Folder = scratch.text();
    for (int level = 0; level < 20; ++level)
        s.Folder += u"/" + std::u16string(80, u'\u4E2D');
    ASSERT_LT(s.Folder.size() + 50, fs.max_path_length());
    EXPECT_EQ(generation_run(s, fs, kSeeds), Ended::failed);
    EXPECT_EQ(cjk_view.count(u"error Attention: The path is too long"), 1);
    EXPECT_TRUE(files_in(scratch.path()).empty()) << "not one level made";
#endif
}

TEST_F(Run, StartOrCancelRunsOneWorkerAndAsksWhileBusy) {
    const GenerationSettings s = settings(3, 8192);
    hold_writes(); // until the cancel question has been answered
    start_or_cancel(s, fs);
    EXPECT_TRUE(run_busy);
    start_or_cancel(s, fs); // busy: asks, and Yes cancels
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
    hold_writes();
    start_or_cancel(settings(2, 8192), fs);
    ASSERT_TRUE(run_busy);
    const auto started = std::chrono::steady_clock::now();
    // The waiting thread gets the time in slices it can use (a window program answers the
    // worker's calls to its windows there).
    int slices = 0;
    int32_t longest = 0;
    EXPECT_FALSE(finish_busy_run(200, [&](int32_t milliseconds) {
        ++slices;
        longest = std::max(longest, milliseconds);
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    })) << "the worker is held: the wait gives up";
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_GE(slices, 2);
    EXPECT_LE(longest, 10) << "short slices: the wait ends soon after the run does";
    EXPECT_TRUE(run_cancel);
    const auto events_before = view.events().size();
    const std::u16string upper_before = view.upper;
    released = true;
    EXPECT_TRUE(finish_busy_run(10000));
    EXPECT_EQ(files_in(scratch.path()).size(), 1u) << "cancelled after the first write";
    // An ending program's window may not answer any more: the run shows nothing after the end
    // began, neither a report nor its summary, "Canceled", its controls or Explorer.
    EXPECT_EQ(view.events().size(), events_before);
    EXPECT_EQ(view.upper, upper_before);
    EXPECT_EQ(view.count(u"reveal"), 0);
}

} // namespace
