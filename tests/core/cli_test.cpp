// Tests of pelmora-cli: its options in-process, and the program itself on a small run.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

#ifndef _WIN32
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "tests/core/cli_process.h"
#endif

#include "core/base/text.h"
#include "tests/core/run_fixtures.h"
#include "tests/core/test_files.h"

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

    // A shape makes random data, with or without --type 2 (before or after it).
    const struct {
        std::vector<std::u16string> arguments;
        DataShape shape;
    } shapes[] = {
        {words({"--compress", "40"}), {40, 0}},
        {words({"--dedupe=30"}), {100, 30}},
        {words({"--type", "random", "--compress", "1", "--dedupe", "99"}), {1, 99}},
        {words({"--compress=100", "--dedupe", "0", "--type", "2"}), {100, 0}},
        {words({"--dedupe", "30", "--dedupe-unit", "1M"}), {100, 30, 20}},
        {words({"--dedupe-unit=file", "--compress", "40", "--dedupe", "5"}), {40, 5, kDedupeUnitFile}},
        {words({"--dedupe", "90", "--dedupe-unit", "128k", "--dedupe-unit", "64M"}), {100, 90, 26}},
        // Without copies a unit changes no byte: the run is the one of 4K.
        {words({"--compress", "40", "--dedupe-unit", "16M"}), {40, 0}},
    };
    for (const auto& c : shapes) {
        const auto parsed = parse_cli_options(c.arguments);
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<CliError>(parsed).message;
        EXPECT_EQ(std::get<CliOptions>(parsed).type, 2);
        EXPECT_EQ(std::get<CliOptions>(parsed).shape, c.shape);
    }
    EXPECT_EQ(std::get<CliOptions>(parse_cli_options(words({"--type", "2"}))).shape, DataShape{});

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

