// A generation run on a worker thread of its own: started, asked to cancel, waited for.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "core/run/run.h"
#include "core/run/run_flags.h"

class RunView;

// The worker: the run, then "Canceled" if it was cancelled, the controls back, run_busy cleared.
Ended run_as_worker(const GenerationSettings& settings, FileSystem& fs,
                    const std::optional<RunSeeds>& seeds = std::nullopt, const RunOptions& options = {},
                    RunOutcome* outcome = nullptr);

// UI thread: starts a run of `settings` (a copy, taken now) with `seeds` and `options` on a new
// worker thread, or, while one is busy, asks the settings' owner whether to cancel it.
void start_or_cancel(const GenerationSettings& settings, FileSystem& fs,
                     const std::optional<RunSeeds>& seeds = std::nullopt, const RunOptions& options = {});
// For a program that ends while a run is busy: asks the run to cancel, without the reports, the
// "Canceled" line and the Explorer window a cancelled run otherwise shows, and waits at most
// `milliseconds` for it to close its file. The wait passes in slices of `pause(ms)` (a window
// program answers the worker's calls to its windows there); without it the thread sleeps. True
// when no run is busy any more.
bool finish_busy_run(int32_t milliseconds, const std::function<void(int32_t)>& pause = {});

// False when no run is busy; otherwise asks `view` whether to cancel it (setting run_cancel on Yes).
bool ask_cancel(RunView* view);
void set_controls_enabled(RunView* view, bool enable);
