// Parsing pelmora-cli's options: every value whole, in range, with nothing after it. Why the parser
// is our own: docs/architecture.md.
#include "cli/options.h"

#include <array>
#include <limits>
#include <string>

#include "core/base/size_text.h"
#include "core/base/text.h"
#include "core/run/file_type.h"
#include "core/run/names.h"
#include "core/run/random.h"
#include "core/run/run_limits.h"
#include "core/run/shaped.h"
#include "core/run/verify.h"
#include "core/run/writer.h"

static_assert(kRandomSeedLimit - 1 == 1125899906842623, "the seed range the texts name");
static_assert(kJobsRange.high == 64 && kThreadsRange.high == 64 && kCountRange.high == 4294967295 &&
                  kWindowCountRange.high == 65536 && kPerFolderRange.low == 2 && kCompressRange.low == 1 &&
                  kCompressRange.high == 100 && kDedupeRange.high == 99,
              "the ranges the help texts name");

namespace {

using Result = std::optional<CliError>;

CliError range_error(const std::string& option, const std::u16string& value, const std::string& range) {
    return {option + " takes a whole number " + range + ", not \"" + to_utf8(value) + "\""};
}

// A whole number from `low` to `high` into `target`.
template <typename T>
Result number_into(T& target, const std::u16string& value, const std::string& spelled, NumberRange range) {
    const std::optional<int64_t> number = whole_number(value);
    if (!number || !range.holds(*number))
        return range_error(spelled, value,
                           "from " + std::to_string(range.low) + " to " + std::to_string(range.high));
    target = static_cast<T>(*number);
    return std::nullopt;
}

Result set_folder(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    if (value.empty())
        return CliError{spelled + " needs a folder name, not an empty text"};
    o.folder = value;
    return std::nullopt;
}

Result set_count(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    o.count_given = true;
    return number_into(o.count, value, spelled, kCountRange);
}

// A size with or without a unit, in kilobytes.
Result size_into(std::optional<int32_t>& target, const std::u16string& value, const std::string& spelled) {
    const SizeText size = parse_size_text(value, std::numeric_limits<int32_t>::max());
    switch (size.status) {
    case SizeText::Status::ok:
        target = static_cast<int32_t>(size.kilobytes);
        return std::nullopt;
    case SizeText::Status::negative:
        return CliError{spelled + " must not be negative (\"" + to_utf8(value) + "\")"};
    case SizeText::Status::not_whole:
        return CliError{spelled + " takes whole kilobytes, not \"" + to_utf8(value) + "\""};
    case SizeText::Status::too_large:
        return CliError{spelled + " takes at most 2147483647 KB (2 TiB less 1 KiB), not \"" + to_utf8(value) +
                        "\""};
    case SizeText::Status::invalid:
        break;
    }
    // "10GB" is the likeliest slip: some read GB as 10^9 bytes, so it is not guessed at.
    const std::string text = to_utf8(value);
    const bool decimal_unit =
        text.size() >= 2 && (text.back() == 'B' || text.back() == 'b') &&
        std::string_view("KkMmGgTt").find(text[text.size() - 2]) != std::string_view::npos;
    return CliError{spelled +
                    " takes kilobytes, or a number with K, M, G or T (K = 1024 bytes; also KiB, MiB, "
                    "GiB, TiB), without blanks, not \"" +
                    text + "\"" + (decimal_unit ? " (the units are binary: write G or GiB, not GB)" : "")};
}

Result set_size(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    std::optional<int32_t> size;
    Result error = size_into(size, value, spelled);
    o.size_kb = size.value_or(o.size_kb);
    return error;
}

Result set_expected_size(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    return size_into(o.expected_size_kb, value, spelled);
}

Result set_per_folder(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    return number_into(o.per_folder, value, spelled, kPerFolderRange);
}

Result set_expected_count(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    int64_t count = 0;
    if (Result error = number_into(count, value, spelled, kCountRange))
        return error;
    o.expected_count = count;
    return std::nullopt;
}

Result set_type(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    static constexpr std::array<std::pair<const char16_t*, const char16_t*>, 3> kNames = {
        {{u"0", u"noncompressible"}, {u"1", u"compressible"}, {u"2", u"random"}}};
    for (size_t type = 0; type < kNames.size(); ++type)
        if (value == kNames[type].first || value == kNames[type].second) {
            o.type = static_cast<int32_t>(type);
            o.type_given = true;
            return std::nullopt;
        }
    return CliError{spelled + " takes 0 or noncompressible, 1 or compressible, 2 or random, not \"" +
                    to_utf8(value) + "\""};
}

Result set_compress(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    o.shape_given = true;
    return number_into(o.shape.compress, value, spelled, kCompressRange);
}

Result set_dedupe(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    o.shape_given = true;
    return number_into(o.shape.dedupe, value, spelled, kDedupeRange);
}

Result set_dedupe_unit(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    o.shape_given = true;
    const std::optional<int32_t> unit = parse_dedupe_unit(to_utf8(value));
    if (!unit)
        return CliError{spelled +
                        " takes a power of two from 4K to 64M (4K, 8K, ..., 1M, ..., 64M) or file, not \"" +
                        to_utf8(value) + "\""};
    o.shape.unit = *unit;
    return std::nullopt;
}

Result set_seed(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    uint64_t seed = 0;
    if (Result error = number_into(seed, value, spelled, kSeedRange))
        return error;
    o.seed = seed;
    return std::nullopt;
}

Result set_overwrite(CliOptions& o, Overwrite chosen) {
    if (o.overwrite != Overwrite::ask && o.overwrite != chosen)
        return CliError{"--yes and --no-clobber exclude each other"};
    o.overwrite = chosen;
    return std::nullopt;
}

Result set_language(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    int32_t language = 0;
    if (Result error = number_into(language, value, spelled, kLanguageRange))
        return error;
    o.language = language;
    return std::nullopt;
}

Result set_threads(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    return number_into(o.threads, value, spelled, kThreadsRange);
}

Result set_jobs(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    return number_into(o.jobs, value, spelled, kJobsRange);
}

// "A-B" (or "A", one file): the first and the last number, 1 <= A <= B <= 4294967295.
Result set_files(CliOptions& o, const std::u16string& value, const std::string& spelled) {
    const size_t dash = value.find(u'-');
    const std::optional<int64_t> first = whole_number(value.substr(0, dash));
    const std::optional<int64_t> last =
        dash == std::u16string::npos ? first : whole_number(value.substr(dash + 1));
    if (!first || !last || !kCountRange.holds(*first) || *last < *first || !kCountRange.holds(*last))
        return CliError{spelled + " takes A-B, file numbers with 1 <= A <= B <= " +
                        std::to_string(kCountRange.high) + ", not \"" + to_utf8(value) + "\""};
    o.first = *first;
    o.last = *last;
    return std::nullopt;
}

// A flag's action: the field it sets.
template <bool CliOptions::*field> Result set_flag(CliOptions& o, const std::u16string&, const std::string&) {
    o.*field = true;
    return std::nullopt;
}

Result set_yes(CliOptions& o, const std::u16string&, const std::string&) {
    return set_overwrite(o, Overwrite::yes);
}
Result set_no_clobber(CliOptions& o, const std::u16string&, const std::string&) {
    return set_overwrite(o, Overwrite::no);
}

constexpr CliOption kOptions[] = {
    {'o', "folder", "DIR", kRunCommand, "destination folder, made if missing (default: the current folder)",
     set_folder},
    {'n', "count", "N", kRunCommand, "number of files, 1 to 4294967295 (default 1)", set_count},
    {'s', "size", "SIZE", kRunCommand, "size of each file (default 1024, in KB; see SIZE below)", set_size},
    {'t', "type", "T", kRunCommand,
     "0 or noncompressible (default): generator data; 1 or compressible: zeros; 2 or random: data that "
     "no compressor shrinks",
     set_type},
    {0, "compress", "P", kRunCommand,
     "random data that compresses to P % of its size, 1 to 100 (100: as -t 2); every 4 KB block alike",
     set_compress},
    {0, "dedupe", "D", kRunCommand,
     "D % of the run's units (4 KB blocks unless --dedupe-unit) are copies of earlier ones, 0 to 99, "
     "the rest unique; random data, with or without --compress",
     set_dedupe},
    {0, "dedupe-unit", "U", kRunCommand,
     "what --dedupe copies: whole units of U from the start of each file, a power of two from 4K "
     "(default) to 64M, or file for whole files",
     set_dedupe_unit},
    {0, "seed", "N", kRunCommand,
     "fixes the tag and the data, 0 to 1125899906842623: the same command makes the same files", set_seed},
    {'y', "yes", nullptr, kRunCommand, "overwrite existing files without asking", set_yes},
    {0, "no-clobber", nullptr, kRunCommand, "stop at the first file that exists already", set_no_clobber},
    {0, "lang", "N", kRunCommand, "language of the texts, 0 to 11 (default: from the locale)", set_language},
    {'q', "quiet", nullptr, kRunCommand, "print nothing but errors", set_flag<&CliOptions::quiet>},
    {0, "sync", nullptr, kRunCommand, "flush each file to the disk before closing it",
     set_flag<&CliOptions::sync>},
    {0, "reveal", nullptr, kRunCommand, "open the file manager on the last file at the end",
     set_flag<&CliOptions::reveal>},
    {0, "fill", nullptr, kRunCommand,
     "write until the disk is full, as a normal end: the complete files stay, the one that did not fit "
     "goes; --count is then the most files (default 65536)",
     set_flag<&CliOptions::fill>},
    {0, "jobs", "N", kRunCommand, "write N files at the same time, 1 to 64 (default 1); the same files",
     set_jobs},
    {0, "per-folder", "N", kRunCommand,
     "at most N files in each folder, 2 to 4294967295: numbered subfolders (000, 001, ...), as many "
     "levels of them as the count needs (default: all files in one folder)",
     set_per_folder},
    {0, "files", "A-B", kRunCommand,
     "only files A to B of the run the other options describe, byte for byte as in the whole run (with "
     "--seed, one shard per machine)",
     set_files},
    {'V', "version", nullptr, kRunCommand, "the program's name, version and code path",
     set_flag<&CliOptions::version>},
    {'n', "count", "N", kVerifyCommand,
     "the run was meant to have N files: those missing at the end count as missing", set_expected_count},
    {'s', "size", "SIZE", kVerifyCommand, "the run's files were meant to have SIZE: others are wrong",
     set_expected_size},
    {0, "threads", "N", kVerifyCommand,
     "read with N threads, 1 to 64 (default: one per processor, at most 4, and 4 with --direct; 1 suits "
     "a disk that seeks)",
     set_threads},
    {0, "files", "A-B", kVerifyCommand, "check only these numbers of each run (a shard)", set_files},
    {0, "drop-cache", nullptr, kVerifyCommand,
     "have the system write out and drop the files from its cache first, so that they are read from the "
     "disk (Linux)",
     set_flag<&CliOptions::drop_cache>},
    {0, "direct", nullptr, kBothCommands,
     "write (verify: read) past the system's cache, straight to the device; where the file system "
     "refuses, through the cache, with a note",
     set_flag<&CliOptions::direct>},
    {0, "progress", nullptr, kBothCommands,
     "show progress on standard error also when it is no terminal (one line a second)",
     set_flag<&CliOptions::progress>},
    {0, "dry-run", nullptr, kCleanCommand,
     "list the files that would go, with their count and size; remove nothing",
     set_flag<&CliOptions::dry_run>},
    {0, "json", nullptr, kAllCommands,
     "print the result as one JSON object, and nothing else, on standard output",
     set_flag<&CliOptions::json>},
    {'h', "help", nullptr, kAllCommands, "this text", set_flag<&CliOptions::help>},
};

const CliOption* find_long(std::u16string_view name, unsigned command) {
    for (const CliOption& option : kOptions)
        if ((option.commands & command) != 0 && name == from_utf8(option.long_name))
            return &option;
    return nullptr;
}

const CliOption* find_short(char16_t name, unsigned command) {
    for (const CliOption& option : kOptions)
        if ((option.commands & command) != 0 && option.short_name != 0 &&
            name == static_cast<char16_t>(option.short_name))
            return &option;
    return nullptr;
}

const char* command_name(unsigned command) { return command == kVerifyCommand ? "verify" : "clean"; }

// Why an option is not known here: it belongs to another command, or to none.
CliError unknown(const std::string& spelled, std::u16string_view name, bool is_short, unsigned command) {
    const auto known_to = [&](unsigned other) {
        return is_short ? find_short(name[0], other) != nullptr : find_long(name, other) != nullptr;
    };
    for (const unsigned other : {kVerifyCommand, kCleanCommand, kRunCommand}) {
        if (other == command || !known_to(other))
            continue;
        return {spelled +
                (command == kRunCommand ? " goes with " + std::string(command_name(other)) + " only"
                                        : " does not go with " + std::string(command_name(command))) +
                " (see --help)"};
    }
    return {"unknown option \"" + spelled + "\" (see --help)"};
}

} // namespace