TEST(CliOptions, CleanTakesOneFolderAndItsOwnOptions) {
    const struct {
        std::vector<std::u16string> arguments;
        std::u16string folder;
        bool dry_run, json, help;
    } cases[] = {
        {words({"clean", "d"}), u"d", false, false, false},
        {words({"clean", "."}), u".", false, false, false},
        {words({"clean", "--dry-run", "some dir"}), u"some dir", true, false, false},
        {words({"clean", "d", "--json", "--dry-run"}), u"d", true, true, false},
        {words({"clean", "--", "--dry-run"}), u"--dry-run", false, false, false},
        {words({"clean", "--help"}), u".", false, false, true},
        {words({"clean", "-h"}), u".", false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.folder));
        const auto parsed = parse_cli_options(c.arguments);
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<CliError>(parsed).message;
        const CliOptions& o = std::get<CliOptions>(parsed);
        EXPECT_TRUE(o.clean);
        EXPECT_FALSE(o.verify);
        EXPECT_EQ(o.folder, c.folder);
        EXPECT_EQ(o.dry_run, c.dry_run);
        EXPECT_EQ(o.json, c.json);
        EXPECT_EQ(o.help, c.help);
    }
    // "clean" is a command only in the first place; a folder of that name is written with -o.
    EXPECT_FALSE(std::get<CliOptions>(parse_cli_options(words({"-o", "clean"}))).clean);
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

    // The most files a run has, a shard at their end, and a folder tree.
    const auto largest = parse_cli_options(
        words({"-n", "4294967295", "--per-folder", "1000", "--files", "4294967000-4294967295"}));
    ASSERT_TRUE(std::holds_alternative<CliOptions>(largest)) << std::get<CliError>(largest).message;
    EXPECT_EQ(std::get<CliOptions>(largest).count, 4294967295);
    EXPECT_EQ(std::get<CliOptions>(largest).per_folder, 1000);
    EXPECT_EQ(std::get<CliOptions>(largest).first, 4294967000);
    EXPECT_EQ(std::get<CliOptions>(largest).last, 4294967295);

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
        {words({"--count", "abc"}), "--count takes a whole number from 1 to 4294967295, not \"abc\""},
        {words({"--count", "12abc"}), "--count takes a whole number from 1 to 4294967295, not \"12abc\""},
        {words({"--count", "0"}), "--count takes a whole number from 1 to 4294967295, not \"0\""},
        {words({"--count", "4294967296"}),
         "--count takes a whole number from 1 to 4294967295, not \"4294967296\""},
        {words({"--per-folder", "1"}), "--per-folder takes a whole number from 2 to 4294967295, not \"1\""},
        {words({"--count", ""}), "--count takes a whole number from 1 to 4294967295, not \"\""},
        {words({"--size", "-1"}), "--size must not be negative (\"-1\")"},
        {words({"--size", "1.5"}), "--size takes whole kilobytes, not \"1.5\""},
        {words({"--size", "99999999999"}),
         "--size takes at most 2147483647 KB (2 TiB less 1 KiB), not \"99999999999\""},
        {words({"--size", "10X"}),
         "--size takes kilobytes, or a number with K, M, G or T (K = 1024 bytes; also KiB, MiB, GiB, TiB), "
         "without blanks, not \"10X\""},
        {words({"--size", "2T"}), "--size takes at most 2147483647 KB (2 TiB less 1 KiB), not \"2T\""},
        {words({"--type", "3"}),
         "--type takes 0 or noncompressible, 1 or compressible, 2 or random, not \"3\""},
        {words({"--seed", "-1"}), "--seed takes a whole number from 0 to 1125899906842623, not \"-1\""},
        {words({"--seed", "1125899906842624"}),
         "--seed takes a whole number from 0 to 1125899906842623, not \"1125899906842624\""},
        {words({"--seed", "0x10"}), "--seed takes a whole number from 0 to 1125899906842623, not \"0x10\""},
        {words({"--compress", "0"}), "--compress takes a whole number from 1 to 100, not \"0\""},
        {words({"--compress", "101"}), "--compress takes a whole number from 1 to 100, not \"101\""},
        {words({"--compress", "40%"}), "--compress takes a whole number from 1 to 100, not \"40%\""},
        {words({"--dedupe", "-1"}), "--dedupe takes a whole number from 0 to 99, not \"-1\""},
        {words({"--dedupe", "100"}), "--dedupe takes a whole number from 0 to 99, not \"100\""},
        {words({"--dedupe"}), "--dedupe needs a value"},
        {words({"--type", "0", "--compress", "50"}),
         "--compress, --dedupe and --dedupe-unit shape random data, which --type 0 is not"},
        {words({"--dedupe", "5", "--type", "compressible"}),
         "--compress, --dedupe and --dedupe-unit shape random data, which --type 1 is not"},
        {words({"--dedupe-unit", "1M", "--type", "0"}),
         "--compress, --dedupe and --dedupe-unit shape random data, which --type 0 is not"},
        {words({"--dedupe-unit", "2K"}),
         "--dedupe-unit takes a power of two from 4K to 64M (4K, 8K, ..., 1M, ..., 64M) or file, not \"2K\""},
        {words({"--dedupe-unit=3M"}),
         "--dedupe-unit takes a power of two from 4K to 64M (4K, 8K, ..., 1M, ..., 64M) or file, not \"3M\""},
        {words({"--dedupe-unit"}), "--dedupe-unit needs a value"},
        {words({"verify", "--dedupe-unit", "1M"}), "--dedupe-unit does not go with verify (see --help)"},
        {words({"verify", "a", "b"}), "verify takes one folder, not also \"b\""},
        {words({"verify", "--type", "1"}), "--type does not go with verify (see --help)"},
        {words({"verify", "-y"}), "-y does not go with verify (see --help)"},
        {words({"--threads", "2"}), "--threads goes with verify only (see --help)"},
        {words({"verify", "-s", "1.5"}), "-s takes whole kilobytes, not \"1.5\""},
        {words({"verify", "--count", "0"}), "--count takes a whole number from 1 to 4294967295, not \"0\""},
        {words({"-n", "0"}), "-n takes a whole number from 1 to 4294967295, not \"0\""},
        {words({"-n"}), "-n needs a value"},
        {words({"-qn"}), "-n needs a value"},
        {words({"-x"}), "unknown option \"-x\" (see --help)"},
        {words({"-qz"}), "unknown option \"-z\" (see --help)"},
        {words({"-y", "--no-clobber"}), "--yes and --no-clobber exclude each other"},
        {words({"--", "out"}), "unknown option \"out\" (see --help)"},
        {words({"--json=yes"}), "--json takes no value"},
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
        {words({"--files", "5-3"}),
         "--files takes A-B, file numbers with 1 <= A <= B <= 4294967295, not \"5-3\""},
        {words({"--files", "0-3"}),
         "--files takes A-B, file numbers with 1 <= A <= B <= 4294967295, not \"0-3\""},
        {words({"--files", "1-4294967296"}),
         "--files takes A-B, file numbers with 1 <= A <= B <= 4294967295, not \"1-4294967296\""},
        {words({"--files", "2-"}),
         "--files takes A-B, file numbers with 1 <= A <= B <= 4294967295, not \"2-\""},
        {words({"--files", "1-3", "--count", "2"}),
         "--files 1-3 reaches past the run's 2 files (see --count)"},
        {words({"verify", "--direct", "--drop-cache"}),
         "--direct and --drop-cache exclude each other (direct reads pass the cache)"},
        {words({"verify", "--files", "x"}),
         "--files takes A-B, file numbers with 1 <= A <= B <= 4294967295, not \"x\""},
        {words({"--colour"}), "unknown option \"--colour\" (see --help)"},
        {words({"clean"}), "clean needs a folder (\"clean .\" for the current one)"},
        {words({"clean", "--dry-run", "--json"}), "clean needs a folder (\"clean .\" for the current one)"},
        {words({"clean", "a", "b"}), "clean takes one folder, not also \"b\""},
        {words({"clean", ""}), "clean needs a folder name, not an empty text"},
        {words({"clean", "--count", "3", "d"}), "--count does not go with clean (see --help)"},
        {words({"clean", "-y", "d"}), "-y does not go with clean (see --help)"},
        {words({"clean", "--threads", "2", "d"}), "--threads does not go with clean (see --help)"},
        {words({"clean", "--dry-run=1", "d"}), "--dry-run takes no value"},
        {words({"--dry-run"}), "--dry-run goes with clean only (see --help)"},
        {words({"verify", "--dry-run"}), "--dry-run does not go with verify (see --help)"},
        {words({"--count", "3", "clean", "d"}), "unknown option \"clean\" (see --help)"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_cli_options(c.arguments);
        ASSERT_TRUE(std::holds_alternative<CliError>(parsed)) << c.message;
        EXPECT_EQ(std::get<CliError>(parsed).message, c.message);
    }
}

