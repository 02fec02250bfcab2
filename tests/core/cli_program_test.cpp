// Tests of the built pelmora-cli as scripts and CI use it: sizes with units, --json read back by a
// strict JSON reader, progress on a terminal and on a pipe, short options and "--".
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tests/core/cli_process.h"
#include "tests/core/json_reader.h"
#include "tests/core/run_fixtures.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> cli(std::initializer_list<std::string> arguments) {
    std::vector<std::string> argv{PELMORA_CLI};
    argv.insert(argv.end(), arguments);
    return argv;
}

// The one JSON value that `text` holds; fails the test when it is not exactly that.
JsonValue json_of(const std::string& text) {
    std::string error;
    std::optional<JsonValue> value = JsonReader::parse(text, error);
    EXPECT_TRUE(value.has_value()) << error << " in: " << text;
    return value.value_or(JsonValue{nullptr, {}});
}

// The keys of a run's object, in no order: scripts may rely on every one being there.
void expect_run_keys(const JsonValue& run) {
    ASSERT_TRUE(run.is_object());
    std::vector<std::string> keys;
    for (const auto& [key, value] : run.object())
        keys.push_back(key);
    std::vector<std::string> expected = {"status",
                                         "folder",
                                         "type",
                                         "count",
                                         "size",
                                         "files_written",
                                         "bytes_written",
                                         "seconds",
                                         "bytes_per_second",
                                         "tag",
                                         "seed",
                                         "first_file",
                                         "last_file",
                                         "error",
                                         "disk_full",
                                         "direct_refused",
                                         "compress",
                                         "dedupe",
                                         "signal",
                                         "dedupe_unit",
                                         "files_per_second",
                                         "last_file_size",
                                         "size_low",
                                         "size_high",
                                         "size_spread"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(keys, expected);
    for (const char* number :
         {"count", "files_written", "bytes_written", "seed", "compress", "dedupe", "size_low", "size_high"})
        EXPECT_NO_THROW(run[number].whole()) << number;
    // One size, or a range whose files each have their own.
    if (run["size_spread"].is_null()) {
        EXPECT_EQ(run["size"].whole(), run["size_low"].whole());
        EXPECT_EQ(run["size"].whole(), run["size_high"].whole());
    } else {
        EXPECT_TRUE(run["size"].is_null());
        EXPECT_LT(run["size_low"].whole(), run["size_high"].whole());
    }
    EXPECT_TRUE(run["seconds"].is_number());
    // A rate only beside a time: a run refused before it began took none.
    for (const char* rate : {"bytes_per_second", "files_per_second"})
        if (run["seconds"].is_number() && run["seconds"].number() > 0)
            EXPECT_TRUE(run[rate].is_number()) << rate;
        else
            EXPECT_TRUE(run[rate].is_null()) << rate;
}

// No files while the folder is not there yet.
std::vector<fs::path> files_in_or_none(const fs::path& folder) {
    std::error_code error;
    return fs::is_directory(folder, error) ? files_in(folder) : std::vector<fs::path>{};
}

size_t lines_of(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

uint64_t bytes_in(const fs::path& folder) {
    uint64_t total = 0;
    for (const fs::path& file : files_in(folder))
        total += fs::file_size(file);
    return total;
}

TEST(CliUnits, EveryFormMakesFilesOfThatSize) {
    const struct {
        const char* size;
        uint64_t bytes;
    } cases[] = {
        {"12", 12 * 1024},
        {"8K", 8192},
        {"8k", 8192},
        {"8KiB", 8192},
        {"2kib", 2048},
        {"0.5M", 524288},
        {"1.5MiB", 1572864},
        {"1m", 1048576},
        {"0.0009765625G", 1048576},
        {"0.0009765625GiB", 1048576},
        {"0.00000095367431640625T", 1048576},
        {"0.00000095367431640625tib", 1048576},
    };
    ScratchFolder scratch;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const fs::path folder = scratch.path() / std::to_string(++n);
        const Finished run = run_process(cli({"-o", folder.string(), "-t", "1", "-s", c.size, "--json"}));
        ASSERT_EQ(run.code, 0) << run.err;
        const JsonValue result = json_of(run.out);
        EXPECT_EQ(result["size"].whole(), c.bytes);
        const auto files = files_in(folder);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(fs::file_size(files[0]), c.bytes);
    }
    // Refused as the README refuses them: bad arguments, with their own JSON object.
    for (const char* size :
         {"1.5", "10X", "2T", "3Gi", "10GB", "4kb", "10 G", " 4 ", "4\tK", "+4", "1.", ".5M"}) {
        SCOPED_TRACE(size);
        const Finished run =
            run_process(cli({"-o", (scratch.path() / "bad").string(), "-s", size, "--json"}));
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(json_of(run.out)["status"].string(), "bad_arguments");
        EXPECT_EQ(run.err.rfind("pelmora-cli: -s ", 0), 0u) << run.err;
        EXPECT_FALSE(fs::exists(scratch.path() / "bad"));
    }
}

TEST(CliJson, RunsReadBack) {
    ScratchFolder scratch;
    const std::string folder = (scratch.path() / "out").string();
    fs::create_directories(scratch.path() / "file");
    const std::string file_folder = (scratch.path() / "file" / "x").string();
    std::ofstream(file_folder) << "a file where the folder should be";

    const struct {
        const char* what;
        std::vector<std::string> argv;
        int code;
        const char* status;
        int files_written;
        std::optional<std::string> error_part; // in the error text; none when there must be none
    } cases[] = {
        {"a run", cli({"-o", folder, "-n", "3", "-s", "5K", "-t", "random", "--seed", "42", "--json"}), 0,
         "done", 3, std::nullopt},
        {"the same names again, kept",
         cli({"-o", folder, "-n", "3", "-s", "5K", "-t", "random", "--seed", "42", "--no-clobber", "--json"}),
         3, "declined", 0, "--no-clobber keeps it: \"" + folder + "/random__001_0000000000000046.file\""},
        {"the same names again, no terminal to ask",
         cli({"-o", folder, "-n", "3", "-s", "5K", "-t", "random", "--seed", "42", "--json"}), 3, "declined",
         0, "no terminal to ask"},
        {"a folder that is a file", cli({"-o", file_folder, "--json", "-s", "1"}), 1, "error", 0,
         "Could not open the target file"},
        {"the error in German, the keys not", cli({"-o", file_folder, "--json", "-s", "1", "--lang", "0"}), 1,
         "error", 0,
         "Fehler, beim \xC3\x96"
         "ffnen der Zieldatei"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Finished run = run_process(c.argv);
        EXPECT_EQ(run.code, c.code) << run.err;
        const JsonValue result = json_of(run.out);
        expect_run_keys(result);
        if (!result.is_object())
            continue;
        EXPECT_EQ(result["status"].string(), c.status);
        EXPECT_EQ(result["files_written"].whole(), static_cast<uint64_t>(c.files_written));
        EXPECT_TRUE(result["signal"].is_null());
        if (!c.error_part) {
            EXPECT_TRUE(result["error"].is_null());
        } else {
            EXPECT_NE(result["error"].string().find(*c.error_part), std::string::npos)
                << result["error"].string();
            // What happened, not the question that was asked.
            EXPECT_EQ(result["error"].string().find('?'), std::string::npos) << result["error"].string();
        }
        if (c.files_written == 0) {
            EXPECT_TRUE(result["first_file"].is_null());
            EXPECT_TRUE(result["last_file"].is_null());
            EXPECT_EQ(result["bytes_written"].whole(), 0u);
        }
    }

    // The first run in full.
    const Finished again = run_process(cli({"-o", (scratch.path() / "again").string(), "-n", "3", "-s", "5K",
                                            "-t", "random", "--seed", "42", "--json"}));
    const JsonValue run = json_of(again.out);
    EXPECT_EQ(again.out.back(), '\n');
    EXPECT_EQ(std::count(again.out.begin(), again.out.end(), '\n'), 1) << "one line, nothing else";
    EXPECT_EQ(run["folder"].string(), (scratch.path() / "again").string());
    EXPECT_EQ(run["type"].string(), "random");
    EXPECT_EQ(run["count"].whole(), 3u);
    EXPECT_EQ(run["size"].whole(), 5120u);
    EXPECT_EQ(run["bytes_written"].whole(), 15360u);
    EXPECT_EQ(run["tag"].string(), "0000000000000046");
    EXPECT_EQ(run["seed"].whole(), 42u);
    EXPECT_EQ(run["first_file"].string(), "random__001_0000000000000046.file");
    EXPECT_EQ(run["last_file"].string(), "random__003_0000000000000046.file");
    // Measured to the microsecond: a run of three small files takes less than a millisecond, and
    // its rate is the bytes over the time printed.
    EXPECT_GT(run["seconds"].number(), 0.0);
    EXPECT_NEAR(run["bytes_per_second"].number(), 15360 / run["seconds"].number(), 1.0);
    EXPECT_NEAR(run["files_per_second"].number(), 3 / run["seconds"].number(), 1.0);
    EXPECT_FALSE(run["disk_full"].boolean());
    EXPECT_FALSE(run["direct_refused"].boolean());

    // A shard names its own first and last file.
    const Finished shard = run_process(cli({"-o", (scratch.path() / "shard").string(), "-n", "3", "-s", "5K",
                                            "-t", "random", "--seed", "42", "--files", "2-3", "--json"}));
    const JsonValue part = json_of(shard.out);
    EXPECT_EQ(part["files_written"].whole(), 2u);
    EXPECT_EQ(part["first_file"].string(), "random__002_0000000000000046.file");
    EXPECT_EQ(part["last_file"].string(), "random__003_0000000000000046.file");
    EXPECT_EQ(part["dedupe_unit"].string(), "4K");

    // A unit is in the names, in the run's object and in verify's, which reads it from the names.
    const std::string units = (scratch.path() / "units").string();
    const Finished unit_run =
        run_process(cli({"-o", units, "-n", "2", "-s", "3M", "--compress", "40", "--dedupe", "50",
                         "--dedupe-unit", "1m", "--seed", "42", "--json"}));
    const JsonValue shaped = json_of(unit_run.out);
    EXPECT_EQ(shaped["compress"].whole(), 40u);
    EXPECT_EQ(shaped["dedupe"].whole(), 50u);
    EXPECT_EQ(shaped["dedupe_unit"].string(), "1M");
    EXPECT_EQ(shaped["first_file"].string(), "random_c40_d50_u1m__001_0000000000000046.file");
    const JsonValue checked = json_of(run_process(cli({"verify", "--json", units})).out);
    EXPECT_TRUE(checked["intact"].boolean());
    ASSERT_EQ(checked["runs"].array().size(), 1u);
    EXPECT_EQ(checked["runs"][0]["prefix"].string(), "random_c40_d50_u1m_");
    EXPECT_EQ(checked["runs"][0]["dedupe_unit"].string(), "1M");
}

// Every way out with --json prints one object, whose status says what the exit code says.
TEST(CliJson, EveryExitPrintsOneObjectWhoseStatusMatchesTheCode) {
    ScratchFolder scratch;
    const std::string made = (scratch.path() / "made").string();
    ASSERT_EQ(run_process(cli({"-q", "-o", made, "-n", "3", "-s", "4", "-t", "2", "--seed", "1"})).code, 0);
    const std::string damaged = (scratch.path() / "damaged").string();
    ASSERT_EQ(run_process(cli({"-q", "-o", damaged, "-n", "3", "-s", "4", "-t", "2", "--seed", "1"})).code,
              0);
    const fs::path last = fs::path(damaged) / "random__003_0000000000000001.file";
    fs::remove(last);
    mkfifo(last.c_str(), 0666);
    const struct {
        const char* what;
        std::vector<std::string> argv;
        int code;
        const char* status;
        const char* error_part; // null: error is null
    } cases[] = {
        {"an unknown option", cli({"--json", "--bogus"}), 2, "bad_arguments", "--bogus"},
        {"a size in decimal units", cli({"-o", made, "-s", "10GB", "--json"}), 2, "bad_arguments",
         "write G or GiB, not GB"},
        {"a size with a blank", cli({"-o", made, "-s", "10 G", "--json"}), 2, "bad_arguments", "10 G"},
        {"a type that is none", cli({"-o", made, "-t", "3", "--json"}), 2, "bad_arguments", "\"3\""},
        {"a folder path too long", cli({"-o", "/" + std::string(5000, 'a'), "--json"}), 2, "bad_arguments",
         ""},
        {"verify, intact", cli({"verify", "--json", made}), 0, "intact", nullptr},
        {"verify, a pipe at the run's last number", cli({"verify", "--json", damaged}), 1, "not_intact",
         nullptr},
        {"verify, no such folder", cli({"verify", "--json", (scratch.path() / "none").string()}), 2,
         "bad_arguments", ""},
        {"verify, a bad option", cli({"verify", "--json", "--count", "0"}), 2, "bad_arguments", "--count"},
        {"clean, nothing to take", cli({"clean", "--json", (scratch.path()).string()}), 0, "done", nullptr},
        {"clean, no such folder", cli({"clean", "--json", (scratch.path() / "none").string()}), 2,
         "bad_arguments", ""},
        {"clean, a file for a folder", cli({"clean", "--json", "--dry-run", last.string()}), 2,
         "bad_arguments", ""},
        {"clean, no folder", cli({"clean", "--json"}), 2, "bad_arguments", "clean ."},
        {"clean, an option of a run", cli({"clean", "--json", "-n", "3", made}), 2, "bad_arguments", "-n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Finished run = run_process(c.argv);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
        const JsonValue result = json_of(run.out);
        if (!result.is_object())
            continue;
        EXPECT_EQ(result["status"].string(), c.status);
        if (c.error_part == nullptr)
            EXPECT_TRUE(result["error"].is_null());
        else
            EXPECT_NE(result["error"].string().find(c.error_part), std::string::npos)
                << result["error"].string();
    }
}

// A check cancelled by a signal says so, with its own exit code, and judges no run.
TEST(CliJson, ACancelledCheckSaysSo) {
    ScratchFolder scratch;
    // Zeros without a disk to read them from: holes of 8 GiB, which take a while all the same (the
    // signal comes after a second).
    for (int n = 1; n <= 8; ++n) {
        const fs::path file =
            scratch.path() / ("maximal_compressible__00" + std::to_string(n) + "_1234567812345678.file");
        std::ofstream{file};
        fs::resize_file(file, std::uintmax_t{8} << 30);
    }
    // The signal comes once the check has shown its first progress, a second after it began.
    const Finished run =
        run_process(cli({"verify", "--json", "--progress", "--threads", "1", scratch.path().string()}), {},
                    [](CliProcess& check) {
                        EXPECT_TRUE(check.wait_for("checked ", Output::err));
                        check.signal(SIGTERM);
                    });
    EXPECT_EQ(run.code, 143) << run.err;
    const JsonValue result = json_of(run.out);
    if (result.is_object()) {
        EXPECT_EQ(result["status"].string(), "cancelled");
        EXPECT_EQ(result["signal"].string(), "SIGTERM");
        EXPECT_FALSE(result["intact"].boolean());
        EXPECT_TRUE(result["runs"].array().empty());
    }
}

// A signal at the overwrite question is a cancel: its status and signal, no error.
TEST(CliJson, ASignalAtTheQuestionIsACancel) {
    ScratchFolder scratch;
    const std::string folder = (scratch.path() / "out").string();
    ASSERT_EQ(run_process(cli({"-q", "-o", folder, "-n", "1", "-s", "4", "--seed", "5"})).code, 0);
    const struct {
        int signal;
        int code;
        const char* name;
    } cases[] = {{SIGINT, 130, "SIGINT"}, {SIGTERM, 143, "SIGTERM"}, {SIGHUP, 129, "SIGHUP"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The question waits for an answer that never comes. The signal comes once the program
        // sleeps, waiting: a ThreadSanitizer build was seen to lose one that came in the instant
        // between the question and the wait.
        const Finished run =
            run_process(cli({"-o", folder, "-n", "1", "-s", "4", "--seed", "5", "--json"}),
                        ProcessSetup().input_on_terminal().errors_on_terminal(), [&](CliProcess& asked) {
                            EXPECT_TRUE(asked.wait_for("[y/N] ", Output::terminal));
                            EXPECT_TRUE(asked.wait_until_asleep());
                            asked.signal(c.signal);
                        });
        EXPECT_EQ(run.code, c.code) << run.err;
        const JsonValue result = json_of(run.out);
        expect_run_keys(result);
        if (!result.is_object())
            continue;
        EXPECT_EQ(result["status"].string(), "cancelled");
        EXPECT_EQ(result["signal"].string(), c.name);
        EXPECT_TRUE(result["error"].is_null());
    }
}

// A second signal ends the program at once, but no cut file keeps the name of a whole one.
TEST(CliJson, ASecondSignalLeavesNoCutFileUnderAWholeName) {
    // Ending at once leaves the jobs' threads running, as it must; a ThreadSanitizer build would
    // report them as leaked and change the exit code.
    const char* const sanitizer = std::getenv("TSAN_OPTIONS");
    const std::string options = std::string(sanitizer != nullptr ? sanitizer : "") + " report_thread_leaks=0";
    const std::optional<std::string> before =
        sanitizer != nullptr ? std::optional<std::string>(sanitizer) : std::nullopt;
    setenv("TSAN_OPTIONS", options.c_str(), 1);
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(std::string("jobs ") + jobs);
        ScratchFolder scratch;
        const fs::path folder = scratch.path() / "out";
        const Finished run = run_process(
            cli({"-o", folder.string(), "-n", "40", "-s", "64M", "-t", "1", "--jobs", jobs, "--json"}), {},
            [&](CliProcess& writing) {
                EXPECT_TRUE(writing.wait_until([&] { return !files_in_or_none(folder).empty(); }));
                // Two different signals: the same one twice may arrive as one. The second comes
                // as soon as the first has been handled, before the jobs have seen the cancel.
                writing.signal(SIGINT);
                writing.signal(SIGTERM);
            });
        // The two signals may be handled on two threads at once, in either order: the exit code
        // is the one that came first, whichever it was.
        EXPECT_TRUE(run.code == 130 || run.code == 143) << run.code << ": " << run.err;
        for (const fs::path& file : files_in(folder)) {
            if (file.extension() != ".partial") {
                EXPECT_EQ(fs::file_size(file), 64u << 20) << file;
            }
        }
    }
    if (before)
        setenv("TSAN_OPTIONS", before->c_str(), 1);
    else
        unsetenv("TSAN_OPTIONS");
}

// A run without --seed reports the number it drew, and that number makes the same files again.
TEST(CliJson, TheReportedSeedMakesTheRunAgain) {
    for (const char* type : {"0", "1", "2"}) {
        SCOPED_TRACE(std::string("type ") + type);
        ScratchFolder scratch;
        const Finished first = run_process(
            cli({"-o", (scratch.path() / "a").string(), "-n", "2", "-s", "9", "-t", type, "--json"}));
        ASSERT_EQ(first.code, 0) << first.err;
        const std::string seed = std::to_string(json_of(first.out)["seed"].whole());
        const Finished second = run_process(cli({"-o", (scratch.path() / "b").string(), "-n", "2", "-s", "9",
                                                 "-t", type, "--seed", seed, "--json"}));
        ASSERT_EQ(second.code, 0) << second.err;
        EXPECT_EQ(json_of(second.out)["tag"].string(), json_of(first.out)["tag"].string());
        const auto a = files_in(scratch.path() / "a");
        const auto b = files_in(scratch.path() / "b");
        ASSERT_EQ(a.size(), 2u);
        ASSERT_EQ(b.size(), 2u);
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].filename(), b[i].filename());
            EXPECT_EQ(read_file(a[i]), read_file(b[i]));
        }
    }
}

