// Taking runs away: exactly the runs' files and their .partial leftovers go, through the platform's
// file system; everything else in the folder, and everything a link leads to, stays as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/base/text.h"
#include "core/run/clean.h"
#include "core/run/file_type.h"
#include "core/run/names.h"
#include "tests/core/links.h"
#include "tests/core/run_fixtures.h"

namespace {

namespace fs = std::filesystem;

void write_bytes(const fs::path& path, size_t size, char fill = 'x') {
    std::ofstream out(path, std::ios::binary);
    out << std::string(size, fill);
}

std::string name_of(int32_t type, int32_t count, int32_t number, uint32_t seed, DataShape shape = {},
                    bool fill = false) {
    return to_utf8(file_name(type, count, number, make_tag(seed), {shape, 0, fill}));
}

#ifdef _WIN32
constexpr bool kPipes = false;
// Windows makes links only with a privilege or in developer mode; under Wine the host's shell
// always can.
bool links_are_made() { return under_wine(); }
#else
constexpr bool kPipes = true;
bool links_are_made() { return true; }
#endif

// What one entry of the folder is and whether clean takes it.
enum class Make {
    file,
    folder_with_file,
    link_to_outside_file,
    link_to_inside_file,
    link_to_outside_folder,
    pipe
};

struct Entry {
    const char* what;
    std::string name;
    Make make;
    bool goes;
    uint64_t size = 0;
};

// Every entry of the table, under `folder`, with its outside targets under `outside`. The names of
// the entries that cannot be made here (links, pipes) come back.
std::set<std::string> make_entries(const std::vector<Entry>& entries, const fs::path& folder,
                                   const fs::path& outside, Links& links) {
    std::set<std::string> not_made;
    for (const Entry& e : entries) {
        const fs::path at = folder / fs::path(e.name);
        bool made = true;
        std::string why;
        switch (e.make) {
        case Make::file:
            write_bytes(at, e.size);
            break;
        case Make::folder_with_file:
            fs::create_directory(at);
            write_bytes(at / fs::path(name_of(kRandomData, 3, 1, 7)), 10);
            break;
        case Make::link_to_outside_file:
            write_bytes(outside / fs::path(e.name), 5, 'o');
            made = links.make(outside / fs::path(e.name), at, false, why);
            break;
        case Make::link_to_inside_file:
            made = links.make(folder / "kept.txt", at, false, why);
            break;
        case Make::link_to_outside_folder:
            fs::create_directories(outside / "linked");
            write_bytes(outside / "linked" / fs::path(name_of(kRandomData, 3, 2, 7)), 5, 'o');
            made = links.make(outside / "linked", at, true, why);
            break;
        case Make::pipe:
#ifdef _WIN32
            made = false;
            why = "Windows has no named pipes in folders";
#else
            made = ::mkfifo(at.c_str(), 0600) == 0;
            why = "mkfifo failed";
#endif
            break;
        }
        if (!made) {
            if (e.make == Make::pipe ? kPipes : links_are_made())
                ADD_FAILURE() << e.what << ": not made: " << why;
            else
                std::printf("[   NOTE   ] %s: not tested here: %s\n", e.what, why.c_str());
            not_made.insert(e.name);
        }
    }
    return not_made;
}

// Every path under `root` (links not followed), with its size for regular files.
std::set<std::pair<std::string, uint64_t>> everything_under(const fs::path& root) {
    std::set<std::pair<std::string, uint64_t>> found;
    for (auto at = fs::recursive_directory_iterator(root); at != fs::recursive_directory_iterator(); ++at) {
        const fs::file_status status = at->symlink_status();
        found.insert({fs::relative(at->path(), root).generic_string(),
                      fs::is_regular_file(status) ? fs::file_size(at->path()) : 0});
    }
    return found;
}

// The folder of the main table: three runs (generator data, zeros, shaped random data), files cut
// short by a cancel, and around them what only looks like them.
std::vector<Entry> folder_table() {
    const DataShape shaped{40, 30, 20};
    const std::string random_7 = name_of(kRandomData, 3, 1, 7);
    return {
        {"generator data", name_of(kGeneratorData, 1000, 1, 11), Make::file, true, 4096},
        {"generator data, another number", name_of(kGeneratorData, 1000, 999, 11), Make::file, true, 4096},
        {"generator data, its last number", name_of(kGeneratorData, 1000, 1000, 11), Make::file, true, 4096},
        {"zeros", name_of(kZeros, 2, 2, 12), Make::file, true, 1024},
        {"empty file of a run", name_of(kZeros, 2, 1, 12), Make::file, true, 0},
        {"shaped random data", name_of(kRandomData, 5, 3, 13, shaped), Make::file, true, 100},
        {"a run's file cut short", name_of(kRandomData, 5, 4, 13, shaped) + ".partial", Make::file, true, 7},
        {"another run's file cut short", name_of(kZeros, 20000, 17, 14) + ".partial", Make::file, true, 3},
        {"a file of a run that filled a disk", name_of(kZeros, 2, 2, 12, {}, true), Make::file, true, 50},
        {"a file of no run", "kept.txt", Make::file, false, 9},
        {"a number too short", "random__01_0000000000000007.file", Make::file, false, 1},
        {"a number too long", "random__00000000001_0000000000000007.file", Make::file, false, 1},
        {"a tag of 15 digits", "random__001_000000000000007.file", Make::file, false, 1},
        {"a tag with a 9", "random__001_0000000000000009.file", Make::file, false, 1},
        {"number 0", "random__000_0000000000000007.file", Make::file, false, 1},
        {"another ending", random_7 + ".bak", Make::file, false, 1},
        {"an ending after .partial", random_7 + ".partial.old", Make::file, false, 1},
        {"a head of no type", "randomly__001_0000000000000007.file", Make::file, false, 1},
        {"a shape never written so", "random_c040_d30_001_0000000000000007.file", Make::file, false, 1},
        {"a plain shape named", "random_c100_d0_001_0000000000000007.file", Make::file, false, 1},
        {"a folder under a run file's name", name_of(kRandomData, 3, 2, 7), Make::folder_with_file, false},
        {"a folder of another name", "sub", Make::folder_with_file, false},
        {"a link to a file outside", name_of(kRandomData, 3, 3, 7), Make::link_to_outside_file, false},
        {"a link to a file inside", name_of(kRandomData, 30, 11, 7), Make::link_to_inside_file, false},
        {"a link to a folder outside", name_of(kRandomData, 3, 1, 8), Make::link_to_outside_folder, false},
        {"a pipe under a run file's name", name_of(kZeros, 2, 1, 15), Make::pipe, false},
    };
}

TEST(Clean, TakesExactlyTheRunsFilesAndTheirLeftovers) {
    ScratchFolder scratch;
    const fs::path folder = scratch.path() / "runs";
    const fs::path outside = scratch.path() / "outside";
    fs::create_directories(folder);
    fs::create_directories(outside);
    const std::vector<Entry> table = folder_table();
    Links links;
    const std::set<std::string> not_made = make_entries(table, folder, outside, links);
    const auto outside_before = everything_under(outside);
    const auto before = everything_under(folder);

    std::set<std::string> going;
    uint64_t going_bytes = 0;
    LeftAlone left;
    for (const Entry& e : table) {
        if (not_made.count(e.name) != 0)
            continue;
        if (e.goes) {
            going.insert(e.name);
            going_bytes += e.size;
            continue;
        }
        const bool run_name = parse_run_file_name(from_utf8(e.name)).has_value();
        left.run_names += run_name;
        switch (e.make) {
        case Make::file:
            ++left.files;
            break;
        case Make::folder_with_file:
            ++left.folders;
            break;
        case Make::pipe:
            ++left.other;
            break;
        default:
            ++left.links;
            break;
        }
    }

    // A dry run names the same set and counts it, and nothing changes.
    PlatformFileSystem files;
    for (const bool dry_run : {true, false}) {
        SCOPED_TRACE(dry_run ? "dry run" : "clean");
        std::set<std::string> named;
        CleanOptions options;
        options.dry_run = dry_run;
        options.each_file = [&](const std::u16string& path, uint64_t size) {
            EXPECT_TRUE(named.insert(to_utf8(path)).second) << "named once: " << to_utf8(path);
            if (dry_run) {
                EXPECT_EQ(size, fs::file_size(folder / fs::path(path))) << to_utf8(path);
            }
        };
        const CleanFacts facts = clean_folder(files, folder.u16string(), options);
        EXPECT_EQ(facts.error, "");
        EXPECT_TRUE(facts.complete());
        EXPECT_EQ(named, going);
        EXPECT_EQ(facts.files, going.size());
        EXPECT_EQ(facts.partial, 2u);
        EXPECT_EQ(facts.bytes, going_bytes);
        EXPECT_EQ(facts.folders, 0u);
        EXPECT_EQ(facts.left.files, left.files);
        EXPECT_EQ(facts.left.links, left.links);
        EXPECT_EQ(facts.left.folders, left.folders);
        EXPECT_EQ(facts.left.other, left.other);
        EXPECT_EQ(facts.left.run_names, left.run_names);
        // One row a run, in the order of type and tag; the .partial files in their runs.
        const struct {
            int32_t type;
            uint32_t seed;
            DataShape shape;
            bool fill;
            int32_t width;
            uint64_t files, partial, bytes;
            int32_t first, last;
        } rows[] = {
            {kGeneratorData, 11, {}, false, 4, 3, 0, 3 * 4096, 1, 1000},
            {kZeros, 12, {}, false, 3, 2, 0, 1024, 1, 2},
            // Beside the run of the same tag, a run of its own: the fill mark is part of the name.
            {kZeros, 12, {}, true, 3, 1, 0, 50, 2, 2},
            {kZeros, 14, {}, false, 5, 1, 1, 3, 17, 17},
            {kRandomData, 13, {40, 30, 20}, false, 3, 2, 1, 107, 3, 4},
        };
        ASSERT_EQ(facts.runs.size(), std::size(rows));
        for (const auto& row : rows) {
            SCOPED_TRACE("the run of seed " + std::to_string(row.seed) + (row.fill ? ", filled" : ""));
            const auto run = std::find_if(facts.runs.begin(), facts.runs.end(), [&](const CleanedRun& r) {
                return r.files_type == row.type && r.tag == make_tag(row.seed) && r.marks.fill == row.fill;
            });
            ASSERT_NE(run, facts.runs.end());
            EXPECT_EQ(run->marks.shape, row.shape);
            EXPECT_EQ(run->width, row.width);
            EXPECT_EQ(run->files, row.files);
            EXPECT_EQ(run->partial, row.partial);
            EXPECT_EQ(run->bytes, row.bytes);
            EXPECT_EQ(run->first, row.first);
            EXPECT_EQ(run->last, row.last);
            EXPECT_EQ(run->failed, 0u);
        }
        EXPECT_TRUE(std::is_sorted(facts.runs.begin(), facts.runs.end(),
                                   [](const CleanedRun& a, const CleanedRun& b) {
                                       return std::tie(a.files_type, a.tag) < std::tie(b.files_type, b.tag);
                                   }));
    }
    // What stays is as it was, byte for byte and kind for kind; so is everything a link led to.
    auto expected = before;
    std::erase_if(expected, [&](const auto& entry) { return going.count(entry.first) != 0; });
    EXPECT_EQ(everything_under(folder), expected);
    EXPECT_EQ(everything_under(outside), outside_before);
    for (const Entry& e : table) {
        SCOPED_TRACE(e.what);
        if (not_made.count(e.name) != 0)
            continue;
        const fs::file_status status = fs::symlink_status(folder / fs::path(e.name));
        EXPECT_EQ(fs::exists(status), !e.goes);
        if (e.make == Make::link_to_outside_file || e.make == Make::link_to_inside_file ||
            e.make == Make::link_to_outside_folder) {
            EXPECT_TRUE(is_link(folder / fs::path(e.name))) << "the link itself stays";
        }
    }

    // Once more: nothing of a run is left, and that is no failure.
    const CleanFacts again = clean_folder(files, folder.u16string(), {});
    EXPECT_TRUE(again.complete());
    EXPECT_EQ(again.files, 0u);
    EXPECT_TRUE(again.runs.empty());
    EXPECT_EQ(again.left.total(), left.total());
}

// The folder named through a link is the folder the user means; a link found inside is never
// followed, whatever its name.
TEST(Clean, TheFolderMayBeNamedThroughALink) {
    ScratchFolder scratch;
    const fs::path real = scratch.path() / "real";
    fs::create_directories(real);
    write_bytes(real / fs::path(name_of(kZeros, 3, 1, 5)), 10);
    write_bytes(real / "kept.txt", 10);
    Links links;
    std::string why;
    if (!links.make(real, scratch.path() / "named", true, why)) {
        ASSERT_FALSE(links_are_made()) << why;
        GTEST_SKIP() << "no links to folders here: " << why;
    }
    PlatformFileSystem files;
    const CleanFacts facts = clean_folder(files, (scratch.path() / "named").u16string(), {});
    EXPECT_TRUE(facts.complete()) << facts.error;
    EXPECT_EQ(facts.files, 1u);
    EXPECT_EQ(files_in(real).size(), 1u);
    EXPECT_TRUE(is_link(scratch.path() / "named"));
}

// The folders a run makes: a folder the recogniser names is emptied of run files and goes when
// that leaves it empty; any other folder, and a link of such a name, is never entered.
TEST(Clean, FoldersOfARunGoOnlyWhenEmptied) {
    ScratchFolder scratch;
    const fs::path top = scratch.path() / "tree";
    const fs::path outside = scratch.path() / "outside";
    fs::create_directories(outside / "target");
    write_bytes(outside / "target" / fs::path(name_of(kZeros, 9, 1, 3)), 4);
    const struct {
        const char* what;
        const char* folder;
        std::vector<std::string> run_files;
        std::vector<std::string> other_files;
        bool folder_goes;
    } cases[] = {
        {"a run's folder with run files only",
         "0000",
         {name_of(kZeros, 9, 1, 3), name_of(kZeros, 9, 2, 3)},
         {},
         true},
        {"a run's folder with a file of its own", "0001", {name_of(kZeros, 9, 3, 3)}, {"notes.txt"}, false},
        {"an empty folder of a run", "0002", {}, {}, true},
        {"a run's folder two levels down", "0003/0000", {name_of(kZeros, 9, 4, 3)}, {}, true},
        {"a run's folder under another's", "abcd/0000", {}, {name_of(kZeros, 9, 5, 3)}, false},
        {"a folder of another name", "abcd", {}, {name_of(kZeros, 9, 6, 3)}, false},
    };
    for (const auto& c : cases) {
        fs::create_directories(top / c.folder);
        for (const std::string& name : c.run_files)
            write_bytes(top / c.folder / name, 4);
        for (const std::string& name : c.other_files)
            write_bytes(top / c.folder / name, 4);
    }
    Links links;
    std::string why;
    const bool linked = links.make(outside / "target", top / "0009", true, why);
    EXPECT_TRUE(linked || !links_are_made()) << why;
    const auto four_digits = [](std::u16string_view name) {
        return name.size() == 4 && name.find_first_not_of(u"0123456789") == std::u16string_view::npos;
    };

    PlatformFileSystem files;
    CleanOptions options;
    options.run_folder = four_digits;
    options.dry_run = true;
    const CleanFacts dry = clean_folder(files, top.u16string(), options);
    options.dry_run = false;
    const CleanFacts facts = clean_folder(files, top.u16string(), options);
    for (const CleanFacts* f : {&dry, &facts}) {
        SCOPED_TRACE(f == &dry ? "dry run" : "clean");
        EXPECT_TRUE(f->complete()) << f->error;
        EXPECT_EQ(f->files, 4u);
        EXPECT_EQ(f->folders, 4u) << "0000, 0002, 0003/0000 and then 0003";
        EXPECT_EQ(f->left.links, linked ? 1u : 0u);
        EXPECT_EQ(f->left.files, 1u) << "notes.txt";
        EXPECT_EQ(f->left.folders, 2u) << "0001 and abcd";
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& name : c.run_files)
            EXPECT_FALSE(fs::exists(top / c.folder / name));
        for (const std::string& name : c.other_files)
            EXPECT_TRUE(fs::exists(top / c.folder / name));
        EXPECT_EQ(fs::exists(top / c.folder), !c.folder_goes);
    }
    EXPECT_FALSE(fs::exists(top / "0003"));
    EXPECT_EQ(files_in(outside / "target").size(), 1u) << "the link's folder was never entered";
    if (linked) {
        EXPECT_TRUE(is_link(top / "0009"));
    }
}