TEST(CliOptions, ShortOptionsTogetherAndTheEndOfOptions) {
    const struct {
        std::vector<std::u16string> arguments;
        std::u16string folder;
        int32_t count;
        int32_t size_kb;
        int32_t type;
        bool quiet;
        Overwrite overwrite;
    } cases[] = {
        {words({"-o", "d", "-n", "5", "-s", "4K", "-t", "random", "-q", "-y"}), u"d", 5, 4, 2, true,
         Overwrite::yes},
        {words({"-qy", "-n5", "-s1.5M", "-t1", "-od"}), u"d", 5, 1536, 1, true, Overwrite::yes},
        {words({"-yqn", "7"}), u".", 7, 1024, 0, true, Overwrite::yes},
        {words({"-o", "-n"}), u"-n", 1, 1024, 0, false, Overwrite::ask}, // a value may start with a dash
        {words({"--folder=-q", "--size=2MiB"}), u"-q", 1, 2048, 0, false, Overwrite::ask},
        {words({"-n", "3", "--"}), u".", 3, 1024, 0, false, Overwrite::ask},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_cli_options(c.arguments);
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<CliError>(parsed).message;
        const CliOptions& o = std::get<CliOptions>(parsed);
        SCOPED_TRACE(to_utf8(c.arguments.front()));
        EXPECT_EQ(o.folder, c.folder);
        EXPECT_EQ(o.count, c.count);
        EXPECT_EQ(o.size_kb, c.size_kb);
        EXPECT_EQ(o.type, c.type);
        EXPECT_EQ(o.quiet, c.quiet);
        EXPECT_EQ(o.overwrite, c.overwrite);
    }

    const struct {
        std::vector<std::u16string> arguments;
        std::u16string folder;
        std::optional<int32_t> count;
        std::optional<int32_t> size_kb;
        bool json, progress;
    } verify[] = {
        {words({"verify", "--", "-d"}), u"-d", std::nullopt, std::nullopt, false, false},
        {words({"verify", "-n", "8", "-s", "512K", "--json", "d"}), u"d", 8, 512, true, false},
        {words({"verify", "--progress", "--count=3", "--size=1G", "--", "--json"}), u"--json", 3, 1048576,
         false, true},
    };
    for (const auto& c : verify) {
        const auto parsed = parse_cli_options(c.arguments);
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<CliError>(parsed).message;
        const CliOptions& o = std::get<CliOptions>(parsed);
        SCOPED_TRACE(to_utf8(c.folder));
        EXPECT_TRUE(o.verify);
        EXPECT_EQ(o.folder, c.folder);
        EXPECT_EQ(o.expected_count, c.count);
        EXPECT_EQ(o.expected_size_kb, c.size_kb);
        EXPECT_EQ(o.json, c.json);
        EXPECT_EQ(o.progress, c.progress);
        EXPECT_EQ(o.count, 1) << "the run's count is not verify's";
    }
}