// Ctrl-C: the JSON tells exactly what is on the disk, and verify, told the count, finds it short.
TEST(CliJson, ACancelledRunSaysWhatItLeft) {
    ScratchFolder scratch;
    const fs::path folder = scratch.path() / "out";
    const Finished run =
        run_process(cli({"-o", folder.string(), "-n", "40", "-s", "64M", "-t", "1", "--json"}), {},
                    [&](CliProcess& writing) {
                        EXPECT_TRUE(writing.wait_until([&] { return !files_in_or_none(folder).empty(); }));
                        writing.signal(SIGINT);
                    });
    EXPECT_EQ(run.code, 130) << run.err;
    const JsonValue result = json_of(run.out);
    expect_run_keys(result);
    EXPECT_EQ(result["status"].string(), "cancelled");
    // The file the cancel cut short keeps its bytes under a name no whole file has.
    std::vector<fs::path> whole;
    size_t partial = 0;
    for (const fs::path& file : files_in(folder)) {
        if (file.extension() == ".partial")
            ++partial;
        else
            whole.push_back(file);
    }
    EXPECT_LE(partial, 1u);
    ASSERT_FALSE(whole.empty() && partial == 0);
    EXPECT_LT(whole.size(), 40u);
    EXPECT_EQ(result["files_written"].whole(), whole.size());
    EXPECT_EQ(result["bytes_written"].whole(), bytes_in(folder));
    if (whole.empty()) {
        EXPECT_TRUE(result["last_file"].is_null());
    } else {
        EXPECT_EQ(result["last_file"].string(), whole.back().filename().string());
    }
    EXPECT_TRUE(result["error"].is_null());

    const Finished check = run_process(cli({"verify", "-n", "40", "-s", "64M", "--json", folder.string()}));
    EXPECT_EQ(check.code, 1);
    const JsonValue verdict = json_of(check.out);
    EXPECT_FALSE(verdict["intact"].boolean());
    ASSERT_EQ(verdict["runs"].array().size(), 1u);
    const JsonValue& missing = verdict["runs"][0]["missing"];
    ASSERT_EQ(missing.array().size(), 1u);
    EXPECT_EQ(missing[0][0].whole(), whole.size() + 1);
    EXPECT_EQ(verdict["runs"][0]["damaged"].array().size(), partial);
    if (partial == 1) {
        EXPECT_TRUE(verdict["runs"][0]["damaged"][0]["partial"].boolean());
    }
    EXPECT_EQ(missing[0][1].whole(), 40u);
}

