// The generation run: N files of S KB of generator data, random data or zeros, written on a worker thread,
// with the overwrite question, progress reports, cancel, and the last file shown at the end.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/lang/text_ids.h"
#include "core/run/file_system.h"
#include "core/run/file_type.h"
#include "core/run/run_limits.h"
#include "core/run/shaped.h"

class RunView;

struct GenerationSettings {
    int32_t files_c = 1;
    int32_t files_size = 1024;           // kilobytes of 1,024 bytes
    int32_t files_type = kGeneratorData; // a FileType; any other value writes zeros
    DataShape shape;                     // random data: its compressed size and share of copies
    std::u16string Folder;
    RunView* owner = nullptr; // who is asked and shown things; also the progress target
};

// The parameters of the next run, filled by the front end.
extern GenerationSettings generation_settings;

extern std::atomic<bool> run_busy;
extern std::atomic<bool> run_cancel;
// Set once the program is ending: a run cancelled for that reason shows nothing more.
extern std::atomic<bool> run_ending;

// A file a run has open, for a program that must end before the run can close it (a second
// Ctrl-C): while `state` is kOpen, `name` is its path and `partial` its ".partial" name, as UTF-8,
// made beforehand so that a signal handler can rename the file without allocating. A file is kOpen
// from just before it is made (a signal that comes as the system makes it finds it named) until it
// is complete, renamed or removed. The run publishes one per job in open_run_files
// (open_run_file_count of them) while it writes.
struct OpenRunFile {
    enum State : uint8_t { kNone, kOpen };
    std::atomic<uint8_t> state{kNone};
    std::string name;
    std::string partial;
};
extern std::atomic<OpenRunFile*> open_run_files;
extern std::atomic<size_t> open_run_file_count;

// Where a run's randomness comes from: fixed seeds make it repeatable; without them the run seeds
// itself from the calendar time, the clock and the system's entropy.
struct RunSeeds {
    uint32_t tag = 0;  // makes the tag of zeros
    uint64_t data = 0; // the generator's first state (low 32 bits), which its tag records, or
                       // random data's seed (below kRandomSeedLimit), which is its tag
};

// The seeds of a run that one number fixes (pelmora-cli --seed): random data takes the number as
// its seed, so its tag shows it; the other types draw both seeds from it through splitmix64 (the
// same number gives generator data the same bytes as before its tag recorded the start).
RunSeeds run_seeds(uint64_t number, int32_t files_type);
// The tag of a run of `files_type` with `seeds`: random data's seed, generator data's start (with
// its check), or digits drawn with the tag seed (zeros).
std::u16string run_tag(int32_t files_type, const RunSeeds& seeds);
// A number for run_seeds, below kRandomSeedLimit, drawn from the time, the clock and the system's
// entropy: a front end that draws the number itself can tell it, and the number makes the run again.
uint64_t draw_seed_number();

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
    int32_t first = 1;
    int32_t last = 0;
};

inline constexpr int32_t kMaxJobs = static_cast<int32_t>(kJobsRange.high);

// What a run did, in numbers, for front ends that tell more than the summary line.
struct RunOutcome {
    std::u16string tag;         // empty when the run was refused before it began
    int32_t files_written = 0;  // complete files
    uint64_t bytes_written = 0; // in them, and in a file a cancel cut short (kept as ".file.partial")
    int32_t first = 0;          // the numbers of the first and the last complete file (0: none)
    int32_t last = 0;
    double seconds = 0;          // from just before the first file was made to the end
    bool disk_full = false;      // a run with fill that the full disk ended
    bool direct_refused = false; // direct I/O was asked for, and the file system refused it
};

// 1 when the run reached its end (all files, or cancelled, or with fill a full disk), -1 when it
// stopped on a declined overwrite or an error (whose message has been shown).
int32_t generation_run(const GenerationSettings& settings, FileSystem& fs,
                       const std::optional<RunSeeds>& seeds = std::nullopt, const RunOptions& options = {},
                       RunOutcome* outcome = nullptr);

// Where the generator stands before the first chunk of file `number` of a run whose generator
// starts at run_seed: each file takes 1,024 steps per chunk, also for a short last chunk, and the
// next one goes on from there.
uint32_t generator_state_of_file(uint32_t run_seed, uint64_t file_bytes, int32_t number);

// The worker: the run, then "Canceled" if it was cancelled, the controls back, run_busy cleared.
int32_t generation_thread(const GenerationSettings& settings, FileSystem& fs,
                          const std::optional<RunSeeds>& seeds = std::nullopt, const RunOptions& options = {},
                          RunOutcome* outcome = nullptr);

// UI thread: starts a run of generation_settings (with `seeds` and `options`) on a new worker
// thread, or, while one is busy, asks whether to cancel it.
void start_or_cancel(FileSystem& fs, const std::optional<RunSeeds>& seeds = std::nullopt,
                     const RunOptions& options = {});
// For a program that ends while a run is busy: asks the run to cancel, without the reports, the
// "Canceled" line and the Explorer window a cancelled run otherwise shows, and waits at most
// `milliseconds` for it to close its file. The wait passes in slices of `pause(ms)` (a window
// program answers the worker's calls to its windows there); without it the thread sleeps. True
// when no run is busy any more.
bool finish_busy_run(int32_t milliseconds, const std::function<void(int32_t)>& pause = {});

// False when no run is busy; otherwise asks whether to cancel it (setting run_cancel on Yes).
bool ask_cancel();
void set_controls_enabled(RunView* view, bool enable);

// For a file whose name is taken: 1 go on (the name has come free, or the user agreed to replace
// the regular file that has it), 0 the user declined, -1 what has the name is no regular file and
// is never written (`refusal` says what it is; nothing has been shown).
int32_t confirm_overwrite(FileSystem::Handle folder, const std::u16string& name, const std::u16string& path,
                          RunView* owner, FileSystem& fs, FileSystem::CreateStatus& refusal);
void show_target_error(RunView* owner, const std::u16string& folder);
// The text that says why a file could not be created.
TextId create_error_text(FileSystem::CreateStatus status);
// The error for a file that could not be created: a reason that lies with the folder (it could
// not be opened, or it was moved during the run) names the folder; any other names the file.
void show_create_error(RunView* owner, FileSystem::CreateStatus status, const std::u16string& path,
                       const std::u16string& folder);

// Why a run of `settings` cannot start (a negative size, a path longer than the platform takes,
// also with the ending of a cut file, a folder name longer than a file system takes), as the text
// of an error: the message, CR LF, the detail. Empty when it can start.
std::u16string settings_problem(const GenerationSettings& settings, const FileSystem& fs);

// What starts Explorer with the file selected: the program in the Windows folder, and the
// parameters " /select,"path",/e" with every doubled backslash of the path made single.
std::u16string explorer_program(const std::u16string& windows_folder);
std::u16string explorer_parameters(const std::u16string& path);