std::span<const CliOption> cli_option_table() { return kOptions; }

std::variant<CliOptions, CliError> parse_cli_options(const std::vector<std::u16string>& arguments) {
    CliOptions options;
    size_t i = 0;
    if (!arguments.empty() && arguments[0] == u"verify") {
        options.verify = true;
        i = 1;
    } else if (!arguments.empty() && arguments[0] == u"clean") {
        options.clean = true;
        i = 1;
    }
    const unsigned command = options.verify ? kVerifyCommand : options.clean ? kCleanCommand : kRunCommand;
    bool folder_given = false;
    bool options_ended = false;
    // The value of a value option: given inline, else the next argument, whatever it looks like.
    const auto value_of = [&](std::optional<std::u16string> inline_value) -> std::optional<std::u16string> {
        if (inline_value)
            return inline_value;
        if (i + 1 < arguments.size())
            return arguments[++i];
        return std::nullopt;
    };
    for (; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        if (!options_ended && argument == u"--") {
            options_ended = true;
            continue;
        }
        if (!options_ended && argument.starts_with(u"--")) {
            // "--name" or "--name=value".
            const size_t equals = argument.find(u'=');
            const std::u16string name =
                argument.substr(2, equals == std::u16string::npos ? equals : equals - 2);
            const std::string spelled = "--" + to_utf8(name);
            const CliOption* option = find_long(name, command);
            if (option == nullptr)
                return unknown(spelled, name, false, command);
            std::optional<std::u16string> inline_value;
            if (equals != std::u16string::npos)
                inline_value = argument.substr(equals + 1);
            if (option->value_name == nullptr && inline_value)
                return CliError{spelled + " takes no value"};
            std::optional<std::u16string> value = u"";
            if (option->value_name != nullptr && !(value = value_of(inline_value)))
                return CliError{spelled + " needs a value"};
            if (Result error = option->apply(options, *value, spelled))
                return *error;
        } else if (!options_ended && argument.size() > 1 && argument[0] == u'-') {
            // "-qy": flags together; "-n5" or "-n 5": a value, joined or as the next argument.
            for (size_t k = 1; k < argument.size(); ++k) {
                std::string spelled = "-";
                spelled += to_utf8(argument.substr(k, 1));
                const CliOption* option = find_short(argument[k], command);
                if (option == nullptr)
                    return unknown(spelled, argument.substr(k, 1), true, command);
                std::optional<std::u16string> value = u"";
                if (option->value_name != nullptr) {
                    value = value_of(k + 1 < argument.size() ? std::optional(argument.substr(k + 1))
                                                             : std::nullopt);
                    if (!value)
                        return CliError{spelled + " needs a value"};
                    k = argument.size();
                }
                if (Result error = option->apply(options, *value, spelled))
                    return *error;
            }
        } else if (command == kRunCommand) {
            return CliError{"unknown option \"" + to_utf8(argument) + "\" (see --help)"};
        } else if (folder_given) {
            return CliError{std::string(command_name(command)) + " takes one folder, not also \"" +
                            to_utf8(argument) + "\""};
        } else if (argument.empty()) {
            return CliError{std::string(command_name(command)) + " needs a folder name, not an empty text"};
        } else {
            options.folder = argument;
            folder_given = true;
        }
    }
    // Removing runs from the current folder is said, never taken for granted.
    if (options.clean)
        return folder_given || options.help
                   ? std::variant<CliOptions, CliError>(options)
                   : CliError{"clean needs a folder (\"clean .\" for the current one)"};
    if (options.verify) {
        if (options.direct && options.drop_cache)
            return CliError{"--direct and --drop-cache exclude each other (direct reads pass the cache)"};
        return options;
    }
    // Shaped data is random data: the shape chooses the type, and another type contradicts it.
    if (options.shape_given) {
        if (options.type_given && options.type != kRandomData)
            return CliError{"--compress, --dedupe and --dedupe-unit shape random data, which --type " +
                            std::to_string(options.type) + " is not"};
        options.type = kRandomData;
        // Without copies the unit changes no byte, and the run is named as with 4 KB.
        options.shape = shape_in_range(options.shape);
    }
    // Filling a disk: as many files as fit, up to the most a run has.
    if (options.fill && !options.count_given)
        options.count = kWindowCountRange.high;
    if (options.last > options.count)
        return CliError{"--files " + std::to_string(options.first) + "-" + std::to_string(options.last) +
                        " reaches past the run's " + std::to_string(options.count) + " files (see --count)"};
    return options;
}