// A full disk: a small file system of its own, in a mount namespace that needs no privileges.
TEST(CliJson, AFullDiskSaysWhatFitted) {
    ScratchFolder scratch;
    const fs::path mount = scratch.path() / "small";
    fs::create_directories(mount);
    const std::string script =
        "mount -t tmpfs -o size=256k tmpfs \"$0\" || exit 99\n"
        "\"$1\" -n 5 -s 100K -o \"$0\" --json; echo \"run exit $?\" >&2\n"
        "\"$1\" verify -n 5 -s 100K --json \"$0\"\n"
        "rm -f \"$0\"/*; \"$1\" --fill -s 100K -o \"$0\" --json; echo \"fill exit $?\" >&2\n"
        "\"$1\" verify --json \"$0\"; echo \"fill check exit $?\" >&2\n";
    const Finished run = run_process(
        {"unshare", "--map-root-user", "--mount", "sh", "-c", script, mount.string(), PELMORA_CLI});
    if (run.code == 99 || run.code == 127 || run.err.rfind("unshare:", 0) == 0)
        GTEST_SKIP() << "no mount namespace for a small file system here: " << run.err;
    EXPECT_NE(run.err.find("run exit 1\n"), std::string::npos) << run.err;
    const size_t line_end = run.out.find('\n');
    ASSERT_NE(line_end, std::string::npos) << run.out;
    const JsonValue result = json_of(run.out.substr(0, line_end + 1));
    expect_run_keys(result);
    EXPECT_EQ(result["status"].string(), "error");
    EXPECT_EQ(result["files_written"].whole(), 2u);
    EXPECT_EQ(result["bytes_written"].whole(), 2u * 102400);
    EXPECT_NE(result["error"].string().find("The disk is full!"), std::string::npos);
    EXPECT_NE(result["last_file"].string().find("__002_"), std::string::npos);

    const size_t verdict_end = run.out.find('\n', line_end + 1);
    ASSERT_NE(verdict_end, std::string::npos) << run.out;
    const JsonValue verdict = json_of(run.out.substr(line_end + 1, verdict_end - line_end));
    EXPECT_FALSE(verdict["intact"].boolean());
    ASSERT_EQ(verdict["runs"].array().size(), 1u);
    EXPECT_EQ(verdict["runs"][0]["files"].whole(), 2u);
    EXPECT_EQ(verdict["runs"][0]["missing"][0][0].whole(), 3u);
    EXPECT_EQ(verdict["runs"][0]["missing"][0][1].whole(), 5u);

    // With --fill the full disk is the run's end: what fit, and no error.
    EXPECT_NE(run.err.find("fill exit 0\n"), std::string::npos) << run.err;
    const size_t filled_end = run.out.find('\n', verdict_end + 1);
    ASSERT_NE(filled_end, std::string::npos) << run.out;
    const JsonValue filled = json_of(run.out.substr(verdict_end + 1, filled_end - verdict_end));
    expect_run_keys(filled);
    EXPECT_EQ(filled["status"].string(), "done");
    EXPECT_TRUE(filled["disk_full"].boolean());
    EXPECT_TRUE(filled["error"].is_null());
    EXPECT_EQ(filled["count"].whole(), 65536u);
    // Two files of 100 KB and 56 KB of a third fill the 256 KB.
    EXPECT_EQ(filled["files_written"].whole(), 3u);
    EXPECT_EQ(filled["bytes_written"].whole(), 2u * 102400 + 56 * 1024);
    EXPECT_EQ(filled["last_file_size"].whole(), 56u * 1024);
    EXPECT_NE(filled["last_file"].string().find("_fill__00003_"), std::string::npos)
        << "the width of 65,536 files, and the fill mark";

    // A plain check of the filled disk calls it intact and says what came back.
    EXPECT_NE(run.err.find("fill check exit 0\n"), std::string::npos) << run.err;
    const JsonValue checked = json_of(run.out.substr(filled_end + 1));
    EXPECT_TRUE(checked["intact"].boolean());
    ASSERT_EQ(checked["runs"].array().size(), 1u);
    const JsonValue& fill_run = checked["runs"][0];
    EXPECT_TRUE(fill_run["fill"].boolean());
    EXPECT_EQ(fill_run["files"].whole(), 3u);
    EXPECT_EQ(fill_run["last_size"].whole(), 56u * 1024);
    EXPECT_EQ(fill_run["bytes_intact"].whole(), 2u * 102400 + 56 * 1024);
    EXPECT_EQ(fill_run["bytes_lost"].whole(), 0u);
    EXPECT_TRUE(fill_run["missing"].array().empty());
}

