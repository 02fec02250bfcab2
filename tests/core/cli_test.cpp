// Tests of pelmora-cli: its options in-process, and the program itself on a small run.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "core/base/text.h"
#include "tests/core/run_fixtures.h"

namespace {

std::vector<std::u16string> words(std::initializer_list<const char*> list) {
    std::vector<std::u16string> result;
    for (const char* word : list)
        result.push_back(from_utf8(word));
    return result;
}

TEST(CliOptions, AcceptsEveryOption) {
    const auto parsed =
        parse_cli_options(words({"--folder", "out dir", "--count=12", "--size", "0", "--type", "compressible",
                                 "--yes", "--lang", "0", "--quiet", "--sync", "--reveal"}));
    ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<CliError>(parsed).message;
    const CliOptions& o = std::get<CliOptions>(parsed);
    EXPECT_EQ(o.folder, u"out dir");
    EXPECT_EQ(o.count, 12);
    EXPECT_EQ(o.size_kb, 0);
    EXPECT_EQ(o.type, 1);
    EXPECT_EQ(o.overwrite, Overwrite::yes);
    EXPECT_EQ(o.language, 0);
    EXPECT_TRUE(o.quiet && o.sync && o.reveal);

    const CliOptions defaults = std::get<CliOptions>(parse_cli_options({}));
    EXPECT_EQ(defaults.folder, u".");
    EXPECT_EQ(defaults.count, 1);
    EXPECT_EQ(defaults.size_kb, 1024);
    EXPECT_EQ(defaults.type, 0);
    EXPECT_EQ(defaults.overwrite, Overwrite::ask);
    EXPECT_FALSE(defaults.language.has_value());
    EXPECT_FALSE(defaults.seed.has_value());
    EXPECT_FALSE(defaults.verify);
}

TEST(CliOptions, TypeSpellingsSeedAndVerify) {
    const struct {
        const char* spelling;
        int32_t type;
    } types[] = {{"0", 0}, {"noncompressible", 0}, {"1", 1}, {"compressible", 1}, {"2", 2}, {"random", 2}};
    for (const auto& c : types) {
        const auto parsed = parse_cli_options(words({"--type", c.spelling}));
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << c.spelling;
        EXPECT_EQ(std::get<CliOptions>(parsed).type, c.type) << c.spelling;
    }

    for (const char* seed : {"0", "1125899906842623"}) {
        const auto parsed = parse_cli_options(words({"--seed", seed}));
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << seed;
        EXPECT_EQ(std::get<CliOptions>(parsed).seed, std::stoull(seed));
    }

    const struct {
        std::vector<std::u16string> arguments;
        std::u16string folder;
        bool help;
        int32_t threads;
    } verify[] = {
        {words({"verify"}), u".", false, 0},
        {words({"verify", "some dir"}), u"some dir", false, 0},
        {words({"verify", "--help"}), u".", true, 0},
        {words({"verify", "--threads", "1", "d"}), u"d", false, 1},
        {words({"verify", "d", "--threads=64"}), u"d", false, 64},
    };
    for (const auto& c : verify) {
        const auto parsed = parse_cli_options(c.arguments);
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << to_utf8(c.folder);
        const CliOptions& o = std::get<CliOptions>(parsed);
        EXPECT_TRUE(o.verify);
        EXPECT_EQ(o.folder, c.folder);
        EXPECT_EQ(o.help, c.help);
        EXPECT_EQ(o.threads, c.threads);
    }
}

TEST(CliOptions, StorageOptions) {
    const auto parsed =
        parse_cli_options(words({"--direct", "--jobs", "8", "--files=1001-2000", "--count", "4000"}));
    ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<CliError>(parsed).message;
    const CliOptions& o = std::get<CliOptions>(parsed);
    EXPECT_TRUE(o.direct);
    EXPECT_FALSE(o.fill);
    EXPECT_EQ(o.jobs, 8);
    EXPECT_EQ(o.first, 1001);
    EXPECT_EQ(o.last, 2000);

    const CliOptions defaults = std::get<CliOptions>(parse_cli_options({}));
    EXPECT_FALSE(defaults.direct || defaults.fill || defaults.drop_cache);
    EXPECT_EQ(defaults.jobs, 1);
    EXPECT_EQ(defaults.first, 1);
    EXPECT_EQ(defaults.last, 0);

    // Filling a disk: the count is the most files, 65,536 unless given.
    const struct {
        std::vector<std::u16string> arguments;
        int32_t count, first, last;
    } fills[] = {
        {words({"--fill"}), 65536, 1, 0},
        {words({"--fill", "--count", "500"}), 500, 1, 0},
        {words({"--files", "7", "--fill"}), 65536, 7, 7},
    };
    for (const auto& c : fills) {
        const auto filled = parse_cli_options(c.arguments);
        ASSERT_TRUE(std::holds_alternative<CliOptions>(filled)) << std::get<CliError>(filled).message;
        EXPECT_TRUE(std::get<CliOptions>(filled).fill);
        EXPECT_EQ(std::get<CliOptions>(filled).count, c.count);
        EXPECT_EQ(std::get<CliOptions>(filled).first, c.first);
        EXPECT_EQ(std::get<CliOptions>(filled).last, c.last);
    }

    const struct {
        std::vector<std::u16string> arguments;
        bool direct, drop_cache;
        int32_t first, last;
    } checks[] = {
        {words({"verify", "--direct", "d"}), true, false, 1, 0},
        {words({"verify", "--drop-cache", "d"}), false, true, 1, 0},
        {words({"verify", "d", "--files", "3-9"}), false, false, 3, 9},
        {words({"verify", "--files=65536", "--direct"}), true, false, 65536, 65536},
    };
    for (const auto& c : checks) {
        const auto checked = parse_cli_options(c.arguments);
        ASSERT_TRUE(std::holds_alternative<CliOptions>(checked)) << std::get<CliError>(checked).message;
        const CliOptions& v = std::get<CliOptions>(checked);
        EXPECT_TRUE(v.verify);
        EXPECT_EQ(v.direct, c.direct);
        EXPECT_EQ(v.drop_cache, c.drop_cache);
        EXPECT_EQ(v.first, c.first);
        EXPECT_EQ(v.last, c.last);
    }
}

TEST(CliOptions, RejectsBadValuesNamingTheOption) {
    const struct {
        std::vector<std::u16string> arguments;
        const char* message;
    } cases[] = {
        {words({"--count", "abc"}), "--count takes a whole number from 1 to 65536, not \"abc\""},
        {words({"--count", "12abc"}), "--count takes a whole number from 1 to 65536, not \"12abc\""},
        {words({"--count", "0"}), "--count takes a whole number from 1 to 65536, not \"0\""},
        {words({"--count", "65537"}), "--count takes a whole number from 1 to 65536, not \"65537\""},
        {words({"--count", ""}), "--count takes a whole number from 1 to 65536, not \"\""},
        {words({"--size", "-1"}), "--size must not be negative (\"-1\")"},
        {words({"--size", "1.5"}), "--size takes whole kilobytes, not \"1.5\""},
        {words({"--size", "99999999999"}),
         "--size takes at most 2147483647 KB (2 TiB less 1 KiB), not \"99999999999\""},
        {words({"--size", "10X"}),
         "--size takes kilobytes, or a number with K, M, G or T (K = 1024 bytes), not \"10X\""},
        {words({"--size", "2T"}), "--size takes at most 2147483647 KB (2 TiB less 1 KiB), not \"2T\""},
        {words({"--type", "3"}),
         "--type takes 0 or noncompressible, 1 or compressible, 2 or random, not \"3\""},
        {words({"--seed", "-1"}), "--seed takes a whole number from 0 to 1125899906842623, not \"-1\""},
        {words({"--seed", "1125899906842624"}),
         "--seed takes a whole number from 0 to 1125899906842623, not \"1125899906842624\""},
        {words({"--seed", "0x10"}), "--seed takes a whole number from 0 to 1125899906842623, not \"0x10\""},
        {words({"verify", "a", "b"}), "verify takes one folder, not also \"b\""},
        {words({"verify", "--count", "3"}), "verify takes a folder and nothing else, not \"--count\""},
        {words({"verify", ""}), "verify needs a folder name, not an empty text"},
        {words({"verify", "--threads", "0"}), "--threads takes a whole number from 1 to 64, not \"0\""},
        {words({"verify", "--threads=65"}), "--threads takes a whole number from 1 to 64, not \"65\""},
        {words({"verify", "--threads"}), "--threads needs a value"},
        {words({"--count", "3", "verify"}), "unknown option \"verify\" (see --help)"},
        {words({"--lang", "12"}), "--lang takes a whole number from 0 to 11, not \"12\""},
        {words({"--size"}), "--size needs a value"},
        {words({"--folder="}), "--folder needs a folder name, not an empty text"},
        {words({"--yes", "--no-clobber"}), "--yes and --no-clobber exclude each other"},
        {words({"--quiet=1"}), "--quiet takes no value"},
        {words({"--direct=1"}), "--direct takes no value"},
        {words({"--jobs", "0"}), "--jobs takes a whole number from 1 to 64, not \"0\""},
        {words({"--jobs=65"}), "--jobs takes a whole number from 1 to 64, not \"65\""},
        {words({"--jobs"}), "--jobs needs a value"},
        {words({"--files", "5-3"}), "--files takes A-B, file numbers with 1 <= A <= B <= 65536, not \"5-3\""},
        {words({"--files", "0-3"}), "--files takes A-B, file numbers with 1 <= A <= B <= 65536, not \"0-3\""},
        {words({"--files", "1-65537"}),
         "--files takes A-B, file numbers with 1 <= A <= B <= 65536, not \"1-65537\""},
        {words({"--files", "2-"}), "--files takes A-B, file numbers with 1 <= A <= B <= 65536, not \"2-\""},
        {words({"--files", "1-3", "--count", "2"}),
         "--files 1-3 reaches past the run's 2 files (see --count)"},
        {words({"verify", "--direct", "--drop-cache"}),
         "--direct and --drop-cache exclude each other (direct reads pass the cache)"},
        {words({"verify", "--files", "x"}),
         "--files takes A-B, file numbers with 1 <= A <= B <= 65536, not \"x\""},
        {words({"--colour"}), "unknown option \"--colour\" (see --help)"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_cli_options(c.arguments);
        ASSERT_TRUE(std::holds_alternative<CliError>(parsed)) << c.message;
        EXPECT_EQ(std::get<CliError>(parsed).message, c.message);
    }
}

#ifndef _WIN32
// The files of a folder by name, with their bytes.
std::map<std::string, std::vector<uint8_t>> read_folder_files(const std::filesystem::path& folder) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& file : files_in(folder))
        files[file.filename().string()] = read_file(file);
    return files;
}

