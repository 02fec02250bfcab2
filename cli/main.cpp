// pelmora-cli: the generation run from the command line, on Linux and in the Windows console.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/json_results.h"
#include "cli/options.h"
#include "cli/terminal.h"
#include "cli/terminal_view.h"
#include "cli/verify_report.h"
#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/run/clean.h"
#include "core/run/code_paths.h"
#include "core/run/file_reader.h"
#include "core/run/file_system.h"
#include "core/run/names.h"
#include "core/run/run.h"
#include "core/run/run_thread.h"
#include "core/run/verify.h"
#include "generated/version.h"

namespace {

// A cancel ends with cancel_exit_code(): 130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP.
enum ExitCode { kDone = 0, kError = 1, kBadArguments = 2, kDeclined = 3 };

// verify [DIR]: the report (or its JSON), written as the check goes, and 0 when every run found
// is intact.
int verify(const CliOptions& options) {
    const std::unique_ptr<FileReader> reader = make_file_reader();
    VerifyProgress progress;
    VerifyOptions check_options;
    check_options.threads = options.threads;
    check_options.progress = &progress;
    check_options.intent.count = options.expected_count;
    check_options.scope.first = options.first;
    check_options.scope.last = options.last;
    check_options.scope.direct = options.direct;
    check_options.scope.drop_cache = options.drop_cache;
    if (options.expected_size_kb)
        check_options.intent.file_bytes = static_cast<uint64_t>(*options.expected_size_kb) * 1024;
    check_options.cancel = &run_cancel;
    const ProgressStyle style = progress_style(options, stderr_is_terminal());
    if (style == ProgressStyle::redraw)
        enable_terminal_sequences();
    std::optional<VerifyProgressView> view;
    view.emplace(progress, style);

    // The report or the JSON, a run at a time; the progress line goes before the first of it.
    class Report final : public VerifySink {
    public:
        Report(const CliOptions& options, std::optional<VerifyProgressView>& view)
            : json_(options, [](const std::string& part) { write_out(from_utf8(part)); }),
              as_json_(options.json), view_(view) {}
        void folder(const FolderFacts& facts) override {
            view_.reset();
            if (as_json_)
                json_.folder(facts);
        }
        void run(const RunCheck& run) override {
            if (as_json_) {
                json_.run(run);
                return;
            }
            std::u16string text;
            for (const std::u16string& line : run_report(run))
                text += line + u"\n";
            write_out(text);
        }
        VerifyJson json_;

    private:
        const bool as_json_;
        std::optional<VerifyProgressView>& view_;
    } report(options, view);
    const auto start = std::chrono::steady_clock::now();
    const FolderFacts facts = verify_folder(options.folder, *reader, check_options, report);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    view.reset();

    const std::string signal = facts.cancelled ? cancel_signal_name() : std::string();
    if (options.json)
        report.json_.finish(facts, signal, progress.files_checked.load(), seconds);
    if (facts.cancelled) {
        write_err(u"pelmora-cli: the check was cancelled\n");
        return cancel_exit_code();
    }
    if (!facts.error.empty()) {
        write_err(u"pelmora-cli: cannot read the folder \"" + options.folder + u"\": " +
                  from_utf8(facts.error) + u"\n");
        return kBadArguments;
    }
    if (!options.json)
        for (const std::u16string& line : report_end(facts))
            write_out(line + u"\n");
    return facts.intact() ? kDone : kError;
}

std::u16string number_text(uint64_t n) { return from_utf8(std::to_string(n)); }

// "3 files", "1 file".
std::u16string count_text(uint64_t n, const char16_t* one, const char16_t* more) {
    return number_text(n) + u" " + (n == 1 ? one : more);
}

// What clean left alone, after its total: " (2 files, 1 link)".
std::u16string left_alone_text(const LeftAlone& left) {
    std::u16string parts;
    const auto add = [&](uint64_t n, const char16_t* one, const char16_t* more) {
        if (n != 0)
            parts += (parts.empty() ? u"" : u", ") + count_text(n, one, more);
    };
    add(left.files, u"file", u"files");
    add(left.links, u"link", u"links");
    add(left.folders, u"folder", u"folders");
    add(left.other, u"other entry", u"other entries");
    return parts.empty() ? parts : u" (" + parts + u")";
}

// clean DIR: the runs' files go; a line for each run and a summary, or the JSON. With --dry-run
// every file that would go is named, and nothing goes.
int clean(const CliOptions& options) {
    install_interrupt_handler();
    run_cancel = false;
    const std::unique_ptr<FileSystem> fs = make_file_system();
    CleanOptions clean_options;
    clean_options.dry_run = options.dry_run;
    clean_options.cancel = &run_cancel;
    // A dry run's names go out some 64 KB at a time: a folder may hold millions.
    std::u16string names;
    if (options.dry_run && !options.json)
        clean_options.each_file = [&names](const std::u16string& path, uint64_t) {
            names.append(path).push_back(u'\n');
            if (names.size() >= 32768) {
                write_out(names);
                names.clear();
            }
        };
    const auto start = std::chrono::steady_clock::now();
    clean_options.run_folder = tree_folder_name;
    const CleanFacts facts = clean_folder(*fs, options.folder, clean_options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!names.empty())
        write_out(names);

    if (options.json)
        write_out(
            from_utf8(clean_json(options, facts, seconds, facts.cancelled ? cancel_signal_name() : "")) +
            u"\n");
    if (facts.cancelled) {
        write_err(u"pelmora-cli: the clean was cancelled\n");
        return cancel_exit_code();
    }
    if (facts.unreadable()) {
        write_err(u"pelmora-cli: cannot read the folder \"" + options.folder + u"\": " +
                  from_utf8(facts.error) + u"\n");
        return kBadArguments;
    }
    if (!options.json) {
        std::u16string text;
        for (const CleanedRun& run : facts.runs) {
            std::u16string line = (options.dry_run ? u"would go " : u"removed  ") +
                                  file_name_head(run.files_type, run.marks) +
                                  std::u16string(run.width, u'#') + file_name_tail(run.tag) + u": " +
                                  count_text(run.files, u"file", u"files");
            if (run.partial != 0)
                line += u" (" + number_text(run.partial) + u" .partial)";
            line += u", " + number_text(run.bytes) + u" bytes";
            if (run.failed != 0)
                line += u"; " + number_text(run.failed) + u" could not be removed";
            text += line + u"\n";
        }
        std::u16string summary = facts.runs.empty()
                                     ? u"No runs found: no file here has a name that a run gives its files"
                                     : (options.dry_run ? u"Would remove " : u"Removed ") +
                                           count_text(facts.files, u"file", u"files") + u" of " +
                                           count_text(facts.runs.size(), u"run", u"runs") + u", " +
                                           number_text(facts.bytes) + u" bytes";
        if (facts.folders != 0)
            summary += u", and " + count_text(facts.folders, u"folder", u"folders");
        if (!options.dry_run && facts.files != 0 && seconds > 0)
            summary += u", " +
                       number_text(static_cast<uint64_t>(static_cast<double>(facts.files) / seconds)) +
                       u" files/s";
        summary += u"; left alone: " + count_text(facts.left.total(), u"entry", u"entries") +
                   left_alone_text(facts.left) + u".\n";
        write_out(text + summary);
    }
    if (!facts.error.empty())
        write_err(u"pelmora-cli: the folder \"" + options.folder + u"\" could not be listed to its end: " +
                  from_utf8(facts.error) + u"\n");
    if (facts.failed != 0)
        write_err(u"pelmora-cli: " + count_text(facts.failed, u"run file", u"run files") +
                  u" could not be removed\n");
    return facts.complete() ? kDone : kError;
}

// With --json among the arguments (before a "--"), every way out prints an object.
bool asks_for_json(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--")
            return false;
        if (argument == "--json")
            return true;
    }
    return false;
}