TEST(CliJson, ARangeOfSizesIsSaidByTheRunAndByItsCheck) {
    ScratchFolder scratch;
    const std::string folder = (scratch.path() / "r").string();
    const Finished made =
        run_process(cli({"-o", folder, "-n", "12", "-s", "4K-1M", "--seed", "5", "--json"}));
    ASSERT_EQ(made.code, 0) << made.err;
    const JsonValue run = json_of(made.out);
    expect_run_keys(run);
    EXPECT_TRUE(run["size"].is_null());
    EXPECT_EQ(run["size_low"].whole(), 4096u);
    EXPECT_EQ(run["size_high"].whole(), 1048576u);
    EXPECT_EQ(run["size_spread"].string(), "log");
    EXPECT_EQ(run["last_file"].string(), "non_compressible_s4k-1m__012_3734336137578042.file");
    uint64_t bytes = 0;
    for (const fs::path& file : files_in(folder)) {
        EXPECT_EQ(file.filename().string().find("non_compressible_s4k-1m__0"), 0u) << file;
        bytes += fs::file_size(file);
    }
    EXPECT_EQ(run["bytes_written"].whole(), bytes);
    EXPECT_EQ(run["last_file_size"].whole(), fs::file_size(folder + "/" + run["last_file"].string()));

    const Finished checked = run_process(cli({"verify", "--json", folder}));
    EXPECT_EQ(checked.code, 0) << checked.out;
    const JsonValue row = json_of(checked.out)["runs"][0];
    EXPECT_EQ(row["prefix"].string(), "non_compressible_s4k-1m_");
    EXPECT_TRUE(row["size"].is_null());
    EXPECT_EQ(row["size_low"].whole(), 4096u);
    EXPECT_EQ(row["size_high"].whole(), 1048576u);
    EXPECT_EQ(row["size_spread"].string(), "log");
    EXPECT_EQ(row["bytes_intact"].whole(), bytes);

    // A file cut short is reported against its own size, also when a size is intended.
    const fs::path third = fs::path(folder) / "non_compressible_s4k-1m__003_3734336137578042.file";
    const uint64_t own = fs::file_size(third);
    fs::resize_file(third, own - 1024);
    const Finished report = run_process(cli({"verify", "-s", "4K", folder}));
    EXPECT_EQ(report.code, 1);
    EXPECT_NE(report.out.find("12 files of 4 to 1024 KB (log-uniform, each file its own size)"),
              std::string::npos)
        << report.out;
    EXPECT_NE(report.out.find("__003_3734336137578042.file: truncated: " + std::to_string(own - 1024) +
                              " of " + std::to_string(own) + " bytes"),
              std::string::npos)
        << report.out;
    EXPECT_EQ(std::count(report.out.begin(), report.out.end(), '\n'), 3) << report.out;
}