// Runs the built program through the shell; returns its exit code and what it printed.
std::pair<int, std::string> run_cli(const std::string& arguments) {
    const std::string command = std::string(PELMORA_CLI) + " " + arguments + " 2>&1 </dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[256];
    while (pipe != nullptr && fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(CliProgram, ExitCodesAndOutput) {
    ScratchFolder scratch;
    const std::string folder = "'" + scratch.path().string() + "/out'";

    auto [code, output] = run_cli("--folder " + folder + " --count 3 --size 5 --type 1");
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(output.rfind("Finished   :||  \xC3\x98 ", 0), 0u) << output;
    const auto files = files_in(scratch.path() / "out");
    ASSERT_EQ(files.size(), 3u);
    for (const auto& file : files)
        EXPECT_EQ(read_file(file), std::vector<uint8_t>(5 * 1024, 0));

    // The same files again: the tag differs, so nothing is overwritten.
    std::tie(code, output) = run_cli("--folder " + folder + " --count 3 --size 1 --quiet");
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(output, "");
    EXPECT_EQ(files_in(scratch.path() / "out").size(), 6u);

    std::tie(code, output) = run_cli("--count 12abc");
    EXPECT_EQ(code, 2);
    EXPECT_EQ(output, "pelmora-cli: --count takes a whole number from 1 to 65536, not \"12abc\"\n");

    std::tie(code, output) = run_cli("--folder " + folder + " --size -3");
    EXPECT_EQ(code, 2) << output;

    std::tie(code, output) = run_cli("--folder '" + files[0].string() + "' --yes");
    EXPECT_EQ(code, 1) << output;
    EXPECT_NE(output.find("Attention: Could not open the target file"), std::string::npos) << output;

    std::tie(code, output) = run_cli("--lang 0 --version");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(output, "Pelmora 2.85\n");
}

TEST(CliProgram, ASeedMakesTheSameFilesAgain) {
    for (const char* type : {"0", "1", "2"}) {
        SCOPED_TRACE(std::string("type ") + type);
        ScratchFolder scratch;
        const auto make = [&](const std::string& folder, const std::string& seed) {
            const auto [code, output] = run_cli("--folder '" + (scratch.path() / folder).string() +
                                                "' --count 3 --size 9 --type " + type + " --quiet" + seed);
            EXPECT_EQ(code, 0) << output;
            std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
            for (const auto& file : files_in(scratch.path() / folder))
                files.emplace_back(file.filename().string(), read_file(file));
            return files;
        };
        const auto first = make("a", " --seed 123456789");
        ASSERT_EQ(first.size(), 3u);
        EXPECT_EQ(make("b", " --seed 123456789"), first) << "same names, same bytes";
        const auto other = make("c", " --seed 123456790");
        ASSERT_EQ(other.size(), 3u);
        EXPECT_NE(other[0].first, first[0].first) << "another seed, another tag";
        const auto unseeded = make("d", "");
        const auto unseeded_again = make("e", "");
        ASSERT_EQ(unseeded.size(), 3u);
        ASSERT_EQ(unseeded_again.size(), 3u);
        EXPECT_NE(unseeded[0].first, unseeded_again[0].first) << "without a seed every run has its own tag";
    }
    ScratchFolder scratch;
    const auto [code, output] =
        run_cli("--folder '" + scratch.path().string() + "' --type random --seed 42 --size 1 --quiet");
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(files_in(scratch.path()).at(0).filename(), "random__001_0000000000000046.file")
        << "random data's tag is its seed in base 9";
}

TEST(CliProgram, VerifyExitCodesAndReport) {
    ScratchFolder scratch;
    const std::string folder = "'" + scratch.path().string() + "'";
    auto [code, output] = run_cli("verify " + folder);
    EXPECT_EQ(code, 1) << "no runs found";
    EXPECT_EQ(output, "No runs found: no file here has a name that a run gives its files.\n");

    for (const char* type : {"0", "1", "2"}) {
        std::tie(code, output) =
            run_cli("--folder " + folder + " --count 3 --size 5 --quiet --seed 7 --type " + type);
        ASSERT_EQ(code, 0) << output;
    }
    std::tie(code, output) = run_cli("verify " + folder);
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 4) << output;
    EXPECT_NE(output.find("OK      random__###_0000000000000007.file: 3 files of 5 KB, numbers 001-003\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("\n3 runs: 3 intact, 0 not intact.\n"), std::string::npos) << output;

    std::filesystem::remove(scratch.path() / "random__002_0000000000000007.file");
    // verify with no folder checks the current one.
    std::tie(code, output) = run_cli("verify");
    const auto here = run_cli("verify .");
    EXPECT_EQ(code, here.first);
    EXPECT_EQ(output, here.second);
    std::tie(code, output) = run_cli("verify " + folder);
    EXPECT_EQ(code, 1) << output;
    EXPECT_NE(output.find("FAILED  random__###_0000000000000007.file: 2 files of 5 KB, numbers 001-003\n"
                          "        missing: 002\n"),
              std::string::npos)
        << output;

    std::tie(code, output) = run_cli("verify --files 3-3 " + folder);
    EXPECT_EQ(code, 0) << "file 3 of each run alone: " << output;
    EXPECT_NE(output.find("OK      random__###_0000000000000007.file: 1 file of 5 KB, numbers 003-003\n"),
              std::string::npos)
        << output;

    std::tie(code, output) = run_cli("verify '" + scratch.path().string() + "/absent'");
    EXPECT_EQ(code, 2);
    EXPECT_EQ(
        output.rfind("pelmora-cli: cannot read the folder \"" + scratch.path().string() + "/absent\": ", 0),
        0u)
        << output;
}
TEST(CliProgram, FourShardsAsParallelProcessesMakeTheWholeRun) {
    for (const char* type : {"0", "1", "2"}) {
        SCOPED_TRACE(std::string("type ") + type);
        ScratchFolder scratch;
        const std::string run = " --count 12 --size 300 --seed 99 --quiet --type " + std::string(type);
        const std::string whole = (scratch.path() / "whole").string();
        const std::string shards = (scratch.path() / "shards").string();
        auto [code, output] = run_cli("--folder '" + whole + "'" + run);
        ASSERT_EQ(code, 0) << output;
        // As a cluster's nodes would: four processes at once, each its own range, one folder.
        const std::string command = "printf '1-3\\n4-6\\n7-9\\n10-12\\n' | xargs -P 4 -I{} " +
                                    std::string(PELMORA_CLI) + " --folder '" + shards + "'" + run +
                                    " --files {} 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_TRUE(read_folder_files(scratch.path() / "shards") ==
                    read_folder_files(scratch.path() / "whole"));
        std::tie(code, output) = run_cli("verify '" + shards + "'");
        EXPECT_EQ(code, 0) << output;
    }
}

TEST(CliProgram, FillTellsWhatFitAndDirectTellsWhenItWasRefused) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs and a ramfs needs root";
    ScratchFolder scratch;
    const std::string disk = (scratch.path() / "small").string();
    std::filesystem::create_directory(disk);
    if (std::system(("mount -t tmpfs -o size=2m tmpfs '" + disk + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "this machine does not let the test mount a tmpfs";
    auto [code, output] = run_cli("--folder '" + disk + "' --fill --size 100 --jobs 2");
    const auto [check_code, check] = run_cli("verify --files 1-20 '" + disk + "'");
    std::system(("umount '" + disk + "'").c_str());
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find(
                  "\nThe disk is full: 20 files of 100 KB fit, 2048000 bytes (the last one is number 20).\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(check_code, 0) << check;

    if (std::system(("mount -t ramfs ramfs '" + disk + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "this machine does not let the test mount a ramfs";
    std::tie(code, output) = run_cli("--folder '" + disk + "' --direct --size 5");
    const auto [direct_code, direct_check] = run_cli("verify --direct '" + disk + "'");
    std::system(("umount '" + disk + "'").c_str());
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(
        output.find("Note: the file system refused direct I/O; the files were written through the cache.\n"),
        std::string::npos)
        << output;
    EXPECT_EQ(direct_code, 0) << direct_check;
    EXPECT_NE(direct_check.find("Note: the file system refused direct reads"), std::string::npos)
        << direct_check;
}
#endif

} // namespace
