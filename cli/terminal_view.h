// What a run shows on a terminal: progress on standard error (two status lines redrawn in place
// with a bar, or one plain line a second where standard error is no terminal), the questions at the
// prompt, errors on standard error, and the summary on standard output at the end.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "cli/options.h"
#include "core/run/run_view.h"
#include "core/run/verify.h"

// How progress is shown.
enum class ProgressStyle {
    none,
    redraw, // standard error is a terminal: the status area is drawn over in place
    lines,  // --progress without a terminal: one line a second, for logs
};

// The style for these options, where standard error is a terminal or not: a terminal shows
// progress unless --quiet; --progress shows it always.
ProgressStyle progress_style(const CliOptions& options, bool stderr_terminal);

class TerminalView final : public RunView {
public:
    TerminalView(const CliOptions& options, ProgressStyle style) : options_(options), style_(style) {}

    bool ask_overwrite(const std::u16string& caption, const std::u16string& text) override;

    bool ask_cancel(const std::u16string&) override { return true; }

    void show_error(const std::u16string& caption, const std::u16string& text) override;

    void set_bar(int position) override { bar_ = position; }
    void set_upper_line(const std::u16string& text) override { upper_ = text; }
    void set_lower_line(const std::u16string& text) override { lower_ = text; }
    void set_file_rate(const std::u16string& text) override { file_rate_ = text; }

    bool shows_running_reports() const override { return style_ != ProgressStyle::none; }

    void report_shown(bool finished) override;

    void set_controls_enabled(bool, const std::u16string&) override {}

    void reveal(const std::u16string& path) override;

    // After the run: the status area goes, and the summary (and "Canceled") follow on standard
    // output, unless --quiet or --json keep it for themselves.
    void finish(bool cancelled);

    // A cancel came while a question waited for its answer.
    bool interrupted() const { return interrupted_; }
    // What went wrong, in one line of the active language; empty when nothing did.
    const std::u16string& error() const { return error_; }

private:
    // Two lines redrawn in place: the upper status line, then a bar and the lower line.
    void draw();
    // One line for a log.
    void print_line();

    void end_status_area();

    const CliOptions& options_;
    const ProgressStyle style_;
    int bar_ = 0;
    std::u16string upper_, lower_, summary_, error_;
    std::u16string file_rate_; // shown after the lower line while the run goes
    bool drawn_ = false;
    bool interrupted_ = false;
    std::chrono::steady_clock::time_point last_line_{};
    bool line_printed_ = false;
};

// Progress of verify on standard error, from a thread of its own that reads what the readers
// count: files and bytes checked, and the rate. Redrawn a few times a second on a terminal, one
// line a second for a log.
class VerifyProgressView {
public:
    VerifyProgressView(const VerifyProgress& progress, ProgressStyle style);
    // Stops the thread and clears the line it drew.
    ~VerifyProgressView();

    VerifyProgressView(const VerifyProgressView&) = delete;
    VerifyProgressView& operator=(const VerifyProgressView&) = delete;

private:
    void show();
    std::u16string line() const;

    const VerifyProgress& progress_;
    const ProgressStyle style_;
    const std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool drawn_ = false;
    std::thread thread_;
};