TEST(CliJson, ARangeOfSizesFillsADiskAndChecksIntact) {
    ScratchFolder scratch;
    const fs::path mount = scratch.path() / "small";
    fs::create_directories(mount);
    const std::string script = "mount -t tmpfs -o size=512k tmpfs \"$0\" || exit 99\n"
                               "\"$1\" --fill -s 16K-96K --size-spread uniform --seed 8 -o \"$0\" --json\n"
                               "\"$1\" verify --json \"$0\"; echo \"check exit $?\" >&2\n"
                               "ls -l \"$0\" >&2\n";
    const Finished run = run_process(
        {"unshare", "--map-root-user", "--mount", "sh", "-c", script, mount.string(), PELMORA_CLI});
    if (run.code == 99 || run.code == 127 || run.err.rfind("unshare:", 0) == 0)
        GTEST_SKIP() << "no mount namespace for a small file system here: " << run.err;
    const size_t line_end = run.out.find('\n');
    ASSERT_NE(line_end, std::string::npos) << run.out;
    const JsonValue filled = json_of(run.out.substr(0, line_end + 1));
    expect_run_keys(filled);
    EXPECT_EQ(filled["status"].string(), "done");
    EXPECT_TRUE(filled["disk_full"].boolean());
    EXPECT_GT(filled["files_written"].whole(), 3u);
    EXPECT_NE(filled["last_file"].string().find("_su16k-96k_fill__"), std::string::npos);
    const JsonValue checked = json_of(run.out.substr(line_end + 1));
    EXPECT_NE(run.err.find("check exit 0\n"), std::string::npos) << run.out << run.err;
    const JsonValue& row = checked["runs"][0];
    EXPECT_TRUE(row["intact"].boolean());
    EXPECT_EQ(row["files"].whole(), filled["files_written"].whole());
    EXPECT_EQ(row["bytes_intact"].whole(), filled["bytes_written"].whole());
    EXPECT_EQ(row["last_size"].whole(), filled["last_file_size"].whole());
    EXPECT_EQ(row["bytes_lost"].whole(), 0u);
}

