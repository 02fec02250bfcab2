// The command line of pelmora-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

enum class Overwrite { ask, yes, no };

struct CliOptions {
    std::u16string folder = u".";
    int32_t count = 1;
    int32_t size_kb = 1024;
    int32_t type = 0;
    std::optional<uint64_t> seed; // fixes the tag and the data
    Overwrite overwrite = Overwrite::ask;
    std::optional<int32_t> language;
    bool quiet = false;
    bool sync = false;
    bool reveal = false;
    bool help = false;
    bool version = false;
    bool verify = false;     // "verify [DIR]": check the runs in `folder` instead of writing one
    int32_t threads = 0;     // verify's readers; 0: one per processor, at most 4
    bool direct = false;     // runs and verify: past the system's cache
    bool fill = false;       // a full disk ends the run normally; count is then the most files
    bool drop_cache = false; // verify: drop the files from the cache before reading them
    int32_t jobs = 1;        // files written at the same time
    // --files A-B: only these files of the run (verify: of each run); last 0: all of them.
    int32_t first = 1;
    int32_t last = 0;
};

struct CliError {
    std::string message; // what was wrong, naming the option
};

std::variant<CliOptions, CliError> parse_cli_options(const std::vector<std::u16string>& arguments);

extern const char* const kCliUsage;
