// Tests of runs of many files: the numbers' widths up to the most files a run has, and folder
// trees, as the run makes them and as verify and clean find them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "core/base/text.h"
#include "core/run/clean.h"
#include "core/run/file_reader.h"
#include "core/run/names.h"
#include "core/run/run.h"
#include "core/run/run_thread.h"
#include "core/run/verify.h"
#include "tests/core/links.h"
#include "tests/core/run_fixtures.h"

namespace fs = std::filesystem;

namespace {

constexpr RunSeeds kSeeds{99, 0xBEEF};

TEST(ManyFiles, NamesTakeTheWidthTheCountNeedsAndReadBack) {
    const std::u16string tag = u"0123456780123456";
    const struct {
        int64_t count;
        int width;
    } cases[] = {
        {999, 3},    {1000, 4},    {65536, 5},     {65537, 5},       {99999, 5},
        {100000, 6}, {1000000, 7}, {999999999, 9}, {1000000000, 10}, {4294967295, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        EXPECT_EQ(number_width(c.count), c.width);
        for (const int64_t number : {int64_t{1}, c.count}) {
            const std::u16string name = file_name(kGeneratorData, c.count, number, tag);
            const std::optional<RunFileName> parsed = parse_run_file_name(name);
            ASSERT_TRUE(parsed.has_value()) << to_utf8(name);
            EXPECT_EQ(parsed->number, number);
            EXPECT_EQ(parsed->width, c.width);
        }
    }
    EXPECT_EQ(file_name(kZeros, 4294967295, 4294967295, tag),
              u"maximal_compressible__4294967295_0123456780123456.file");
    // Past the most files a run has, and wider than its widest numbers, a name is none of a run's.
    for (const char16_t* name : {u"maximal_compressible__4294967296_0123456780123456.file",
                                 u"maximal_compressible__00000000001_0123456780123456.file",
                                 u"maximal_compressible__0000000000_0123456780123456.file"})
        EXPECT_FALSE(parse_run_file_name(name).has_value()) << to_utf8(name);
}

TEST(ManyFiles, ATreeHasTheLevelsTheCountNeeds) {
    const struct {
        int64_t count, per_folder;
        int depth;
        const char16_t* first_path; // of file 1
        const char16_t* last_path;  // of the last file
    } cases[] = {
        {1000, 1000, 0, u"", u""},
        {1000000, 1000, 1, u"000/", u"999/"},
        {1000001, 1000, 2, u"000/000/", u"001/000/"},
        {10000000, 1000, 2, u"000/000/", u"009/999/"},
        {2500, 10, 3, u"0/0/0/", u"2/4/9/"},
        {5, 2, 2, u"0/0/", u"1/0/"},
        {25, 4, 2, u"0/0/", u"1/2/"},
        {4294967295, 2, 31, nullptr, nullptr},
        {4294967295, 65536, 1, u"00000/", u"65535/"},
        {4294967295, 4294967295, 0, u"", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " at " + std::to_string(c.per_folder));
        EXPECT_EQ(tree_depth(c.count, c.per_folder), c.depth);
        if (c.first_path == nullptr)
            continue;
        std::u16string first;
        append_tree_path(first, 1, c.per_folder, c.depth, u'/');
        EXPECT_EQ(first, c.first_path);
        std::u16string last;
        append_tree_path(last, c.count, c.per_folder, c.depth, u'/');
        EXPECT_EQ(last, c.last_path);
        // Every folder's name reads back as its number.
        for (int level = 0; level < c.depth; ++level) {
            std::u16string name;
            const int64_t folder = tree_folder(c.count, c.per_folder, c.depth, level);
            append_number(name, folder, folder_width(c.per_folder));
            EXPECT_EQ(parse_tree_folder(name, c.per_folder), folder);
        }
    }
    EXPECT_FALSE(parse_tree_folder(u"1000", 1000).has_value()) << "a width of its own";
    EXPECT_FALSE(parse_tree_folder(u"10", 10).has_value()) << "below the files per folder";
}

class Tree : public ::testing::Test {
protected:
    void SetUp() override {
        run_cancel = false;
        run_busy = false;
    }

    // A run of `count` files of 1 KB (random data, so every file differs) into `folder`.
    void make_run(const fs::path& folder, int64_t count, int64_t per_folder, const RunOptions& extra = {},
                  int32_t type = kRandomData) {
        GenerationSettings s;
        s.files_c = count;
        s.files_size = 1;
        s.files_type = type;
        s.Folder = folder.u16string();
        RunOptions options = extra;
        options.per_folder = per_folder;
        ASSERT_EQ(generation_run(s, files, kSeeds, options), Ended::done);
        tag = run_tag(type, kSeeds);
    }
    // Where file `number` of the run lies.
    fs::path path(int64_t count, int64_t per_folder, int64_t number, int32_t type = kRandomData) const {
        std::u16string relative;
        const RunMarks marks = run_marks(type, {}, count, per_folder, false);
        append_tree_path(relative, number, marks.per_folder, tree_depth(count, per_folder), u'/');
        return scratch.path() / fs::path(relative + file_name(type, count, number, tag, marks));
    }
    // Every file under `folder`, by its path from there.
    static std::set<std::string> tree_of(const fs::path& folder) {
        std::set<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (!entry.is_directory())
                found.insert(entry.path().lexically_relative(folder).generic_string());
        return found;
    }
    FolderCheck check(const CheckScope& scope = {}, const RunIntent& intent = {}) {
        VerifyOptions options;
        options.scope = scope;
        options.intent = intent;
        return verify_folder(scratch.text(), *reader, options);
    }

    ScratchFolder scratch;
    PlatformFileSystem files;
    std::unique_ptr<FileReader> reader = make_file_reader();
    std::u16string tag;
};

TEST_F(Tree, EachFileLiesWhereItsNumberPutsItAndTheTreeChecksIntact) {
    const struct {
        int64_t count, per_folder;
        int depth;
        size_t folders; // made, at every level
    } cases[] = {
        {12, 4, 1, 3}, // full folders
        {10, 4, 1, 3}, // the last one holds 2
        {25, 4, 2, 9}, // 7 folders of files under 2
        {17, 2, 4, 9 + 5 + 3 + 2},
        {7, 10, 0, 0}, // all in one folder: no tree, no mark
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " at " + std::to_string(c.per_folder));
        fs::remove_all(scratch.path());
        fs::create_directories(scratch.path());
        make_run(scratch.path(), c.count, c.per_folder);
        std::set<std::string> expected;
        for (int64_t number = 1; number <= c.count; ++number)
            expected.insert(
                fs::relative(path(c.count, c.per_folder, number), scratch.path()).generic_string());
        EXPECT_EQ(tree_of(scratch.path()), expected);
        size_t folders = 0;
        for (const auto& entry : fs::recursive_directory_iterator(scratch.path()))
            folders += entry.is_directory();
        EXPECT_EQ(folders, c.folders);

        const FolderCheck result = check();
        ASSERT_EQ(result.runs.size(), 1u) << result.error;
        const RunCheck& run = result.runs[0];
        EXPECT_TRUE(run.intact()) << to_utf8(run_pattern(run));
        EXPECT_EQ(run.depth, c.depth);
        EXPECT_EQ(run.per_folder, c.depth > 0 ? c.per_folder : 0);
        EXPECT_EQ(run.files_found, static_cast<uint64_t>(c.count));
    }
}

TEST_F(Tree, MissingFoldersMisplacedAndExtraFilesAreFound) {
    // 25 files at 4 a folder: "0/0/" holds 1-4, "0/1/" 5-8, ... "1/2/" holds 25.
    make_run(scratch.path(), 25, 4);
    // A missing folder: its files are missing.
    fs::remove_all(path(25, 4, 5).parent_path());
    // A file in the wrong folder, and a copy of another in the right one and in a wrong one.
    fs::rename(path(25, 4, 10), path(25, 4, 13).parent_path() / path(25, 4, 10).filename());
    fs::copy_file(path(25, 4, 20), scratch.path() / path(25, 4, 20).filename());
    // A file of the run past its count, where a run of more files would have put it.
    fs::copy_file(path(25, 4, 25), path(25, 4, 25).parent_path() /
                                       file_name(kRandomData, 25, 26, tag, RunMarks({}, 4, false)));
    // Other files in the tree's folders are none of the check's business.
    std::ofstream(path(25, 4, 1).parent_path() / "notes.txt") << "mine";

    const FolderCheck result = check({}, RunIntent{25, std::nullopt});
    ASSERT_EQ(result.runs.size(), 1u) << result.error;
    const RunCheck& run = result.runs[0];
    EXPECT_FALSE(run.intact());
    EXPECT_EQ(run.missing, (std::vector<std::pair<int64_t, int64_t>>{{5, 8}, {10, 10}}));
    EXPECT_EQ(run.past_intended_count, 1);
    // The misplaced files, and the file past the count, which holds another file's bytes.
    std::vector<std::pair<int64_t, std::u16string>> problems;
    for (const FileProblem& problem : run.problems)
        problems.emplace_back(
            problem.number,
            problem.misplaced.value_or(problem.first_difference != kNoDifference ? u"differs" : u"?"));
    EXPECT_EQ(problems,
              (std::vector<std::pair<int64_t, std::u16string>>{{10, u"0/3/"}, {20, u""}, {26, u"differs"}}));
    // A damaged file in the tree is found as in one folder.
    std::ofstream(path(25, 4, 3), std::ios::binary | std::ios::app) << "x";
    const FolderCheck again = check();
    ASSERT_EQ(again.runs.size(), 1u);
    EXPECT_TRUE(std::any_of(again.runs[0].problems.begin(), again.runs[0].problems.end(),
                            [](const FileProblem& p) { return p.number == 3 && p.wrong_size; }));
}

TEST_F(Tree, JobsAndShardsWriteTheSameTreeByteForByte) {
    ScratchFolder whole;
    make_run(whole.path(), 40, 3);
    const std::set<std::string> expected = tree_of(whole.path());
    struct Way {
        const char* what;
        std::vector<RunOptions> parts;
    };
    RunOptions jobs;
    jobs.jobs = 4;
    RunOptions first_part, second_part;
    first_part.last = 17;
    second_part.first = 18;
    second_part.jobs = 2;
    const Way ways[] = {{"4 jobs", {jobs}}, {"two shards", {first_part, second_part}}};
    for (const Way& way : ways) {
        SCOPED_TRACE(way.what);
        ScratchFolder made;
        for (const RunOptions& part : way.parts)
            make_run(made.path(), 40, 3, part);
        ASSERT_EQ(tree_of(made.path()), expected);
        for (const std::string& file : expected)
            EXPECT_EQ(read_file(made.path() / file), read_file(whole.path() / file)) << file;
    }
    // A shard is checked as a shard.
    CheckScope scope;
    scope.first = 18;
    scope.last = 40;
    fs::remove_all(scratch.path());
    fs::create_directories(scratch.path());
    make_run(scratch.path(), 40, 3, second_part);
    const FolderCheck result = check(scope);
    ASSERT_EQ(result.runs.size(), 1u) << result.error;
    EXPECT_TRUE(result.runs[0].intact());
    EXPECT_EQ(result.runs[0].files_found, 23u);
}

TEST_F(Tree, CleanTakesTheTreeAndLeavesWhatIsNotTheRuns) {
    make_run(scratch.path(), 30, 3);
    // Someone else's file in a folder of the tree, and a link named like a folder of the tree to a
    // folder outside it that holds a file of the run's name.
    ScratchFolder outside;
    const fs::path lure = outside.path() / path(30, 3, 1).filename();
    std::ofstream(lure) << "not to be removed";
    std::ofstream(path(30, 3, 4).parent_path() / "keep.txt") << "mine";
    std::string why;
    const bool linked = make_link(outside.path(), scratch.path() / "7", true, why);

    // The check does not walk through the link either.
    const FolderCheck seen = check();
    ASSERT_EQ(seen.runs.size(), 1u) << seen.error;
    EXPECT_TRUE(seen.runs[0].intact());

    CleanOptions options;
    options.run_folder = tree_folder_name;
    const CleanFacts facts = clean_folder(files, scratch.text(), options);
    EXPECT_TRUE(facts.complete()) << facts.error;
    EXPECT_EQ(facts.files, 30u);
    ASSERT_EQ(facts.runs.size(), 1u);
    EXPECT_EQ(facts.runs[0].marks.per_folder, 3);
    EXPECT_TRUE(fs::exists(lure)) << "a link is never followed";
    // Only the folders that lead to the other file stay, and the link; the rest of the tree went.
    // Each folder is listed on its own, never through the link (Wine shows it as the folder it
    // leads to).
    const auto names_in = [](const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    };
    using Names = std::set<std::string>;
    EXPECT_EQ(names_in(scratch.path()), (linked ? Names{"0", "7"} : Names{"0"}));
    EXPECT_EQ(names_in(scratch.path() / "0"), Names{"0"});
    EXPECT_EQ(names_in(scratch.path() / "0" / "0"), Names{"1"});
    EXPECT_EQ(names_in(scratch.path() / "0" / "0" / "1"), Names{"keep.txt"});
    EXPECT_EQ(path(30, 3, 4).parent_path(), scratch.path() / "0" / "0" / "1") << "the other file's folder";
}

} // namespace