TEST(CliJson, VerifyReadsBack) {
    ScratchFolder scratch;
    const std::string folder = scratch.path().string();
    for (const char* type : {"0", "1", "2"})
        ASSERT_EQ(
            run_process(cli({"-o", folder, "-n", "3", "-s", "5K", "-q", "--seed", "7", "-t", type})).code, 0);
    const Finished whole = run_process(cli({"verify", "--json", folder}));
    EXPECT_EQ(whole.code, 0) << whole.err;
    const JsonValue intact = json_of(whole.out);
    EXPECT_TRUE(intact["intact"].boolean());
    EXPECT_TRUE(intact["error"].is_null());
    EXPECT_TRUE(intact["count"].is_null());
    ASSERT_EQ(intact["runs"].array().size(), 3u);
    // The files read, and the rate: those files over the time printed.
    EXPECT_EQ(intact["files_checked"].whole(), 9u);
    EXPECT_GT(intact["seconds"].number(), 0.0);
    EXPECT_NEAR(intact["files_per_second"].number(), 9 / intact["seconds"].number(), 1.0);

    // Damage: a file gone, one cut short, one byte changed.
    std::string generator_name, zeros_name;
    for (const fs::path& file : files_in(scratch.path())) {
        const std::string name = file.filename().string();
        if (name.rfind("random__002_", 0) == 0)
            fs::remove(file);
        if (name.rfind("non_compressible__003_", 0) == 0) {
            fs::resize_file(file, 3000);
            generator_name = name;
        }
        if (name.rfind("maximal_compressible__001_", 0) == 0) {
            std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
            bytes.seekp(100);
            bytes.put('x');
            zeros_name = name;
        }
    }

    const struct {
        const char* what;
        std::vector<std::string> argv;
        int code;
        // per run, in the order verify lists them (generator data, zeros, random data)
        int64_t last_missing[3]; // the end of the last missing range; 0 for none
        int damaged[3];
    } cases[] = {
        {"damaged", cli({"verify", "--json", folder}), 1, {0, 0, 2}, {1, 1, 0}},
        {"damaged, and meant to have 4 files",
         cli({"verify", "--json", "-n", "4", "-s", "5K", folder}),
         1,
         {4, 4, 4},
         {1, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Finished check = run_process(c.argv);
        EXPECT_EQ(check.code, c.code) << check.err;
        const JsonValue verdict = json_of(check.out);
        EXPECT_FALSE(verdict["intact"].boolean());
        const JsonArray& runs = verdict["runs"].array();
        ASSERT_EQ(runs.size(), 3u);
        const char* types[] = {"noncompressible", "compressible", "random"};
        const char* prefixes[] = {"non_compressible_", "maximal_compressible_", "random_"};
        for (size_t r = 0; r < 3; ++r) {
            SCOPED_TRACE(types[r]);
            EXPECT_EQ(runs[r]["type"].string(), types[r]);
            EXPECT_EQ(runs[r]["prefix"].string(), prefixes[r]);
            EXPECT_EQ(runs[r]["width"].whole(), 3u);
            EXPECT_EQ(runs[r]["dedupe_unit"].string(), "4K");
            EXPECT_EQ(runs[r]["size"].whole(), 5120u);
            EXPECT_FALSE(runs[r]["intact"].boolean());
            const JsonArray& missing = runs[r]["missing"].array();
            EXPECT_EQ(missing.empty() ? 0 : static_cast<int64_t>(missing.back()[1].whole()),
                      c.last_missing[r]);
            EXPECT_EQ(runs[r]["damaged"].array().size(), static_cast<size_t>(c.damaged[r]));
        }
        const JsonValue& truncated = runs[0]["damaged"][0];
        EXPECT_EQ(truncated["name"].string(), generator_name);
        EXPECT_EQ(truncated["number"].whole(), 3u);
        EXPECT_EQ(truncated["size"].whole(), 3000u);
        EXPECT_TRUE(truncated["wrong_size"].boolean());
        EXPECT_TRUE(truncated["unreadable"].is_null());
        const JsonValue& changed = runs[1]["damaged"][0];
        EXPECT_EQ(changed["name"].string(), zeros_name);
        EXPECT_FALSE(changed["wrong_size"].boolean());
        EXPECT_EQ(changed["first_difference"].whole(), 100u);
    }

    const Finished absent = run_process(cli({"verify", "--json", folder + "/absent"}));
    EXPECT_EQ(absent.code, 2);
    const JsonValue unreadable = json_of(absent.out);
    EXPECT_FALSE(unreadable["intact"].boolean());
    EXPECT_FALSE(unreadable["error"].string().empty());
    EXPECT_TRUE(unreadable["runs"].array().empty());
    EXPECT_NE(absent.err.find("cannot read the folder"), std::string::npos);
}

// verify told the intent: a whole run of fewer files than intended is not intact.
// clean as a script uses it: the runs the program made go, with their .partial leftovers; what
// else is in the folder stays; a dry run names the same files and removes none; --json gives the
// counts and a row per run.
TEST(CliClean, TakesTheRunsAndTellsWhatItTook) {
    ScratchFolder scratch;
    const fs::path folder = scratch.path() / "runs";
    const std::string dir = folder.string();
    ASSERT_EQ(run_process(cli({"-q", "-o", dir, "-n", "3", "-s", "4", "-t", "2", "--seed", "1"})).code, 0);
    ASSERT_EQ(run_process(cli({"-q", "-o", dir, "-n", "1000", "-s", "0", "-t", "1"})).code, 0);
    ASSERT_EQ(
        run_process(cli({"-q", "-o", dir, "-n", "2", "-s", "1", "--compress", "40", "--seed", "2"})).code, 0);
    // A cancelled run's leftover, a file of the user's, and a link under a run file's name to a file
    // outside.
    fs::rename(folder / "random__003_0000000000000001.file",
               folder / "random__003_0000000000000001.file.partial");
    std::ofstream(folder / "notes.txt") << "mine";
    std::ofstream(scratch.path() / "elsewhere") << "not in the folder";
    fs::create_symlink(scratch.path() / "elsewhere", folder / "random__004_0000000000000001.file");
    const size_t entries = files_in(folder).size();
    ASSERT_EQ(entries, 3u + 1000u + 2u + 2u);

    const Finished dry = run_process(cli({"clean", "--dry-run", dir}));
    EXPECT_EQ(dry.code, 0) << dry.err;
    EXPECT_EQ(dry.err, "");
    EXPECT_EQ(files_in(folder).size(), entries) << "a dry run takes nothing";
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = dry.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(dry.out.substr(at, end - at));
    ASSERT_EQ(lines.size(), 1005u + 3u + 1u) << "each file, each run, the summary";
    std::vector<std::string> named(lines.begin(), lines.begin() + 1005);
    std::vector<std::string> expected;
    for (const fs::path& file : files_in(folder))
        if (file.filename() != "notes.txt" && !fs::is_symlink(file))
            expected.push_back(file.filename().string());
    std::sort(named.begin(), named.end());
    EXPECT_EQ(named, expected);
    EXPECT_EQ(lines[1005], "would go maximal_compressible__####_" + lines[1005].substr(36, 16) +
                               ".file: 1000 files, 0 bytes");
    EXPECT_EQ(lines[1006], "would go random__###_0000000000000001.file: 3 files (1 .partial), 12288 bytes");
    EXPECT_EQ(lines[1007], "would go random_c40_d0__###_0000000000000002.file: 2 files, 2048 bytes");
    EXPECT_EQ(lines[1008],
              "Would remove 1005 files of 3 runs, 14336 bytes; left alone: 2 entries (1 file, 1 link).");

    const Finished taken = run_process(cli({"clean", "--json", dir}));
    EXPECT_EQ(taken.code, 0) << taken.err;
    EXPECT_EQ(std::count(taken.out.begin(), taken.out.end(), '\n'), 1) << "one line, nothing else";
    const JsonValue result = json_of(taken.out);
    ASSERT_TRUE(result.is_object());
    std::vector<std::string> keys;
    for (const auto& [key, value] : result.object())
        keys.push_back(key);
    std::vector<std::string> expected_keys = {
        "status",           "signal", "folder", "dry_run", "error",      "files",
        "partial",          "bytes",  "failed", "folders", "left_alone", "seconds",
        "files_per_second", "runs"};
    std::sort(expected_keys.begin(), expected_keys.end());
    EXPECT_EQ(keys, expected_keys);
    EXPECT_EQ(result["status"].string(), "done");
    EXPECT_TRUE(result["signal"].is_null());
    EXPECT_TRUE(result["error"].is_null());
    EXPECT_FALSE(result["dry_run"].boolean());
    EXPECT_EQ(result["folder"].string(), dir);
    EXPECT_EQ(result["files"].whole(), 1005u);
    EXPECT_EQ(result["partial"].whole(), 1u);
    EXPECT_EQ(result["bytes"].whole(), 14336u);
    EXPECT_EQ(result["failed"].whole(), 0u);
    EXPECT_EQ(result["left_alone"]["files"].whole(), 1u);
    EXPECT_EQ(result["left_alone"]["links"].whole(), 1u);
    EXPECT_EQ(result["left_alone"]["run_names"].whole(), 1u);
    EXPECT_GT(result["seconds"].number(), 0.0);
    EXPECT_NEAR(result["files_per_second"].number(), 1005 / result["seconds"].number(), 1.0);
    ASSERT_EQ(result["runs"].array().size(), 3u);
    const JsonValue& shaped = result["runs"][2];
    EXPECT_EQ(shaped["prefix"].string(), "random_c40_d0_");
    EXPECT_EQ(shaped["type"].string(), "random");
    EXPECT_EQ(shaped["compress"].whole(), 40u);
    EXPECT_FALSE(shaped["fill"].boolean());
    EXPECT_EQ(shaped["tag"].string(), "0000000000000002");
    EXPECT_EQ(shaped["width"].whole(), 3u);
    EXPECT_EQ(shaped["files"].whole(), 2u);
    EXPECT_EQ(shaped["bytes"].whole(), 2048u);
    EXPECT_EQ(shaped["first"].whole(), 1u);
    EXPECT_EQ(shaped["last"].whole(), 2u);
    EXPECT_EQ(result["runs"][0]["width"].whole(), 4u);
    EXPECT_EQ(result["runs"][1]["partial"].whole(), 1u);

    // Only the user's file and the link are left; the link's file is untouched.
    std::vector<std::string> left;
    for (const fs::path& file : files_in(folder))
        left.push_back(file.filename().string());
    EXPECT_EQ(left, (std::vector<std::string>{"notes.txt", "random__004_0000000000000001.file"}));
    EXPECT_TRUE(fs::is_symlink(folder / "random__004_0000000000000001.file"));
    EXPECT_EQ(fs::file_size(scratch.path() / "elsewhere"), 17u);
    const Finished check = run_process(cli({"verify", dir}));
    EXPECT_EQ(check.code, 1) << "no runs are left to check";

    // Again: nothing of a run is there, which is no error.
    const Finished again = run_process(cli({"clean", dir}));
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(again.out, "No runs found: no file here has a name that a run gives its files; left alone: 2 "
                         "entries (1 file, 1 link).\n");
}

TEST(CliClean, AFolderThatCannotBeReadIsABadArgument) {
    ScratchFolder scratch;
    std::ofstream(scratch.path() / "file") << "x";
    const struct {
        const char* what;
        std::vector<std::string> argv;
        const char* said;
    } cases[] = {
        {"no such folder", cli({"clean", (scratch.path() / "none").string()}),
         "\": No such file or directory\n"},
        {"a file", cli({"clean", "--dry-run", (scratch.path() / "file").string()}), "\": Not a directory\n"},
        {"no folder named", cli({"clean"}), "clean needs a folder (\"clean .\" for the current one)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Finished run = run_process(c.argv);
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("pelmora-cli: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(scratch.path() / "none")) << "nothing is made";
}

TEST(CliVerify, KnowsTheIntentWhenTold) {
    ScratchFolder scratch;
    const std::string folder = scratch.path().string();
    ASSERT_EQ(run_process(cli({"-o", folder, "-n", "3", "-s", "4K", "-q"})).code, 0);
    const struct {
        std::vector<std::string> argv;
        int code;
        const char* line; // in the report
    } cases[] = {
        {cli({"verify", folder}), 0, "OK      "},
        {cli({"verify", "-n", "3", "-s", "4K", folder}), 0, "OK      "},
        {cli({"verify", "-n", "8", folder}), 1, "        missing: 004-008\n"},
        {cli({"verify", "-n", "2", folder}), 1, "        1 file numbered past the intended count of 2\n"},
        {cli({"verify", "-n", "1000", folder}), 1,
         "        the numbers have 3 digits, but a run of 1000 files has 4\n"},
        {cli({"verify", "-s", "8K", folder}), 1, "truncated: 4096 of 8192 bytes\n"},
        {cli({"verify", "-s", "2K", folder}), 1, "longer than intended: 4096 of 2048 bytes\n"},
    };
    for (const auto& c : cases) {
        const Finished check = run_process(c.argv);
        SCOPED_TRACE(c.argv[c.argv.size() - 2]);
        EXPECT_EQ(check.code, c.code) << check.out << check.err;
        EXPECT_NE(check.out.find(c.line), std::string::npos) << check.out;
    }
}

TEST(CliProgress, OnATerminalAndOnAPipe) {
    ScratchFolder scratch;
    int n = 0;
    const auto run = [&](std::vector<std::string> extra, bool errors_on_terminal) {
        std::vector<std::string> argv =
            cli({"-o", (scratch.path() / std::to_string(++n)).string(), "-n", "200", "-s", "4K", "-t", "1"});
        argv.insert(argv.end(), extra.begin(), extra.end());
        return run_process(argv, ProcessSetup().errors_on_terminal(errors_on_terminal));
    };

    // A terminal: the status lines with their bar, redrawn in place, then wiped for the summary,
    // which goes to standard output.
    Finished terminal = run({}, true);
    EXPECT_EQ(terminal.code, 0);
    EXPECT_NE(terminal.terminal.find("\x1b[1A"), std::string::npos) << terminal.terminal;
    EXPECT_NE(terminal.terminal.find("] "), std::string::npos) << terminal.terminal;
    EXPECT_NE(terminal.terminal.find("##########"), std::string::npos) << terminal.terminal;
    EXPECT_EQ(terminal.out.rfind("Finished", 0), 0u) << terminal.out;
    EXPECT_EQ(lines_of(terminal.out), 1u);

    // --json on standard output leaves the progress on the terminal.
    terminal = run({"--json"}, true);
    EXPECT_NE(terminal.terminal.find("\x1b[1A"), std::string::npos);
    EXPECT_EQ(json_of(terminal.out)["files_written"].whole(), 200u);

    terminal = run({"-q"}, true);
    EXPECT_EQ(terminal.terminal, "");
    EXPECT_EQ(terminal.out, "");

    // A pipe shows nothing unless asked, then plain lines, at most one a second.
    Finished piped = run({}, false);
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(piped.out.rfind("Finished", 0), 0u);
    piped = run({"--progress", "--json"}, false);
    EXPECT_EQ(piped.code, 0);
    EXPECT_EQ(piped.err.find('\x1b'), std::string::npos) << piped.err;
    EXPECT_GE(lines_of(piped.err), 1u) << "200 files report 18 times";
    EXPECT_LE(lines_of(piped.err), 1 + static_cast<size_t>(json_of(piped.out)["seconds"].number()))
        << piped.err;
    EXPECT_NE(piped.err.find(" %]"), std::string::npos) << piped.err;

    // verify's progress in a log ends with the whole count.
    const Finished check = run_process(cli({"verify", "--progress", (scratch.path() / "1").string()}));
    EXPECT_EQ(check.code, 0);
    EXPECT_EQ(check.err.rfind("checked 200 of 200 files, 800.00 KB of 800.00 KB, ", 0), 0u) << check.err;
    EXPECT_NE(check.err.find(" files/s\n"), std::string::npos) << check.err;
    EXPECT_EQ(check.err.find('\x1b'), std::string::npos);
    EXPECT_EQ(check.out.rfind("OK      ", 0), 0u);
}

TEST(CliConventions, ShortOptionsVersionHelpAndTheEndOfOptions) {
    ScratchFolder scratch;
    const fs::path dashed = scratch.path() / "-dir";
    Finished run =
        run_process(cli({"-qy", "-n", "2", "-s4K", "-t", "random", "--seed", "5", "-o", dashed.string()}));
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    ASSERT_EQ(files_in(dashed).size(), 2u);
    EXPECT_EQ(fs::file_size(files_in(dashed)[0]), 4096u);
    // -y overwrites the same names.
    run = run_process(cli({"-yq", "-n2", "-s", "8K", "-trandom", "--seed=5", "-o", dashed.string()}));
    EXPECT_EQ(run.code, 0) << run.err;
    ASSERT_EQ(files_in(dashed).size(), 2u);
    EXPECT_EQ(fs::file_size(files_in(dashed)[0]), 8192u);

    // A folder whose name starts with a dash, after "--".
    run = run_process({PELMORA_CLI, "verify", "--", "-dir"}, ProcessSetup().in_folder(scratch.path()));
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out.rfind("OK      random__###_", 0), 0u) << run.out;
    run = run_process({PELMORA_CLI, "verify", "-dir"}, ProcessSetup().in_folder(scratch.path()));
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err, "pelmora-cli: unknown option \"-d\" (see --help)\n");

    run = run_process(cli({"-V"}));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out.rfind("pelmora-cli (Pelmora) 2.85\ncode path: ", 0), 0u) << run.out;
    EXPECT_EQ(lines_of(run.out), 2u);
    run = run_process(cli({"-h"}));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out.rfind("Usage: pelmora-cli [OPTION]...\n", 0), 0u) << run.out;
    EXPECT_EQ(run_process(cli({"verify", "-h"})).out, run.out);
}

} // namespace