// Refused arguments: the message on standard error, and with --json its object.
int bad_arguments(bool json, const std::u16string& message) {
    write_err(u"pelmora-cli: " + message + u"\n");
    if (json)
        write_out(from_utf8(bad_arguments_json(message)) + u"\n");
    return kBadArguments;
}

// The name and version, then the code path the generators take on this processor.
void print_version() {
    write_out(u"pelmora-cli (Pelmora) " + widen(PELMORA_VERSION_SHORT) + u"\n" + u"code path: " +
              (cpu_has_avx2() ? u"AVX2" : u"baseline") + u"\n");
}

// What the summary line does not say: how much a filled disk took, and a direct run that went
// through the cache after all.
void print_outcome(const CliOptions& options, const RunOutcome& outcome) {
    if (options.quiet || options.json)
        return;
    if (outcome.disk_full && outcome.files_written == 0)
        write_out(u"The disk is full: not one file of " +
                  number_text(static_cast<uint64_t>(options.size_kb)) + u" KB fits.\n");
    else if (outcome.disk_full)
        write_out(u"The disk is full: " + number_text(static_cast<uint64_t>(outcome.files_written)) +
                  (outcome.files_written == 1 ? u" file" : u" files") + u" of " +
                  number_text(static_cast<uint64_t>(options.size_kb)) + u" KB fit, " +
                  number_text(outcome.bytes_written) + u" bytes (the last one is number " +
                  number_text(static_cast<uint64_t>(outcome.last)) +
                  (outcome.last_bytes != 0
                       ? u", cut to the " + number_text(outcome.last_bytes / 1024) + u" KB that were left"
                       : u"") +
                  u").\n");
    if (outcome.direct_refused)
        write_out(u"Note: the file system refused direct I/O; the files were written through the cache.\n");
}