namespace {

constexpr size_t kColumns = 80;
constexpr size_t kHelpColumn = 22;

// `text` broken into lines of at most kColumns, each after `indent` spaces; the first line goes
// after what `out` already holds on its last line.
void append_wrapped(std::string& out, std::string_view text, size_t column) {
    while (!text.empty()) {
        size_t take = text.size();
        if (column + take > kColumns) {
            take = text.rfind(' ', kColumns - column);
            if (take == std::string_view::npos || take == 0)
                take = text.find(' ');
            if (take == std::string_view::npos)
                take = text.size();
        }
        out.append(text.substr(0, take)).push_back('\n');
        text.remove_prefix(take);
        while (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        if (!text.empty())
            out.append(kHelpColumn, ' ');
        column = kHelpColumn;
    }
}

void append_options(std::string& out, unsigned commands) {
    for (const CliOption& option : kOptions) {
        if (option.commands != commands)
            continue;
        std::string left =
            option.short_name != 0 ? std::string("  -") + option.short_name + ", --" : "      --";
        left += option.long_name;
        if (option.value_name != nullptr)
            left += std::string(" ") + option.value_name;
        out += left;
        if (left.size() + 2 > kHelpColumn) {
            out += '\n';
            out.append(kHelpColumn, ' ');
        } else {
            out.append(kHelpColumn - left.size(), ' ');
        }
        append_wrapped(out, option.help, kHelpColumn);
    }
}

// Prose paragraphs, wrapped from the left edge.
void append_paragraph(std::string& out, std::string_view text) {
    while (!text.empty()) {
        size_t take = text.size();
        if (take > kColumns) {
            take = text.rfind(' ', kColumns);
            if (take == std::string_view::npos)
                take = text.size();
        }
        out.append(text.substr(0, take)).push_back('\n');
        text.remove_prefix(take);
        while (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
    }
}

} // namespace

std::string cli_usage() {
    std::string out = "Usage: pelmora-cli [OPTION]...\n"
                      "       pelmora-cli verify [OPTION]... [--] [DIR]\n"
                      "       pelmora-cli clean [OPTION]... [--] DIR\n";
    append_paragraph(out,
                     "Writes N test files of SIZE each into a folder: generator data, random data or zeros. "
                     "With verify, checks every run of such files in DIR (default: the current folder). "
                     "With clean, removes the files of every run in DIR and what cancelled runs left "
                     "(.partial), and nothing else: other files, links and folders stay.");
    out += "\nOptions of a run:\n";
    append_options(out, kRunCommand);
    out += "\nOptions of verify:\n";
    append_options(out, kVerifyCommand);
    out += "\nOptions of a run and verify:\n";
    append_options(out, kBothCommands);
    out += "\nOptions of clean:\n";
    append_options(out, kCleanCommand);
    out += "\nOptions of every command:\n";
    append_options(out, kAllCommands);
    out += '\n';
    append_paragraph(out,
                     "SIZE: kilobytes of 1024 bytes (1024), or a number with a unit: K, M, G, T or KiB, MiB, "
                     "GiB, TiB, powers of 1024 in any case (512K, 1.5M, 10G, 2TiB).");
    out += '\n';
    append_paragraph(
        out, "Exit codes: 0 done, 1 error, 2 bad arguments, 3 overwrite declined, 130 cancelled "
             "(143 by SIGTERM, 129 by SIGHUP). "
             "verify: 0 every run intact, 1 damage, missing files or no runs found, 2 bad arguments or a "
             "folder that cannot be read. "
             "clean: 0 every run file gone (or none found), 1 a file that could not be removed, 2 bad "
             "arguments or a folder that cannot be read.");
    return out;
}
