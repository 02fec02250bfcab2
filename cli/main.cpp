// pelmora-cli: the generation run from the command line, on Linux and in the Windows console.
#include <algorithm>
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
#include "core/run/code_paths.h"
#include "core/run/file_reader.h"
#include "core/run/file_system.h"
#include "core/run/run.h"
#include "core/run/run_thread.h"
#include "core/run/verify.h"
#include "generated/version.h"

namespace {

// A cancel ends with cancel_exit_code(): 130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP.
enum ExitCode { kDone = 0, kError = 1, kBadArguments = 2, kDeclined = 3 };

// verify [DIR]: the report (or its JSON), and 0 when every run found is intact.
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
    const ProgressStyle style = progress_style(options, stderr_is_terminal());
    if (style == ProgressStyle::redraw)
        enable_terminal_sequences();
    std::optional<VerifyProgressView> view;
    view.emplace(progress, style);
    const FolderCheck check = verify_folder(options.folder, *reader, check_options);
    view.reset();

    if (options.json)
        write_out(from_utf8(verify_json(options, check)) + u"\n");
    if (!check.error.empty()) {
        write_err(u"pelmora-cli: cannot read the folder \"" + options.folder + u"\": " +
                  from_utf8(check.error) + u"\n");
        return kBadArguments;
    }
    if (!options.json)
        for (const std::u16string& line : verify_report(check))
            write_out(line + u"\n");
    return intact(check) ? kDone : kError;
}

// The name and version, then the code path the generators take on this processor.
void print_version() {
    write_out(u"pelmora-cli (Pelmora) " + widen(PELMORA_VERSION_SHORT) + u"\n" + u"code path: " +
              (cpu_has_avx2() ? u"AVX2" : u"baseline") + u"\n");
}

std::u16string number_text(uint64_t n) { return from_utf8(std::to_string(n)); }

// What the summary line does not say: how much a filled disk took, and a direct run that went
// through the cache after all.
void print_outcome(const CliOptions& options, const RunOutcome& outcome) {
    if (options.quiet || options.json)
        return;
    if (outcome.disk_full)
        write_out(u"The disk is full: " + number_text(static_cast<uint64_t>(outcome.files_written)) +
                  (outcome.files_written == 1 ? u" file" : u" files") + u" of " +
                  number_text(static_cast<uint64_t>(options.size_kb)) + u" KB fit, " +
                  number_text(outcome.bytes_written) + u" bytes (the last one is number " +
                  number_text(static_cast<uint64_t>(outcome.last)) + u").\n");
    if (outcome.direct_refused)
        write_out(u"Note: the file system refused direct I/O; the files were written through the cache.\n");
}

int run_program(int argc, char** argv) {
    // A name that would reach the system changed is refused rather than taken for another folder.
    if (const std::optional<std::string> argument = undecodable_argument(argc, argv)) {
        write_err(u"pelmora-cli: the argument \"" + from_utf8(*argument) +
                  u"\" is not UTF-8 text; names are passed on as UTF-8\n");
        return kBadArguments;
    }
    const auto parsed = parse_cli_options(command_arguments(argc, argv));
    if (const CliError* error = std::get_if<CliError>(&parsed)) {
        write_err(widen("pelmora-cli: ") + from_utf8(error->message) + u"\n");
        return kBadArguments;
    }
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
    if (!unpack_catalogue()) {
        write_err(u"pelmora-cli: the built-in texts could not be unpacked\n");
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
    // Refused as a bad argument before anything is made.
    if (const std::u16string problem = settings_problem(settings, *fs); !problem.empty()) {
        write_err(u"pelmora-cli: " + replace_all(problem, u"\r\n", u"\n") + u"\n");
        return kBadArguments;
    }

    install_interrupt_handler();
    run_cancel = false;
    run_busy = true;
    // A run without --seed draws its number here, so that --json can tell it: the number makes the
    // same files again.
    const uint64_t seed = options.seed.value_or(draw_seed_number());
    RunOptions run_options;
    run_options.direct = options.direct;
    run_options.fill = options.fill;
    run_options.jobs = options.jobs;
    run_options.first = options.first;
    run_options.last = options.last;
    RunOutcome outcome;
    const Ended result = run_as_worker(settings, *fs, run_seeds(seed, options.type), run_options, &outcome);
    const bool cancelled = run_cancel;
    view.finish(cancelled && result == Ended::done);
    if (result == Ended::done)
        print_outcome(options, outcome);

    const RunStatus status = result != Ended::done ? RunStatus::error
                             : cancelled           ? RunStatus::cancelled
                                                   : RunStatus::done;
    if (options.json)
        write_out(from_utf8(run_json(options, seed, outcome, status, view.error())) + u"\n");
    if (result != Ended::done)
        return view.interrupted() ? cancel_exit_code() : result == Ended::declined ? kDeclined : kError;
    return cancelled ? cancel_exit_code() : kDone;
}

} // namespace

int main(int argc, char** argv) {
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
