// Parsing pelmora-cli's options: every value whole, in range, with nothing after it.
#include "cli/options.h"

#include <limits>

#include "core/base/size_text.h"
#include "core/base/text.h"
#include "core/run/random.h"
#include "core/run/run.h"

const char* const kCliUsage =
    "Usage: pelmora-cli [OPTIONS]\n"
    "       pelmora-cli verify [--threads N] [--direct | --drop-cache] [--files A-B] [DIR]\n"
    "Writes N test files of S KB into a folder: generator data, random data or zeros.\n"
    "With verify, checks every run of such files in DIR (default: the current folder).\n"
    "\n"
    "  --folder DIR     destination folder, made if missing (default: the current folder)\n"
    "  --count N        number of files, 1 to 65536 (default 1)\n"
    "  --size KB        size of each file in KB of 1024 bytes (default 1024)\n"
    "  --type T         0 or noncompressible (default): generator data; 1 or compressible:\n"
    "                   zeros; 2 or random: data that no compressor shrinks\n"
    "  --seed N         fixes the tag and the data, 0 to 1125899906842623: the same command\n"
    "                   makes the same files\n"
    "  --yes            overwrite existing files without asking\n"
    "  --no-clobber     stop at the first file that exists already\n"
    "  --lang N         language of the texts, 0 to 11 (default: from the locale)\n"
    "  --quiet          print nothing but errors\n"
    "  --sync           flush each file to the disk before closing it\n"
    "  --reveal         open the file manager on the last file at the end\n"
    "  --direct         write (verify: read) past the system's cache, straight to the device;\n"
    "                   where the file system refuses, through the cache, with a note\n"
    "  --fill           write until the disk is full, as a normal end: the complete files\n"
    "                   stay, the one that did not fit goes; --count is then the most files\n"
    "                   (default 65536)\n"
    "  --jobs N         write N files at the same time, 1 to 64 (default 1); the same files\n"
    "  --files A-B      only files A to B of the run that the other options describe, byte\n"
    "                   for byte as in the whole run (with --seed, one shard per machine);\n"
    "                   verify: check only these numbers of each run\n"
    "  --threads N      verify: read with N threads, 1 to 64 (default: one per processor, at\n"
    "                   most 4, and 4 with --direct; 1 suits a disk that seeks)\n"
    "  --drop-cache     verify: have the system write out and drop the files from its cache\n"
    "                   first, so that they are read from the disk (Linux)\n"
    "  --help           this text\n"
    "  --version        the program's name and version\n"
    "\n"
    "Exit codes: 0 done, 1 error, 2 bad arguments, 3 overwrite declined, 130 cancelled.\n"
    "verify: 0 every run intact, 1 damage, missing files or no runs found, 2 bad arguments or\n"
    "a folder that cannot be read.\n";

static_assert(kRandomSeedLimit - 1 == 1125899906842623, "the seed range the texts name");
static_assert(kMaxJobs == 64, "the range of --jobs the texts name");