int run_program(int argc, char** argv) {
    const bool json = asks_for_json(argc, argv);
    // A name that would reach the system changed is refused rather than taken for another folder.
    if (const std::optional<std::string> argument = undecodable_argument(argc, argv))
        return bad_arguments(json, u"the argument \"" + from_utf8(*argument) +
                                       u"\" is not UTF-8 text; names are passed on as UTF-8");
    const auto parsed = parse_cli_options(command_arguments(argc, argv));
    if (const CliError* error = std::get_if<CliError>(&parsed))
        return bad_arguments(json, from_utf8(error->message));
    const CliOptions& options = std::get<CliOptions>(parsed);
    if (options.help) {
        write_out(from_utf8(cli_usage()));
        return kDone;
    }
    if (options.version) {
        print_version();
        return kDone;
    }
    if (options.verify)
        return verify(options);
    if (options.clean)
        return clean(options);
    if (!unpack_catalogue()) {
        const std::u16string message = u"the built-in texts could not be unpacked";
        write_err(u"pelmora-cli: " + message + u"\n");
        if (options.json)
            write_out(from_utf8(run_json(options, options.seed.value_or(0), {}, RunStatus::error, message)) +
                      u"\n");
        return kError;
    }
    language_index = options.language.value_or(default_language());

    const ProgressStyle style = progress_style(options, stderr_is_terminal());
    if (style == ProgressStyle::redraw)
        enable_terminal_sequences();
    TerminalView view(options, style);
    const std::unique_ptr<FileSystem> fs = make_file_system(options.sync);

    GenerationSettings settings;
    settings.files_c = options.count;
    settings.files_size = options.size_kb;
    settings.files_type = options.type;
    settings.shape = options.shape;
    settings.Folder = options.folder;
    settings.owner = &view;
    RunOptions run_options;
    run_options.direct = options.direct;
    run_options.fill = options.fill;
    run_options.jobs = options.jobs;
    run_options.first = options.first;
    run_options.last = options.last;
    run_options.per_folder = options.per_folder;
    // Refused as a bad argument before anything is made.
    if (const std::u16string problem = settings_problem(settings, *fs, run_options); !problem.empty()) {
        write_err(u"pelmora-cli: " + replace_all(problem, u"\r\n", u"\n") + u"\n");
        if (options.json)
            write_out(from_utf8(bad_arguments_json(replace_all(problem, u"\r\n", u": "))) + u"\n");
        return kBadArguments;
    }

    // A run without --seed draws its number here, so that --json can tell it: the number makes the
    // same files again.
    const uint64_t seed = options.seed.value_or(draw_seed_number());
    RunOutcome outcome;
    // A signal that came before the run began (while the arguments were read, say) cancels it
    // with nothing made.
    std::optional<Ended> result;
    if (!run_cancel) {
        run_busy = true;
        result = run_as_worker(settings, *fs, run_seeds(seed, options.type), run_options, &outcome);
    }
    // One status for each exit code: a cancel before the run or at the question is a cancel, a
    // declined overwrite is no error.
    const bool cancelled = result == Ended::done ? run_cancel.load() : !result || view.interrupted();
    const RunStatus status = cancelled                   ? RunStatus::cancelled
                             : result == Ended::done     ? RunStatus::done
                             : result == Ended::declined ? RunStatus::declined
                                                         : RunStatus::error;
    view.finish(cancelled);
    if (result == Ended::done)
        print_outcome(options, outcome);
    const int code = status == RunStatus::cancelled  ? cancel_exit_code()
                     : status == RunStatus::declined ? kDeclined
                     : status == RunStatus::error    ? kError
                                                     : kDone;
    if (options.json)
        write_out(from_utf8(run_json(options, seed, outcome, status,
                                     status == RunStatus::cancelled ? std::u16string() : view.error(),
                                     status == RunStatus::cancelled ? cancel_signal_name() : std::string())) +
                  u"\n");
    return code;
}

} // namespace

int main(int argc, char** argv) {
    // First of all: a Ctrl-C from here on is a cancel the program answers, with its exit code and
    // "Canceled", however early it comes; before, the system ends the program.
    install_interrupt_handler();
    ignore_closed_pipes();
    int code = run_program(argc, argv);
    // The result that could not be written is no result: said once, on standard error.
    if (const std::optional<std::string> error = output_error()) {
        write_err(u"pelmora-cli: could not write the output: " + from_utf8(*error) + u"\n");
        if (code == kDone)
            code = kError;
    }
    return code;
}
