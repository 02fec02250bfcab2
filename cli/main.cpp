// pelmora-cli: the generation run from the command line, on Linux and in the Windows console.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "catalogue.h"
#include "options.h"
#include "run.h"
#include "run_view.h"
#include "terminal.h"
#include "text.h"
#include "verify.h"

namespace {

enum ExitCode { kDone = 0, kError = 1, kBadArguments = 2, kDeclined = 3, kCancelled = 130 };

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

// Message-box texts use CR LF; a terminal wants LF alone.
std::u16string console_text(const std::u16string& text) { return replace_all(text, u"\r\n", u"\n"); }

// One line from standard input, without its line end (LF or CR LF); none at the end of the input.
std::optional<std::string> read_input_line() {
    std::string line;
    for (int c = std::getchar(); c != '\n'; c = std::getchar()) {
        if (c == EOF)
            return line.empty() ? std::nullopt : std::optional<std::string>(line);
        if (c != '\r')
            line += static_cast<char>(c);
    }
    return line;
}

class TerminalView final : public RunView {
public:
    TerminalView(const CliOptions& options, bool terminal) : options_(options), terminal_(terminal) {}

    bool ask_overwrite(const std::u16string& caption, const std::u16string& text) override {
        if (options_.overwrite == Overwrite::yes)
            return true;
        if (options_.overwrite == Overwrite::ask && stdin_is_terminal()) {
            end_status_area();
            write_out(caption + u": " + console_text(text) + u" [y/N] ");
            const std::optional<std::string> answer = read_input_line();
            if (answer && (*answer == "y" || *answer == "Y" || *answer == "yes"))
                return true;
        } else if (options_.overwrite == Overwrite::ask) {
            write_err(console_text(text) +
                      u"\nNo terminal to ask: use --yes to overwrite or --no-clobber to stop.\n");
        }
        declined_ = true;
        return false;
    }

    bool ask_cancel(const std::u16string&) override { return true; }

    void show_error(const std::u16string& caption, const std::u16string& text) override {
        end_status_area();
        write_err(caption + u": " + console_text(text) + u"\n");
        failed_ = true;
    }

    void set_bar(int position) override { bar_ = position; }
    void set_upper_line(const std::u16string& text) override { upper_ = text; }
    void set_lower_line(const std::u16string& text) override { lower_ = text; }

    bool shows_running_reports() const override { return terminal_ && !options_.quiet; }

    void report_shown(bool finished) override {
        if (finished)
            summary_ = upper_;
        if (terminal_ && !options_.quiet)
            draw();
    }

    void set_controls_enabled(bool, const std::u16string&) override {}

    void reveal(const std::u16string& path) override {
        if (options_.reveal)
            reveal_in_file_manager(path);
    }

    // After the run: the status area gives way to the summary (and "Canceled"), the same lines
    // that are printed when the output is no terminal.
    void finish(bool cancelled) {
        if (options_.quiet)
            return;
        if (drawn_)
            write_out(u"\x1b[1A\r\x1b[J");
        drawn_ = false;
        if (!summary_.empty())
            write_out(summary_ + u"\n");
        if (cancelled)
            write_out(upper_ + u"\n");
    }

    bool declined() const { return declined_; }
    bool failed() const { return failed_; }

private:
    // Two lines redrawn in place: the upper status line, then a bar and the lower line.
    void draw() {
        constexpr int kWidth = 30;
        std::u16string bar = u"[";
        for (int i = 0; i < kWidth; ++i)
            bar += i < bar_ * kWidth / 100 ? u'#' : u'.';
        bar += u"] ";
        std::u16string out;
        if (drawn_)
            out += u"\x1b[1A\r\x1b[K";
        out += upper_;
        out += u"\n\r\x1b[K";
        out += bar;
        out += lower_;
        write_out(out);
        drawn_ = true;
    }

    void end_status_area() {
        if (drawn_)
            write_out(u"\n");
        drawn_ = false;
    }

    const CliOptions& options_;
    const bool terminal_;
    int bar_ = 0;
    std::u16string upper_, lower_, summary_;
    bool drawn_ = false;
    bool declined_ = false;
    bool failed_ = false;
};

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
        write_out(text_of(get_common_text(19)) + u"\n");
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
    const int32_t result = generation_thread(settings, *fs, seeds);
    const bool cancelled = run_cancel;
    view.finish(cancelled && result == 1);

    if (result != 1)
        return view.declined() && !view.failed() ? kDeclined : kError;
    return cancelled ? kCancelled : kDone;
}