namespace {

// A whole decimal number, optionally negative, with nothing before or after it.
std::optional<int64_t> whole_number(const std::u16string& text) {
    size_t i = text.size() > 1 && text[0] == u'-' ? 1 : 0;
    if (i == text.size() || text.size() > 18)
        return std::nullopt;
    int64_t value = 0;
    for (size_t k = i; k < text.size(); ++k) {
        if (text[k] < u'0' || text[k] > u'9')
            return std::nullopt;
        value = value * 10 + (text[k] - u'0');
    }
    return i == 1 ? -value : value;
}

CliError range_error(const std::string& option, const std::u16string& value, const std::string& range) {
    return {option + " takes a whole number " + range + ", not \"" + to_utf8(value) + "\""};
}

// "--name=value" is split into the option's name and its value; anything else is a name alone.
struct OptionWord {
    std::u16string name;
    std::optional<std::u16string> inline_value;
};

OptionWord split_option(const std::u16string& argument) {
    OptionWord word{argument, std::nullopt};
    if (const size_t equals = argument.find(u'=');
        argument.rfind(u"--", 0) == 0 && equals != std::u16string::npos) {
        word.inline_value = argument.substr(equals + 1);
        word.name.resize(equals);
    }
    return word;
}

// An option's value: the one after "=", otherwise the next argument, which `i` then moves past.
std::optional<std::u16string> option_value(const OptionWord& word,
                                           const std::vector<std::u16string>& arguments, size_t& i) {
    if (word.inline_value)
        return word.inline_value;
    if (i + 1 < arguments.size())
        return arguments[++i];
    return std::nullopt;
}

// "A-B" (or "A", one file): the first and the last number, 1 <= A <= B <= 65536.
std::optional<CliError> parse_file_range(const std::u16string& text, CliOptions& options) {
    const size_t dash = text.find(u'-');
    const std::optional<int64_t> first = whole_number(text.substr(0, dash));
    const std::optional<int64_t> last =
        dash == std::u16string::npos ? first : whole_number(text.substr(dash + 1));
    if (!first || !last || *first < 1 || *last < *first || *last > 65536)
        return CliError{"--files takes A-B, file numbers with 1 <= A <= B <= 65536, not \"" + to_utf8(text) +
                        "\""};
    options.first = static_cast<int32_t>(*first);
    options.last = static_cast<int32_t>(*last);
    return std::nullopt;
}

// "verify [--threads N] [DIR]": the folder, or --help; nothing of a run goes with it.
std::variant<CliOptions, CliError> parse_verify(const std::vector<std::u16string>& arguments) {
    CliOptions options;
    options.verify = true;
    bool folder_given = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        const OptionWord word = split_option(argument);
        if (argument == u"--help" || argument == u"-h") {
            options.help = true;
        } else if (word.name == u"--threads") {
            const std::optional<std::u16string> text = option_value(word, arguments, i);
            if (!text)
                return CliError{"--threads needs a value"};
            const std::optional<int64_t> number = whole_number(*text);
            if (!number || *number < 1 || *number > 64)
                return range_error("--threads", *text, "from 1 to 64");
            options.threads = static_cast<int32_t>(*number);
        } else if (argument == u"--direct" || argument == u"--drop-cache") {
            (argument == u"--direct" ? options.direct : options.drop_cache) = true;
            if (options.direct && options.drop_cache)
                return CliError{"--direct and --drop-cache exclude each other (direct reads pass the cache)"};
        } else if (word.name == u"--files") {
            const std::optional<std::u16string> text = option_value(word, arguments, i);
            if (!text)
                return CliError{"--files needs a value"};
            if (std::optional<CliError> error = parse_file_range(*text, options))
                return *error;
        } else if (argument.rfind(u"-", 0) == 0 && argument.size() > 1) {
            return CliError{"verify takes a folder and nothing else, not \"" + to_utf8(argument) + "\""};
        } else if (folder_given) {
            return CliError{"verify takes one folder, not also \"" + to_utf8(argument) + "\""};
        } else if (argument.empty()) {
            return CliError{"verify needs a folder name, not an empty text"};
        } else {
            options.folder = argument;
            folder_given = true;
        }
    }
    return options;
}

} // namespace

