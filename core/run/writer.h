// The writer: the files of a run written by its jobs, each through the cache or directly in lanes of
// its own, and with fill the recovery that keeps the files that fit one unbroken row.
#pragma once

#include <cstdint>
#include <string>

#include "core/base/ended.h"
#include "core/lang/text_ids.h"
#include "core/run/file_content.h"
#include "core/run/file_system.h"
#include "core/run/run_limits.h"

class RunView;

// How a run writes, beyond what the settings say; the defaults make the run the window starts.
struct RunOptions {
    // Past the system's cache (where the file system refuses, through it, and the outcome says so).
    bool direct = false;
    // A full disk ends the run as a normal end: the complete files stay, the one that did not fit
    // goes. The file count is then the most there may be.
    bool fill = false;
    // Files written at the same time, each by a thread of its own (1 to kMaxJobs); the files and
    // their bytes are the same for any number.
    int32_t jobs = 1;
    // Only files first to last of the run (a shard of it), each byte for byte as the whole run
    // writes it; last 0 stands for files_c.
    int64_t first = 1;
    int64_t last = 0;
    // A folder tree of at most this many files (and folders) in each folder (names.h); 0: all
    // files in the run's folder.
    int64_t per_folder = 0;
};

inline constexpr int32_t kMaxJobs = static_cast<int32_t>(kJobsRange.high);

// What a run did, in numbers, for front ends that tell more than the summary line.
struct RunOutcome {
    std::u16string tag;         // empty when the run was refused before it began
    int64_t files_written = 0;  // complete files
    uint64_t bytes_written = 0; // in them, and in a file a cancel cut short (kept as ".file.partial")
    int64_t first = 0;          // the numbers of the first and the last complete file (0: none)
    int64_t last = 0;
    double seconds = 0;          // from just before the first file was made to the end
    bool disk_full = false;      // a run with fill that the full disk ended
    uint64_t last_bytes = 0;     // with fill: the last file's bytes, when the room left cut it short
    bool direct_refused = false; // direct I/O was asked for, and the file system refused it
};

// Everything the files of a run follow from.
struct RunPlan {
    int64_t files_c = 1;
    RunContent content;
    std::u16string folder;
    std::u16string tag;
    RunOptions options;      // with `last` set (never 0)
    int32_t start_clock = 0; // clock_ms() just before the first file is made
};

// Writes the files of `plan` into `folder` (opened from plan.folder), asking and showing `view`
// (none: nothing is asked, an existing file is never overwritten). Done when the run reached its
// end (all files, or cancelled, or with fill a full disk), declined when the user would not have a
// file overwritten, failed on an error (whose message has been shown).
Ended write_run(const RunPlan& plan, FileSystem& fs, FileSystem::Handle folder, RunView* view,
                RunOutcome& outcome);

// For a file whose name is taken: done to go on (the name has come free, or the user agreed to
// replace the regular file that has it), declined when the user said no, failed when what has the
// name is no regular file and is never written (`refusal` says what it is; nothing has been shown).
Ended confirm_overwrite(FileSystem::Handle folder, const std::u16string& name, const std::u16string& path,
                        RunView* owner, FileSystem& fs, FileStatus::Kind& refusal);
void show_target_error(RunView* owner, const std::u16string& folder);
// The text that says why a file could not be created.
TextId create_error_text(FileStatus::Kind status);
// The error for a file that could not be created: a reason that lies with the folder (it could
// not be opened, or it was moved during the run) names the folder; any other names the file.
void show_create_error(RunView* owner, FileStatus::Kind status, const std::u16string& path,
                       const std::u16string& folder);
