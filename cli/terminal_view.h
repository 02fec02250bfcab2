// What a run shows on a terminal: the two status lines redrawn in place with a bar, the questions
// at the prompt, errors on standard error, and the summary at the end.
#pragma once

#include <string>

#include "cli/options.h"
#include "core/run/run_view.h"

class TerminalView final : public RunView {
public:
    TerminalView(const CliOptions& options, bool terminal) : options_(options), terminal_(terminal) {}

    bool ask_overwrite(const std::u16string& caption, const std::u16string& text) override;

    bool ask_cancel(const std::u16string&) override { return true; }

    void show_error(const std::u16string& caption, const std::u16string& text) override;

    void set_bar(int position) override { bar_ = position; }
    void set_upper_line(const std::u16string& text) override { upper_ = text; }
    void set_lower_line(const std::u16string& text) override { lower_ = text; }

    bool shows_running_reports() const override { return terminal_ && !options_.quiet; }

    void report_shown(bool finished) override;

    void set_controls_enabled(bool, const std::u16string&) override {}

    void reveal(const std::u16string& path) override;

    // After the run: the status area gives way to the summary (and "Canceled"), the same lines
    // that are printed when the output is no terminal.
    void finish(bool cancelled);

    bool declined() const { return declined_; }
    // A cancel came while a question waited for its answer.
    bool interrupted() const { return interrupted_; }
    bool failed() const { return failed_; }

private:
    // Two lines redrawn in place: the upper status line, then a bar and the lower line.
    void draw();

    void end_status_area();

    const CliOptions& options_;
    const bool terminal_;
    int bar_ = 0;
    std::u16string upper_, lower_, summary_;
    bool drawn_ = false;
    bool declined_ = false;
    bool interrupted_ = false;
    bool failed_ = false;
};