std::variant<CliOptions, CliError> parse_cli_options(const std::vector<std::u16string>& arguments) {
    if (!arguments.empty() && arguments[0] == u"verify")
        return parse_verify(arguments);
    CliOptions options;
    bool count_given = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const OptionWord word = split_option(arguments[i]);
        const std::string option = to_utf8(word.name);
        const auto flag = [&](bool& target) -> std::optional<CliError> {
            if (word.inline_value)
                return CliError{option + " takes no value"};
            target = true;
            return std::nullopt;
        };
        const auto value = [&] { return option_value(word, arguments, i); };

        std::optional<CliError> error;
        if (option == "--help" || option == "-h") {
            error = flag(options.help);
        } else if (option == "--version") {
            error = flag(options.version);
        } else if (option == "--quiet") {
            error = flag(options.quiet);
        } else if (option == "--sync") {
            error = flag(options.sync);
        } else if (option == "--reveal") {
            error = flag(options.reveal);
        } else if (option == "--direct") {
            error = flag(options.direct);
        } else if (option == "--fill") {
            error = flag(options.fill);
        } else if (option == "--jobs" || option == "--files") {
            const std::optional<std::u16string> text = value();
            if (!text)
                return CliError{option + " needs a value"};
            if (option == "--files") {
                error = parse_file_range(*text, options);
            } else {
                const std::optional<int64_t> number = whole_number(*text);
                if (!number || *number < 1 || *number > 64)
                    return range_error(option, *text, "from 1 to 64");
                options.jobs = static_cast<int32_t>(*number);
            }
        } else if (option == "--yes" || option == "--no-clobber") {
            bool set = false;
            error = flag(set);
            const Overwrite chosen = option == "--yes" ? Overwrite::yes : Overwrite::no;
            if (!error && options.overwrite != Overwrite::ask && options.overwrite != chosen)
                error = CliError{"--yes and --no-clobber exclude each other"};
            options.overwrite = chosen;
        } else if (option == "--folder" || option == "--count" || option == "--size" || option == "--type" ||
                   option == "--seed" || option == "--lang") {
            const std::optional<std::u16string> text = value();
            if (!text)
                return CliError{option + " needs a value"};
            const std::optional<int64_t> number = whole_number(*text);
            if (option == "--folder") {
                if (text->empty())
                    return CliError{"--folder needs a folder name, not an empty text"};
                options.folder = *text;
            } else if (option == "--count") {
                if (!number || *number < 1 || *number > 65536)
                    return range_error(option, *text, "from 1 to 65536");
                options.count = static_cast<int32_t>(*number);
                count_given = true;
            } else if (option == "--size") {
                const SizeText size = parse_size_text(*text, std::numeric_limits<int32_t>::max());
                switch (size.status) {
                case SizeText::Status::ok:
                    options.size_kb = static_cast<int32_t>(size.kilobytes);
                    break;
                case SizeText::Status::negative:
                    return CliError{"--size must not be negative (\"" + to_utf8(*text) + "\")"};
                case SizeText::Status::not_whole:
                    return CliError{"--size takes whole kilobytes, not \"" + to_utf8(*text) + "\""};
                case SizeText::Status::too_large:
                    return CliError{"--size takes at most 2147483647 KB (2 TiB less 1 KiB), not \"" +
                                    to_utf8(*text) + "\""};
                case SizeText::Status::invalid:
                    return CliError{"--size takes kilobytes, or a number with K, M, G or T (K = 1024 "
                                    "bytes), not \"" +
                                    to_utf8(*text) + "\""};
                }
            } else if (option == "--type") {
                if (*text == u"0" || *text == u"noncompressible")
                    options.type = 0;
                else if (*text == u"1" || *text == u"compressible")
                    options.type = 1;
                else if (*text == u"2" || *text == u"random")
                    options.type = 2;
                else
                    return CliError{
                        "--type takes 0 or noncompressible, 1 or compressible, 2 or random, not \"" +
                        to_utf8(*text) + "\""};
            } else if (option == "--seed") {
                if (!number || *number < 0 || static_cast<uint64_t>(*number) >= kRandomSeedLimit)
                    return range_error(option, *text, "from 0 to 1125899906842623");
                options.seed = static_cast<uint64_t>(*number);
            } else {
                if (!number || *number < 0 || *number > 11)
                    return range_error(option, *text, "from 0 to 11");
                options.language = static_cast<int32_t>(*number);
            }
        } else {
            error = CliError{"unknown option \"" + option + "\" (see --help)"};
        }
        if (error)
            return *error;
    }
    // Filling a disk: as many files as fit, up to the most a run has.
    if (options.fill && !count_given)
        options.count = 65536;
    if (options.last > options.count)
        return CliError{"--files " + std::to_string(options.first) + "-" + std::to_string(options.last) +
                        " reaches past the run's " + std::to_string(options.count) + " files (see --count)"};
    return options;
}