// More entries than one reading of a folder returns, removed while the folder is listed: every
// one goes, none is counted twice.
TEST(Clean, AFolderOfManyFilesGoesWhole) {
    ScratchFolder scratch;
    constexpr int32_t kCount = 2000;
    for (int32_t number = 1; number <= kCount; ++number)
        write_bytes(scratch.path() / name_of(kGeneratorData, kCount, number, 21), 0);
    for (int32_t n = 0; n < 100; ++n)
        write_bytes(scratch.path() / ("other" + std::to_string(n)), 0);
    PlatformFileSystem files;
    uint64_t named = 0;
    CleanOptions options;
    options.each_file = [&](const std::u16string&, uint64_t) { ++named; };
    const CleanFacts facts = clean_folder(files, scratch.text(), options);
    EXPECT_TRUE(facts.complete()) << facts.error;
    EXPECT_EQ(facts.files, static_cast<uint64_t>(kCount));
    EXPECT_EQ(named, static_cast<uint64_t>(kCount));
    EXPECT_EQ(facts.left.files, 100u);
    ASSERT_EQ(facts.runs.size(), 1u);
    EXPECT_EQ(facts.runs[0].first, 1);
    EXPECT_EQ(facts.runs[0].last, kCount);
    EXPECT_EQ(files_in(scratch.path()).size(), 100u);
}

