// The terminal's view of a run.
#include "cli/terminal_view.h"

#include <optional>

#include "cli/terminal.h"
#include "core/base/text.h"
#include "core/run/reveal.h"
#include "core/run/run.h"

namespace {

// Message-box texts use CR LF; a terminal wants LF alone.
std::u16string console_text(const std::u16string& text) { return replace_all(text, u"\r\n", u"\n"); }

} // namespace

bool TerminalView::ask_overwrite(const std::u16string& caption, const std::u16string& text) {
    if (options_.overwrite == Overwrite::yes)
        return true;
    if (options_.overwrite == Overwrite::ask && stdin_is_terminal()) {
        end_status_area();
        write_out(caption + u": " + console_text(text) + u" [y/N] ");
        const std::optional<std::string> answer = read_input_line();
        // Ctrl-C at the question breaks off the read: that is a cancel, not a No.
        if (run_cancel) {
            write_out(u"\n");
            interrupted_ = true;
            return false;
        }
        if (answer && (*answer == "y" || *answer == "Y" || *answer == "yes"))
            return true;
    } else if (options_.overwrite == Overwrite::ask) {
        write_err(console_text(text) +
                  u"\nNo terminal to ask: use --yes to overwrite or --no-clobber to stop.\n");
    } else {
        write_err(console_text(text) + u"\n--no-clobber: nothing is overwritten, the run stops here.\n");
    }
    declined_ = true;
    return false;
}

void TerminalView::show_error(const std::u16string& caption, const std::u16string& text) {
    end_status_area();
    write_err(caption + u": " + console_text(text) + u"\n");
    failed_ = true;
}

void TerminalView::report_shown(bool finished) {
    if (finished)
        summary_ = upper_;
    if (terminal_ && !options_.quiet)
        draw();
}

void TerminalView::reveal(const std::u16string& path) {
    if (options_.reveal)
        reveal_in_file_manager(path);
}

void TerminalView::finish(bool cancelled) {
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
    write_out(out);
    drawn_ = true;
}

void TerminalView::end_status_area() {
    if (drawn_)
        write_out(u"\n");
    drawn_ = false;
}
