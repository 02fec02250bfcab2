// The terminal's view of a run.
#include "cli/terminal_view.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "cli/terminal.h"
#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/progress.h"
#include "core/run/reveal.h"
#include "core/run/run_flags.h"

namespace {

// Message-box texts use CR LF; a terminal wants LF alone.
std::u16string console_text(const std::u16string& text) { return replace_all(text, u"\r\n", u"\n"); }

} // namespace

ProgressStyle progress_style(const CliOptions& options, bool stderr_terminal) {
    if (stderr_terminal && (options.progress || !options.quiet))
        return ProgressStyle::redraw;
    return options.progress ? ProgressStyle::lines : ProgressStyle::none;
}

bool TerminalView::ask_overwrite(const std::u16string& caption, const std::u16string& text) {
    if (options_.overwrite == Overwrite::yes)
        return true;
    // The question ends in the file's name, on a line of its own; the error says what happened
    // to it, not what was asked.
    const size_t line = text.rfind(u"\r\n");
    const std::u16string name = line == std::u16string::npos ? text : text.substr(line + 2);
    if (options_.overwrite == Overwrite::ask && stdin_is_terminal()) {
        // The question goes where the progress goes, so that standard output keeps the result.
        end_status_area();
        write_err(caption + u": " + console_text(text) + u" [y/N] ");
        const std::optional<std::string> answer = read_input_line();
        // Ctrl-C at the question breaks off the read: that is a cancel, not a No.
        if (run_cancel) {
            write_err(u"\n");
            interrupted_ = true;
            return false;
        }
        if (answer && (*answer == "y" || *answer == "Y" || *answer == "yes"))
            return true;
        error_ = u"the file exists and the answer was no, so it was not overwritten: " + name;
    } else if (options_.overwrite == Overwrite::ask) {
        write_err(console_text(text) +
                  u"\nNo terminal to ask: use --yes to overwrite or --no-clobber to stop.\n");
        error_ = u"the file exists and there was no terminal to ask (--yes overwrites), so it was not "
                 u"overwritten: " +
                 name;
    } else {
        write_err(console_text(text) + u"\n--no-clobber: nothing is overwritten, the run stops here.\n");
        error_ = u"the file exists and --no-clobber keeps it: " + name;
    }
    return false;
}

void TerminalView::show_error(const std::u16string& caption, const std::u16string& text) {
    end_status_area();
    write_err(caption + u": " + console_text(text) + u"\n");
    error_ = replace_all(text, u"\r\n", u": ");
}

void TerminalView::report_shown(bool finished) {
    if (finished) {
        summary_ = upper_;
        if (style_ == ProgressStyle::redraw)
            draw();
        return;
    }
    if (style_ == ProgressStyle::redraw)
        draw();
    else if (style_ == ProgressStyle::lines)
        print_line();
}

void TerminalView::reveal(const std::u16string& path) {
    if (options_.reveal)
        reveal_in_file_manager(path);
}

void TerminalView::finish(bool cancelled) {
    if (drawn_)
        write_err(u"\x1b[1A\r\x1b[J");
    drawn_ = false;
    if (options_.quiet || options_.json)
        return;
    if (!summary_.empty())
        write_out(summary_ + u"\n");
    if (cancelled)
        write_out(text(kTextCancelled) + u"\n");
}

void TerminalView::draw() {
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
    if (!file_rate_.empty())
        out += u"  ||  " + file_rate_;
    write_err(out);
    drawn_ = true;
}

void TerminalView::print_line() {
    // The first report prints at once, the others at most once a second; a report before the run
    // has a measurable share leaves its lines empty.
    const auto now = std::chrono::steady_clock::now();
    if (upper_.empty() || (line_printed_ && now - last_line_ < std::chrono::seconds(1)))
        return;
    write_err(upper_ + u"  ||  " + lower_ + (file_rate_.empty() ? u"" : u"  ||  " + file_rate_) + u"\n");
    last_line_ = now;
    line_printed_ = true;
}

void TerminalView::end_status_area() {
    if (drawn_)
        write_err(u"\n");
    drawn_ = false;
}

VerifyProgressView::VerifyProgressView(const VerifyProgress& progress, ProgressStyle style)
    : progress_(progress), style_(style), start_(std::chrono::steady_clock::now()) {
    if (style_ != ProgressStyle::none)
        thread_ = std::thread([this] { show(); });
}

VerifyProgressView::~VerifyProgressView() {
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
    if (style_ == ProgressStyle::redraw && drawn_)
        write_err(u"\r\x1b[K");
    else if (style_ == ProgressStyle::lines)
        write_err(line() + u"\n"); // a log ends with the whole count and the rate
}

std::u16string VerifyProgressView::line() const {
    const uint64_t files = progress_.files_checked.load(std::memory_order_relaxed);
    const uint64_t bytes = progress_.bytes_checked.load(std::memory_order_relaxed);
    const uint64_t files_total = progress_.files_total.load(std::memory_order_relaxed);
    const uint64_t bytes_total = progress_.bytes_total.load(std::memory_order_relaxed);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const auto count = [](uint64_t n) { return format_ascii("%llu", static_cast<unsigned long long>(n)); };
    const double per_second = 1 / std::max(seconds, 0.001);
    return u"checked " + count(files) + u" of " + count(files_total) + u" files, " +
           format_size(static_cast<double>(bytes)) + u" of " + format_size(static_cast<double>(bytes_total)) +
           u", " + format_size(static_cast<double>(bytes) * per_second) + u"/s, " +
           count(static_cast<uint64_t>(static_cast<double>(files) * per_second)) + u" files/s";
}

void VerifyProgressView::show() {
    const auto interval =
        style_ == ProgressStyle::redraw ? std::chrono::milliseconds(250) : std::chrono::milliseconds(1000);
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, interval, [this] { return stop_; })) {
        if (style_ == ProgressStyle::redraw) {
            write_err(u"\r\x1b[K" + line());
            drawn_ = true;
        } else {
            write_err(line() + u"\n");
        }
    }
}
