// What a generation run shows the user: the window's generation page implements it, and so does
// the terminal front end.
#pragma once

#include <string>

class RunView {
public:
    virtual ~RunView() = default;

    // A Yes/No/Cancel question before an existing file is overwritten; true only for Yes.
    virtual bool ask_overwrite(const std::u16string& caption, const std::u16string& text) = 0;
    // The question whether to cancel the busy run; true for Yes.
    virtual bool ask_cancel(const std::u16string& text) = 0;
    // An error with an OK button.
    virtual void show_error(const std::u16string& caption, const std::u16string& text) = 0;

    // The progress bar (0-100) and the status lines above and below it.
    virtual void set_bar(int position) = 0;
    virtual void set_upper_line(const std::u16string& text) = 0;
    virtual void set_lower_line(const std::u16string& text) = 0;
    // How many files a second a run makes, as a text ("812 Files / sec."), for a view that shows it
    // beside the lines; runs of many small files are read by it.
    virtual void set_file_rate(const std::u16string& text) { (void)text; }
    // False when only the final report is ever seen (output that is no terminal): the run then
    // skips the running ones.
    virtual bool shows_running_reports() const { return true; }
    // Called once a progress report has set everything it sets.
    virtual void report_shown(bool finished) { (void)finished; }

    // Enables the controls a run must not have in use, and names the Start/Cancel button.
    virtual void set_controls_enabled(bool enable, const std::u16string& button_text) = 0;
    // Shows the last file of a finished or cancelled run in the file manager.
    virtual void reveal(const std::u16string& path) = 0;
};