// Every unit form the size takes, through the option (the program writes them in CliUnits).
TEST(CliOptions, SizeUnits) {
    const struct {
        const char* text;
        int32_t kilobytes;
    } cases[] = {
        {"12", 12},           {"512K", 512},         {"512k", 512},      {"512KiB", 512},
        {"1.5M", 1536},       {"1.5MiB", 1536},      {"3m", 3072},       {"10G", 10485760},
        {"10GiB", 10485760},  {"0.5g", 524288},      {"1T", 1073741824}, {"1TiB", 1073741824},
        {"1tib", 1073741824}, {"2047G", 2146435072},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_cli_options(words({"--size", c.text}));
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<CliError>(parsed).message;
        EXPECT_EQ(std::get<CliOptions>(parsed).size_kb, c.kilobytes) << c.text;
    }
}

std::string read_source(const std::string& relative) {
    const std::vector<uint8_t> bytes = read_source_file(relative);
    return {bytes.begin(), bytes.end()};
}

TEST(CliUsage, FitsEightyColumnsAndNamesEveryOption) {
    const std::string usage = cli_usage();
    size_t start = 0;
    for (size_t end = usage.find('\n'); end != std::string::npos; end = usage.find('\n', start = end + 1))
        EXPECT_LE(end - start, 80u) << usage.substr(start, end - start);
    EXPECT_EQ(usage.back(), '\n');
    for (const CliOption& option : cli_option_table()) {
        std::string spelled = "--" + std::string(option.long_name);
        if (option.value_name != nullptr)
            spelled += std::string(" ") + option.value_name;
        if (option.short_name != 0)
            spelled = std::string("-") + option.short_name + ", " + spelled;
        // A name too long for its column has its text on the next line.
        EXPECT_TRUE(usage.find("  " + spelled + " ") != std::string::npos ||
                    usage.find("  " + spelled + "\n") != std::string::npos)
            << spelled;
    }
}

// Whether `word` stands in `text` as a word of its own: not part of a longer option name.
bool has_word(const std::string& text, const std::string& word) {
    const auto part_of_name = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; };
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const size_t end = at + word.size();
        if ((at == 0 || !part_of_name(text[at - 1])) && (end == text.size() || !part_of_name(text[end])))
            return true;
    }
    return false;
}

