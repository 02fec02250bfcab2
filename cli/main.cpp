// pelmora-cli: the generation run from the command line, on Linux and in the Windows console.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/options.h"
#include "cli/terminal.h"
#include "cli/terminal_view.h"
#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/file_reader.h"
#include "core/run/file_system.h"
#include "core/run/run.h"
#include "core/run/verify.h"

namespace {

enum ExitCode { kDone = 0, kError = 1, kBadArguments = 2, kDeclined = 3, kCancelled = 130 };

// verify [DIR]: the report, and 0 when every run found is intact.
int verify(const CliOptions& options) {
    const std::unique_ptr<FileReader> reader = make_file_reader();
    CheckScope scope;
    scope.first = options.first;
    scope.last = options.last;
    scope.direct = options.direct;
    scope.drop_cache = options.drop_cache;
    const FolderCheck check = verify_folder(options.folder, *reader, options.threads, scope);
    if (!check.error.empty()) {
        write_err(u"pelmora-cli: cannot read the folder \"" + options.folder + u"\": " +
                  from_utf8(check.error) + u"\n");
        return kBadArguments;
    }
    for (const std::u16string& line : verify_report(check))
        write_out(line + u"\n");
    const bool intact = !check.runs.empty() && std::all_of(check.runs.begin(), check.runs.end(),
                                                           [](const RunCheck& run) { return run.intact(); });
    return intact ? kDone : kError;
}

std::u16string number_text(uint64_t n) { return from_utf8(std::to_string(n)); }

// What the summary line does not say: how much a filled disk took, and a direct run that went
// through the cache after all.
void print_outcome(const CliOptions& options, const RunOutcome& outcome) {
    if (options.quiet)
        return;
    if (outcome.disk_full)
        write_out(u"The disk is full: " + number_text(static_cast<uint64_t>(outcome.files)) +
                  (outcome.files == 1 ? u" file" : u" files") + u" of " +
                  number_text(static_cast<uint64_t>(options.size_kb)) + u" KB fit, " +
                  number_text(outcome.bytes) + u" bytes (the last one is number " +
                  number_text(static_cast<uint64_t>(outcome.last)) + u").\n");
    if (outcome.direct_refused)
        write_out(u"Note: the file system refused direct I/O; the files were written through the cache.\n");
}

} // namespace

int main(int argc, char** argv) {
    const auto parsed = parse_cli_options(command_arguments(argc, argv));
    if (const CliError* error = std::get_if<CliError>(&parsed)) {
        write_err(widen("pelmora-cli: ") + from_utf8(error->message) + u"\n");
        return kBadArguments;
    }
    const CliOptions& options = std::get<CliOptions>(parsed);
    if (options.help) {
        write_out(from_utf8(kCliUsage));
        return kDone;
    }
    if (options.verify)
        return verify(options);
    if (!unpack_catalogue()) {
        write_err(u"pelmora-cli: the built-in texts could not be unpacked\n");
        return kError;
    }
    language_index = options.language.value_or(default_language());
    if (options.version) {
        write_out(common_text(kCommonNameAndVersion) + u"\n");
        return kDone;
    }

    const bool terminal = stdout_is_terminal();
    if (terminal)
        enable_terminal_sequences();
    TerminalView view(options, terminal);
    const std::unique_ptr<FileSystem> fs = make_file_system(options.sync);

    GenerationSettings settings;
    settings.files_c = options.count;
    settings.files_size = options.size_kb;
    settings.files_type = options.type;
    settings.Folder = options.folder;
    settings.owner = &view;

    install_interrupt_handler();
    run_cancel = false;
    run_busy = true;
    std::optional<RunSeeds> seeds;
    if (options.seed)
        seeds = run_seeds(*options.seed, options.type);
    RunOptions run_options;
    run_options.direct = options.direct;
    run_options.fill = options.fill;
    run_options.jobs = options.jobs;
    run_options.first = options.first;
    run_options.last = options.last;
    RunOutcome outcome;
    const int32_t result = generation_thread(settings, *fs, seeds, run_options, &outcome);
    const bool cancelled = run_cancel;
    view.finish(cancelled && result == 1);
    if (result == 1)
        print_outcome(options, outcome);

    if (result != 1)
        return view.declined() && !view.failed() ? kDeclined : kError;
    return cancelled ? kCancelled : kDone;
}
