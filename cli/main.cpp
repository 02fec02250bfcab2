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

// A cancel ends with cancel_exit_code(): 130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP.
enum ExitCode { kDone = 0, kError = 1, kBadArguments = 2, kDeclined = 3 };

// verify [DIR]: the report, and 0 when every run found is intact.
int verify(const CliOptions& options) {
    const std::unique_ptr<FileReader> reader = make_file_reader();
    const FolderCheck check = verify_folder(options.folder, *reader, options.threads);
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
    // Refused as a bad argument before anything is made.
    if (const std::u16string problem = settings_problem(settings, *fs); !problem.empty()) {
        write_err(u"pelmora-cli: " + replace_all(problem, u"\r\n", u"\n") + u"\n");
        return kBadArguments;
    }

    install_interrupt_handler();
    run_cancel = false;
    run_busy = true;
    std::optional<RunSeeds> seeds;
    if (options.seed)
        seeds = run_seeds(*options.seed, options.type);
    const int32_t result = generation_thread(settings, *fs, seeds);
    const bool cancelled = run_cancel;
    view.finish(cancelled && result == 1);

    if (result != 1)
        return view.interrupted()                  ? cancel_exit_code()
               : view.declined() && !view.failed() ? kDeclined
                                                   : kError;
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