// The manual page, the shell completion and the README are written by hand: each must know every
// option of the table.
TEST(CliUsage, ManualCompletionAndReadmeKnowEveryOption) {
    const std::string manual = read_source("cli/pelmora-cli.1.in");
    const std::string completion = read_source("cli/pelmora-cli.bash");
    const std::string readme = read_source("README.md");
    ASSERT_FALSE(manual.empty());
    ASSERT_FALSE(completion.empty());
    for (const CliOption& option : cli_option_table()) {
        const std::string name = option.long_name;
        std::string roff = "\\-\\-";
        for (const char c : name)
            roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_TRUE(has_word(manual, roff)) << name << " in the manual";
        EXPECT_TRUE(has_word(completion, "--" + name)) << name << " in the completion";
        EXPECT_NE(readme.find("`--" + name), std::string::npos) << name << " in the README";
        if (option.short_name != 0) {
            const std::string short_name = std::string("-") + option.short_name;
            EXPECT_TRUE(has_word(manual, "\\" + short_name)) << short_name << " in the manual";
            EXPECT_TRUE(has_word(completion, short_name)) << short_name << " in the completion";
            EXPECT_NE(readme.find("`" + short_name), std::string::npos) << short_name << " in the README";
        }
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

// Runs a command line through the shell; returns its exit code and what it printed (standard
// output and standard error as one text).
std::pair<int, std::string> run_cli_command(const std::string& line) {
    const Finished run = run_process({"sh", "-c", line}, ProcessSetup().errors_with_output());
    return {run.code, run.out};
}

// Runs the built program with `arguments`.
std::pair<int, std::string> run_cli(const std::string& arguments) {
    return run_cli_command(std::string(PELMORA_CLI) + " " + arguments);
}

// The built program with `arguments`, started without a shell.
std::vector<std::string> cli_words(const std::vector<std::string>& arguments) {
    std::vector<std::string> words{PELMORA_CLI};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return words;
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
    EXPECT_EQ(output, "pelmora-cli: --count takes a whole number from 1 to 4294967295, not \"12abc\"\n");

    std::tie(code, output) = run_cli("--folder " + folder + " --size -3");
    EXPECT_EQ(code, 2) << output;

    std::tie(code, output) = run_cli("--folder '" + files[0].string() + "' --yes");
    EXPECT_EQ(code, 1) << output;
    EXPECT_NE(output.find("Attention: Could not open the target file"), std::string::npos) << output;

    std::tie(code, output) = run_cli("--lang 0 --version");
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(output == "pelmora-cli (Pelmora) 2.85\ncode path: AVX2\n" ||
                output == "pelmora-cli (Pelmora) 2.85\ncode path: baseline\n")
        << output;
}

TEST(CliProgram, ACancelledRunStatesTheThroughputOfWhatItWrote) {
    ScratchFolder scratch;
    // 1 TiB planned, cancelled once the run has printed its second progress line: the lines come at
    // most once a second, so it has run for a second at least.
    const auto started = std::chrono::steady_clock::now();
    CliProcess cli(
        cli_words({"--folder", scratch.path().string(), "--size", "1T", "--type", "1", "--progress"}));
    ASSERT_TRUE(cli.wait_until([&] {
        return std::count(cli.text(Output::err).begin(), cli.text(Output::err).end(), '\n') >= 2;
    })) << cli.text(Output::err);
    cli.signal(SIGINT);
    const Finished run = cli.finish();
    const double lasted = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string& output = run.out;
    EXPECT_EQ(run.code, 130) << output << run.err;
    EXPECT_NE(output.find("\nCanceled\n"), std::string::npos) << output;
    const auto files = files_in(scratch.path());
    ASSERT_EQ(files.size(), 1u);
    const double written = static_cast<double>(std::filesystem::file_size(files[0]));
    // "Finished   :||  Ø 1.23 GB / sec.  || Total time: 1 sec."
    const size_t at = output.find("\xC3\x98 ");
    ASSERT_NE(at, std::string::npos) << output;
    double speed = std::strtod(output.c_str() + at + 3, nullptr);
    const std::string unit = output.substr(output.find(' ', at + 3) + 1, 2);
    speed *= unit == "GB" ? 1073741824.0 : unit == "MB" ? 1048576.0 : unit == "KB" ? 1024.0 : 1.0;
    // The throughput is that of the bytes on disk (the planned terabyte would make it hundreds of
    // gigabytes a second), over a run that lasted from a second to the process's whole life; the
    // figure is printed with three digits at least.
    const double shortest = 1.0, rounding = 1.01;
    EXPECT_LE(speed, written / shortest * rounding) << output;
    EXPECT_GE(speed * rounding, written / lasted) << output;
}

TEST(CliProgram, ASeedMakesTheSameFilesAgain) {
    for (const char* type : {"0", "1", "2", "2 --compress 40 --dedupe 30"}) {
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
TEST(CliProgram, SignalsCancelTheRunWithTheirOwnExitCode) {
    const struct {
        int signal;
        int code;
    } cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
    for (const auto& c : cases) {
        SCOPED_TRACE(strsignal(c.signal));
        ScratchFolder scratch;
        const std::filesystem::path folder = scratch.path() / "out";
        // 2 TiB of zeros: far more than is written before the signal comes.
        CliProcess cli(
            cli_words({"--folder", folder.string(), "--count", "1", "--size", "2147483647", "--type", "1"}),
            ProcessSetup().errors_with_output());
        ASSERT_TRUE(cli.wait_until([&] {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(folder, error))
                return entry.file_size(error) > 0;
            return false;
        }));
        cli.signal(c.signal);
        const Finished run = cli.finish();
        EXPECT_EQ(run.code, c.code);
        EXPECT_NE(run.out.find("\nCanceled\n"), std::string::npos) << run.out;

        // The file stopped where it stood and is set apart: the check does not take it for a run.
        const auto files = files_in(folder);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].extension(), ".partial");
        const auto [code, report] = run_cli("verify '" + folder.string() + "'");
        EXPECT_EQ(code, 1) << report;
        EXPECT_NE(report.find(": no whole file\n"), std::string::npos) << report;
    }
}

// However early a signal comes, the answer is one of two: before the program has begun (its
// handler is not there yet) the system ends it, as any program; from then on it is a cancel,
// with its exit code and "Canceled", and never a run that goes on.
TEST(CliProgram, ASignalHoweverEarlyIsACancel) {
    for (int delay = 0; delay <= 20; ++delay) {
        SCOPED_TRACE(std::to_string(delay) + " ms");
        ScratchFolder scratch;
        // Empty files, many: a run that lasts, and one that fills no disk if the cancel were lost.
        CliProcess cli(cli_words({"--folder", scratch.path().string(), "--count", "65536", "--size", "0"}),
                       ProcessSetup().errors_with_output());
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        cli.signal(SIGINT);
        const Finished run = cli.finish();
        if (run.signal == SIGINT)
            continue;
        EXPECT_EQ(run.code, 130) << run.out;
        EXPECT_TRUE(run.out.size() >= 9 && run.out.compare(run.out.size() - 9, 9, "Canceled\n") == 0)
            << run.out;
    }
}

// The question about an existing file: its answers, and a cancel there, before anything is written,
// which makes nothing and says so.
TEST(CliProgram, TheOverwriteQuestionAndWhatEndsIt) {
    const struct {
        const char* what;
        std::vector<std::string> options;
        bool terminal;     // the program only asks where someone can answer
        const char* typed; // typed once the question is asked
        int signal;        // sent once the question is asked
        int code;
        const char* said;
        uintmax_t bytes; // the existing file's size afterwards: 1024 if left as it was
    } cases[] = {
        {"--no-clobber says which file stops it",
         {"--no-clobber"},
         false,
         nullptr,
         0,
         3,
         "--no-clobber: nothing is overwritten",
         1024},
        {"Ctrl-C at the question", {}, true, nullptr, SIGINT, 130, "[y/N] \nCanceled\n", 1024},
        {"SIGTERM at the question", {}, true, nullptr, SIGTERM, 143, "[y/N] \nCanceled\n", 1024},
        {"no for an answer", {}, true, "n\n", 0, 3, "[y/N] ", 1024},
        {"yes for an answer", {}, true, "y\n", 0, 0, "[y/N] Finished ", 2048},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        const std::string folder = scratch.path().string();
        ASSERT_EQ(run_cli("--folder '" + folder + "' --size 1 --seed 9 --quiet").first, 0);
        const std::filesystem::path existing = files_in(scratch.path()).at(0);
        // The same seed makes the same name, the other size another file.
        std::vector<std::string> arguments{"--folder", folder, "--size", "2", "--seed", "9"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        CliProcess cli(cli_words(arguments),
                       ProcessSetup().input_on_terminal(c.terminal).errors_with_output());
        if (c.terminal) {
            ASSERT_TRUE(cli.wait_for("[y/N] ", Output::out)) << cli.text(Output::out);
            if (c.typed != nullptr)
                cli.send(c.typed);
            if (c.signal != 0) {
                // Once the program sleeps, waiting for the answer: a ThreadSanitizer build was
                // seen to lose a signal that came in the instant between the question and the wait.
                EXPECT_TRUE(cli.wait_until_asleep());
                cli.signal(c.signal);
            }
        }
        const Finished run = cli.finish();
        EXPECT_EQ(run.code, c.code);
        const std::string& said = run.out;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_NE(said.find(existing.string()), std::string::npos) << "names the file: " << said;
        EXPECT_EQ(std::filesystem::file_size(existing), c.bytes);
        EXPECT_EQ(files_in(scratch.path()).size(), 1u) << "no other file made";
    }
}

TEST(CliProgram, OutputThatCannotBeWrittenIsAnError) {
    ScratchFolder scratch;
    const std::string folder = scratch.path().string();
    ASSERT_EQ(run_cli("--folder '" + folder + "' --count 2 --size 1 --quiet").first, 0);
    const struct {
        const char* what;
        std::vector<std::string> arguments;
        bool closed_pipe; // else /dev/full
        const char* reason;
    } cases[] = {
        {"help into a full disk", {"--help"}, false, "No space left on device"},
        {"verify's report into a full disk", {"verify", folder}, false, "No space left on device"},
        // Without SIGPIPE ignored the program would die of it (141) once every file is written.
        {"a run's summary into a closed pipe",
         {"--folder", folder + "/run", "--count", "3", "--size", "1"},
         true,
         "Broken pipe"},
        {"verify's report into a closed pipe", {"verify", folder}, true, "Broken pipe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int out[2];
        if (c.closed_pipe) {
            ASSERT_EQ(pipe(out), 0);
            close(out[0]);
        } else {
            out[1] = open("/dev/full", O_WRONLY);
            ASSERT_GE(out[1], 0);
        }
        // Errors on a pipe of their own: standard output is the one that fails.
        CliProcess cli(cli_words(c.arguments), ProcessSetup().output_to(out[1]));
        close(out[1]);
        const Finished run = cli.finish();
        ASSERT_EQ(run.signal, 0) << "ended by signal " << run.signal;
        EXPECT_EQ(run.code, 1);
        const std::string& said = run.err;
        const std::string message =
            "pelmora-cli: could not write the output: " + std::string(c.reason) + "\n";
        EXPECT_EQ(said.find(message), said.rfind(message)) << "said once: " << said;
        EXPECT_NE(said.find(message), std::string::npos) << said;
    }
    EXPECT_EQ(files_in(scratch.path() / "run").size(), 3u) << "the run itself went on to its end";
}

TEST(CliProgram, ArgumentsMeanWhatTheySay) {
    ScratchFolder scratch;
    const std::string folder = scratch.path().string();
    std::u16string cjk = scratch.text();
    for (int level = 0; level < 20; ++level)
        cjk += u"/" + std::u16string(80, u'\u4E2D');
    std::filesystem::create_directory(scratch.path() / "-dash");
    const struct {
        const char* what;
        std::string arguments;
        int code;
        const char* said; // the start of what is printed
        const char* made; // a folder under the scratch folder that holds `files` files
        size_t files;
    } cases[] = {
        // A name that is no UTF-8 would reach the system as another name.
        {"a folder that is no UTF-8", "--folder \"$(printf '" + folder + "/\\377')\"", 2,
         "pelmora-cli: the argument \"", nullptr, 0},
        {"verify of a folder that is no UTF-8", "verify \"$(printf '" + folder + "/\\377')\"", 2,
         "pelmora-cli: the argument \"", nullptr, 0},
        {"leading zeros are zeros",
         "--folder '" + folder + "/zeros' --count 0000000000000000003 --size 0 --quiet", 0, "", "zeros", 3},
        {"and never octal", "--folder '" + folder + "/ten' --count 010 --size 0 --quiet", 0, "", "ten", 10},
        {"verify -- DIR", "verify -- '" + folder + "/ten'", 0, "OK      ", nullptr, 0},
        {"verify -- a folder that starts with a dash", "verify -- '" + folder + "/-dash'", 1, "No runs found",
         nullptr, 0},
        // The system counts bytes: 1,600 UTF-16 units, some 4,800 bytes, refused before anything is made.
        {"a folder longer in bytes than a path may be", "--folder '" + to_utf8(cjk) + "' --size 1", 2,
         "pelmora-cli: The path is too long: a file's full path may have at most 4087 characters.\n", nullptr,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [code, output] = run_cli(c.arguments);
        EXPECT_EQ(code, c.code) << output;
        EXPECT_EQ(output.rfind(c.said, 0), 0u) << output;
        if (c.made != nullptr) {
            EXPECT_EQ(files_in(scratch.path() / c.made).size(), c.files);
        }
    }
    EXPECT_EQ(files_in(scratch.path()).size(), 3u) << "zeros, ten and -dash, nothing else made";
}

TEST(CliProgram, VerifyOfAFolderThatCannotBeSearchedOrListed) {
    // Permissions do not hold for root: the check then runs as nobody.
    std::string as_user;
    if (geteuid() == 0) {
        if (std::system("command -v setpriv >/dev/null") != 0)
            GTEST_SKIP() << "running as root without setpriv to run as another user";
        as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    const struct {
        const char* what;
        std::filesystem::perms perms;
        int code;
        const char* said;
    } cases[] = {
        // Names can be listed, but no file can be looked at: none of them is OK.
        {"readable, not searchable", std::filesystem::perms::owner_read | std::filesystem::perms::others_read,
         1, ".file: cannot be read: Permission denied\n"},
        {"searchable, not readable", std::filesystem::perms::owner_exec | std::filesystem::perms::others_exec,
         2, "pelmora-cli: cannot read the folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        std::filesystem::permissions(scratch.path(), std::filesystem::perms::all);
        const std::string folder = (scratch.path() / "run").string();
        ASSERT_EQ(run_cli("--folder '" + folder + "' --count 2 --size 4 --quiet").first, 0);
        std::filesystem::permissions(folder, c.perms);
        const auto [code, output] = run_cli_command(as_user + PELMORA_CLI + " verify '" + folder + "'");
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        EXPECT_EQ(code, c.code) << output;
        EXPECT_NE(output.find(c.said), std::string::npos) << output;
        EXPECT_EQ(output.find("OK "), std::string::npos) << output;
    }
}

// Four processes at once, each its own shard of a run of `data`, and three jobs in one process,
// make the files of the whole run, and verify finds the shards' run intact.
void expect_shards_and_jobs_make_the_whole_run(const std::string& data) {
    SCOPED_TRACE(data);
    ScratchFolder scratch;
    const std::string run = " --count 12 --size 300 --seed 99 --quiet " + std::string(data);
    const std::string whole = (scratch.path() / "whole").string();
    const std::string shards = (scratch.path() / "shards").string();
    const std::string jobs = (scratch.path() / "jobs").string();
    auto [code, output] = run_cli("--folder '" + whole + "'" + run);
    ASSERT_EQ(code, 0) << output;
    // As a cluster's nodes would: four processes at once, each its own range, one folder.
    const std::string command = "printf '1-3\\n4-6\\n7-9\\n10-12\\n' | xargs -P 4 -I{} " +
                                std::string(PELMORA_CLI) + " --folder '" + shards + "'" + run + " --files {}";
    std::tie(code, output) = run_cli_command(command);
    ASSERT_EQ(code, 0) << command << "\n" << output;
    EXPECT_TRUE(read_folder_files(scratch.path() / "shards") == read_folder_files(scratch.path() / "whole"));
    std::tie(code, output) = run_cli("--folder '" + jobs + "' --jobs 3" + run);
    ASSERT_EQ(code, 0) << output;
    EXPECT_TRUE(read_folder_files(scratch.path() / "jobs") == read_folder_files(scratch.path() / "whole"));
    std::tie(code, output) = run_cli("verify '" + shards + "'");
    EXPECT_EQ(code, 0) << output;
}

TEST(CliProgram, FourShardsAsParallelProcessesMakeTheWholeRun) {
    // Shaped data places its copies across files: shards and jobs must place them alike.
    for (const char* data : {"--type 0", "--type 1", "--type 2", "--compress 40 --dedupe 30"})
        expect_shards_and_jobs_make_the_whole_run(data);
}

TEST(CliProgram, ShardsAndJobsPlaceCopiesOfWholeFilesAlike) {
    // A copy's source is mostly in another shard (larger units are covered by the storage tests).
    expect_shards_and_jobs_make_the_whole_run("--compress 40 --dedupe 50 --dedupe-unit file");
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
    const auto [check_code, check] = run_cli("verify '" + disk + "'");
    // Damage inside the filled run is still found: a byte flipped in file 5, then file 7 gone.
    std::vector<std::filesystem::path> filled = files_in(disk);
    std::sort(filled.begin(), filled.end());
    int flipped_code = -1, removed_code = -1;
    std::string flipped, removed;
    if (filled.size() == 21) {
        {
            std::fstream file(filled[4], std::ios::in | std::ios::out | std::ios::binary);
            file.seekg(5000);
            const char byte = static_cast<char>(file.get() ^ 0x01);
            file.seekp(5000);
            file.put(byte);
        }
        std::tie(flipped_code, flipped) = run_cli("verify '" + disk + "'");
        std::filesystem::remove(filled[6]);
        std::tie(removed_code, removed) = run_cli("verify '" + disk + "'");
    }
    std::system(("umount '" + disk + "'").c_str());
    ASSERT_EQ(filled.size(), 21u);
    EXPECT_EQ(flipped_code, 1) << flipped;
    EXPECT_NE(flipped.find("_00005_"), std::string::npos) << flipped;
    EXPECT_NE(flipped.find("first difference at byte 5000"), std::string::npos) << flipped;
    EXPECT_EQ(removed_code, 1) << removed;
    EXPECT_NE(removed.find("missing: 00007"), std::string::npos) << removed;
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(
        output.find(
            "\nThe disk is full: 21 files of 100 KB fit, 2097152 bytes (the last one is number 21, cut to "
            "the 48 KB that were left).\n"),
        std::string::npos)
        << output;
    EXPECT_EQ(check_code, 0) << check;
    EXPECT_NE(check.find("filled a disk: 2097152 bytes intact, 0 lost; the last file has 48 KB"),
              std::string::npos)
        << check;

    // A file larger than the disk: it takes the whole disk.
    if (std::system(("mount -t tmpfs -o size=2m tmpfs '" + disk + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "this machine does not let the test mount a tmpfs";
    std::tie(code, output) = run_cli("--folder '" + disk + "' --fill --size 4096");
    std::system(("umount '" + disk + "'").c_str());
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(
        output.find("\nThe disk is full: 1 file of 4096 KB fit, 2097152 bytes (the last one is number 1, "
                    "cut to the 2048 KB that were left).\n"),
        std::string::npos)
        << output;

    // Not one file fits (no room for another file's entry): no number of a last one.
    if (std::system(("mount -t tmpfs -o size=2m,nr_inodes=1 tmpfs '" + disk + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "this machine does not let the test mount a tmpfs";
    std::tie(code, output) = run_cli("--folder '" + disk + "' --fill --size 4096");
    const bool empty = std::filesystem::is_empty(disk);
    std::system(("umount '" + disk + "'").c_str());
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("\nThe disk is full: not one file of 4096 KB fits.\n"), std::string::npos)
        << output;
    EXPECT_TRUE(empty);

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