namespace {

// Two runs checked in batches of 10 files: the batches follow the runs' numbers and judge every
// file as one check of all of them would.
TEST_F(Tree, ChecksInBatchesJudgeEachRunAsAWhole) {
    make_run(scratch.path(), 6, 0, {}, kZeros);
    make_run(scratch.path(), 8, 0);
    // 3 of the random run's 8 files cut short: most of its files keep the run's size, though
    // most of those that fit beside the other run's 6 in a first batch would not.
    for (const int64_t number : {1, 2, 3})
        fs::resize_file(path(8, 0, number), 512);
    VerifyOptions options;
    options.batch_files = 10;
    const FolderCheck batched = verify_folder(scratch.text(), *reader, options);
    ASSERT_EQ(batched.runs.size(), 2u) << batched.error;
    const RunCheck& random = batched.runs[0].files_type == kRandomData ? batched.runs[0] : batched.runs[1];
    EXPECT_EQ(random.file_bytes, 1024u);
    std::vector<int64_t> wrong_size;
    for (const FileProblem& problem : random.problems)
        if (problem.wrong_size)
            wrong_size.push_back(problem.number);
    EXPECT_EQ(wrong_size, (std::vector<int64_t>{1, 2, 3}));

    // A run larger than a batch: damage in its later batches is found, in number order.
    fs::remove_all(scratch.path());
    fs::create_directories(scratch.path());
    make_run(scratch.path(), 25, 4);
    for (const int64_t number : {14, 25})
        std::ofstream(path(25, 4, number), std::ios::binary | std::ios::app) << "x";
    fs::remove(path(25, 4, 21));
    const FolderCheck large = verify_folder(scratch.text(), *reader, options);
    ASSERT_EQ(large.runs.size(), 1u) << large.error;
    const RunCheck& run = large.runs[0];
    EXPECT_EQ(run.files_found, 24u);
    EXPECT_EQ(run.file_bytes, 1024u);
    EXPECT_EQ(run.missing, (std::vector<std::pair<int64_t, int64_t>>{{21, 21}}));
    ASSERT_EQ(run.problems.size(), 2u);
    EXPECT_EQ(run.problems[0].number, 14);
    EXPECT_EQ(run.problems[1].number, 25);
    EXPECT_TRUE(run.problems[1].wrong_size);
}

} // namespace

namespace {

// A cut copy that a cancelled run left in a folder of the tree goes when the file is written whole.
TEST_F(Tree, AWholeFileTakesThePlaceOfItsCutCopyInItsFolder) {
    tag = run_tag(kRandomData, kSeeds);
    const fs::path cut = path(12, 3, 5).string() + ".partial";
    fs::create_directories(cut.parent_path());
    std::ofstream(cut) << "cut short";
    make_run(scratch.path(), 12, 3);
    EXPECT_FALSE(fs::exists(cut));
    EXPECT_TRUE(fs::exists(path(12, 3, 5)));
}

} // namespace