// A file the system will not remove stays, is counted, and makes the clean incomplete; the rest
// still goes.
class RefusingFileSystem : public PlatformFileSystem {
public:
    std::u16string refused;
    FileStatus remove_sized(Handle folder, const std::u16string& name, uint64_t& size) override {
        if (name == refused)
            return {FileStatus::Kind::denied, "refused by the test"};
        return PlatformFileSystem::remove_sized(folder, name, size);
    }
};

TEST(Clean, AFileThatWillNotGoIsCountedOnce) {
    ScratchFolder scratch;
    for (int32_t number = 1; number <= 3; ++number)
        write_bytes(scratch.path() / name_of(kZeros, 3, number, 4), 8);
    RefusingFileSystem files;
    files.refused = from_utf8(name_of(kZeros, 3, 2, 4));
    const CleanFacts facts = clean_folder(files, scratch.text(), {});
    EXPECT_FALSE(facts.complete());
    EXPECT_EQ(facts.error, "");
    EXPECT_EQ(facts.failed, 1u);
    EXPECT_EQ(facts.files, 2u);
    EXPECT_EQ(facts.bytes, 16u);
    ASSERT_EQ(facts.runs.size(), 1u);
    EXPECT_EQ(facts.runs[0].failed, 1u);
    EXPECT_EQ(files_in(scratch.path()).size(), 1u);
    EXPECT_TRUE(fs::exists(scratch.path() / name_of(kZeros, 3, 2, 4)));
}

TEST(Clean, AFolderThatCannotBeReadOrACancelTakesNothing) {
    ScratchFolder scratch;
    write_bytes(scratch.path() / "plain", 1);
    write_bytes(scratch.path() / name_of(kZeros, 3, 1, 4), 8);
    PlatformFileSystem files;
    for (const fs::path& bad : {scratch.path() / "absent", scratch.path() / "plain"}) {
        SCOPED_TRACE(bad.string());
        const CleanFacts facts = clean_folder(files, bad.u16string(), {});
        EXPECT_NE(facts.error, "");
        EXPECT_TRUE(facts.unreadable());
        EXPECT_FALSE(facts.complete());
    }
    EXPECT_FALSE(fs::exists(scratch.path() / "absent")) << "nothing is made";

    const std::atomic<bool> cancel{true};
    CleanOptions options;
    options.cancel = &cancel;
    const CleanFacts cancelled = clean_folder(files, scratch.text(), options);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_FALSE(cancelled.complete());
    EXPECT_EQ(cancelled.files, 0u);
    EXPECT_EQ(files_in(scratch.path()).size(), 2u);
}

} // namespace
