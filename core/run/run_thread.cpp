// The run's worker thread and the UI thread's side of it.
#include "core/run/run_thread.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/progress.h"
#include "core/run/run_view.h"

void set_controls_enabled(RunView* view, bool enable) {
    if (view != nullptr)
        view->set_controls_enabled(enable, text(enable ? kTextStart : kTextCancel));
}

Ended run_as_worker(const GenerationSettings& settings, FileSystem& fs, const std::optional<RunSeeds>& seeds,
                    const RunOptions& options, RunOutcome* outcome) {
    RunOutcome own;
    RunOutcome& ended = outcome != nullptr ? *outcome : own;
    const Ended result = generation_run(settings, fs, seeds, options, &ended);
    // An ending program's window may no longer answer: the run shows it nothing more.
    if (!run_ending) {
        if (run_cancel && settings.owner != nullptr) {
            settings.owner->set_upper_line(text(kTextCancelled));
            settings.owner->set_lower_line(u"");
        } else if (ended.disk_full && settings.owner != nullptr) {
            // What a capacity test is read by: how much fit.
            settings.owner->set_lower_line(fill_placeholders(
                text(kTextDiskFullFit), {format_ascii("%d", ended.files_written),
                                         format_size(static_cast<double>(ended.bytes_written))}));
        }
        set_controls_enabled(settings.owner, true);
    }
    run_busy = false;
    return result;
}

bool finish_busy_run(int32_t milliseconds, const std::function<void(int32_t)>& pause) {
    if (!run_busy)
        return true;
    run_ending = true;
    run_cancel = true;
    // A bounded wait: the worker may be showing a question nobody will answer any more.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (run_busy && std::chrono::steady_clock::now() < deadline) {
        if (pause)
            pause(10);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !run_busy;
}

bool ask_cancel(RunView* view) {
    if (!run_busy)
        return false;
    if (view != nullptr && view->ask_cancel(text(kTextCancelQuestion)))
        run_cancel = true;
    return true;
}

void start_or_cancel(const GenerationSettings& settings, FileSystem& fs, const std::optional<RunSeeds>& seeds,
                     const RunOptions& options) {
    set_controls_enabled(settings.owner, false);
    if (ask_cancel(settings.owner))
        return;
    run_cancel = false;
    run_busy = true;
    // The worker gets its own copy, taken here: the page may write the settings again while the
    // run is busy.
    try {
        std::thread([settings, &fs, seeds, options] {
            run_as_worker(settings, fs, seeds, options);
        }).detach();
    } catch (const std::system_error&) {
        run_busy = false;
        set_controls_enabled(settings.owner, true);
    }
}
