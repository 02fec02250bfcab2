// The command line of pelmora-cli: one table of options that both the parser and the usage text
// read, so an option is added in one row.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/run/shaped.h"

enum class Overwrite { ask, yes, no };

struct CliOptions {
    bool verify = false;  // "verify [DIR]": check the runs in `folder` instead of writing one
    bool clean = false;   // "clean DIR": remove the runs in `folder`
    bool dry_run = false; // clean: say what would go, remove nothing
    std::u16string folder = u".";
    int64_t count = 1;
    int32_t size_kb = 1024;
    int32_t type = 0;
    DataShape shape;              // --compress, --dedupe and --dedupe-unit: random data
    std::optional<uint64_t> seed; // fixes the tag and the data
    Overwrite overwrite = Overwrite::ask;
    std::optional<int32_t> language;
    bool quiet = false;
    bool sync = false;
    bool reveal = false;
    bool json = false;     // one JSON object on standard output instead of the texts
    bool progress = false; // progress on standard error also when it is no terminal
    bool help = false;
    bool version = false;
    int32_t threads = 0;      // verify's readers; 0: one per processor, at most 4
    bool direct = false;      // runs and verify: past the system's cache
    bool fill = false;        // a full disk ends the run normally; count is then the most files
    bool drop_cache = false;  // verify: drop the files from the cache before reading them
    int32_t jobs = 1;         // files written at the same time
    bool type_given = false;  // --type was said
    bool shape_given = false; // --compress, --dedupe or --dedupe-unit was said
    bool count_given = false; // --count was said (--fill takes the most files otherwise)
    // --files A-B: only these files of the run (verify: of each run); last 0: all of them.
    int64_t first = 1;
    int64_t last = 0;
    int64_t per_folder = 0; // --per-folder: a folder tree; 0: one folder
    // verify: what the run was meant to be, when the user says so.
    std::optional<int64_t> expected_count;
    std::optional<int32_t> expected_size_kb;
};

struct CliError {
    std::string message; // what was wrong, naming the option as it was written
};

// Which command an option belongs to.
enum CliCommands : unsigned {
    kRunCommand = 1,
    kVerifyCommand = 2,
    kBothCommands = 3, // a run and verify
    kCleanCommand = 4,
    kAllCommands = 7,
};

struct CliOption {
    char short_name;        // 0: none
    const char* long_name;  // without the "--"
    const char* value_name; // the value's name in the usage; null for an option without a value
    unsigned commands;      // CliCommands
    const char* help;       // one paragraph; the usage wraps it
    // Takes the value (empty for a flag); an error names the option by `spelled`, as it was
    // written.
    std::optional<CliError> (*apply)(CliOptions& options, const std::u16string& value,
                                     const std::string& spelled);
};

// Every option, in the order the usage lists them.
std::span<const CliOption> cli_option_table();

std::variant<CliOptions, CliError> parse_cli_options(const std::vector<std::u16string>& arguments);

// The usage text, made from the table, every line within 80 columns.
std::string cli_usage();
