// Checking the runs in a folder: the files are found by their names (head, number, tag, ".file";
// one run is one head, one tag and one width of numbers), and every byte of every file is checked
// against what its run writes. Only regular files count: a link is never followed, a pipe never
// waited on, and an entry under a run file's name that is no regular file is a damaged file of its
// run. Generator data needs no seed (every word follows from the one before it, also from file to
// file; a tag that records the generator's start fixes where the run's sequence begins), random
// data takes its seed from the tag (shaped random data its shape from the head as well), zeros are
// zeros.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/run/file_type.h"
#include "core/run/names.h"
#include "core/run/run_limits.h"
#include "core/run/shaped.h"

class FileReader;

// A file that is not as its run wrote it.
struct FileProblem {
    int64_t number = 0;
    std::u16string name;
    uint64_t size = 0;         // as found
    bool wrong_size = false;   // shorter or longer than the run's files
    uint64_t first_difference; // the first byte that differs, or kNoDifference
    std::string unreadable;    // the system's reason when the file could not be read
    std::string changed;       // how the file changed while it was checked (its size, its kind)
    bool partial = false;      // the file a cancelled run was writing (named ".file.partial")
    // Where the file lies when that is not where its run puts it: the folders from the checked one
    // down, each followed by "/" ("" for the checked folder itself). Such a file is not read, and
    // its number counts as missing where it belongs.
    std::optional<std::u16string> misplaced;
};

inline constexpr uint64_t kNoDifference = UINT64_MAX;

// The damaged files a run lists one by one; past them a run only counts its damaged files by kind
// and gives their numbers as ranges, so that a check of a badly damaged folder stays small.
inline constexpr size_t kListedProblems = 1000;

// The damaged files of a run past the first kListedProblems.
struct UnlistedProblems {
    uint64_t files = 0;
    uint64_t wrong_size = 0;
    uint64_t differing = 0; // with a first difference
    uint64_t unreadable = 0;
    uint64_t changed = 0;                             // changed while checked, or no regular file
    uint64_t partial = 0;                             // ".file.partial"
    uint64_t misplaced = 0;                           // in another folder than their run puts them
    std::vector<std::pair<int64_t, int64_t>> numbers; // first-last ranges
};

struct RunCheck {
    int32_t files_type = kGeneratorData; // a FileType
    DataShape shape;                     // random data's
    std::u16string tag;
    int32_t width = 0; // digits of the numbers
    // The run filled a disk: its count is where the disk ended, so no file is wanted past the last
    // one found, and that last file may be shorter than the others by whole kilobytes.
    bool fill = false;
    // A folder tree: the entries per folder its name gives, and the levels its files were found at.
    int64_t per_folder = 0;
    int32_t depth = 0;
    uint64_t last_file_bytes = 0; // the size of the file with the highest number
    // The numbers of the files found where the run puts them, as ascending first-last ranges, and
    // how many they are.
    std::vector<std::pair<int64_t, int64_t>> found;
    uint64_t files_found = 0;
    uint64_t file_bytes = 0;     // the size the run's files have (most of them, larger on a tie)
    bool whole_kilobytes = true; // file_bytes is a whole number of kilobytes
    bool seed_known = true;      // random data: the tag carries a seed
    // No file of the run is a regular file whose size could be had (a folder that can be listed
    // but not searched), and no size was given: file_bytes means nothing.
    bool size_known = true;
    // Generator data whose tag records the generator's start (runs made before it did not): every
    // file must lie where that start puts it, so the data of another run does not pass.
    bool start_in_tag = false;
    // Numbers that are not there, as first-last ranges: gaps, and those before the first file.
    std::vector<std::pair<int64_t, int64_t>> missing;
    // When the numbers' width says the run had more files than the last one found: how many at
    // least (a run of 1,000 files or more has 4-digit numbers); 0 otherwise.
    int64_t count_from_width = 0;
    std::vector<FileProblem> problems; // in number order, the first kListedProblems
    UnlistedProblems unlisted;         // the rest
    // Against an intended count (RunIntent): files numbered past it, and whether the numbers have
    // the width a run of that count gives them.
    int64_t expected_count = 0; // 0: not given
    int64_t past_intended_count = 0;
    bool width_fits_count = true;
    bool size_given = false; // file_bytes is the intended size, not the one most files have

    int64_t first_found() const { return found.empty() ? 0 : found.front().first; }
    int64_t last_found() const { return found.empty() ? 0 : found.back().second; }

    bool intact() const {
        return files_found != 0 && whole_kilobytes && seed_known && missing.empty() &&
               count_from_width == 0 && problems.empty() && unlisted.files == 0 && past_intended_count == 0 &&
               width_fits_count;
    }
};

// What the user says a run was meant to be. Without it, a run's size is the one most of its files
// have, and files missing at its end show only where the numbers' width says so.
struct RunIntent {
    std::optional<int64_t> count;       // every number from 1 to count is due
    std::optional<uint64_t> file_bytes; // every file has this size
};

// How far a check has come, updated by the readers as they go; another thread may read it at any
// time. The totals are set once the folder has been listed.
struct VerifyProgress {
    std::atomic<uint64_t> files_total{0};
    std::atomic<uint64_t> bytes_total{0};
    std::atomic<uint64_t> files_checked{0};
    std::atomic<uint64_t> bytes_checked{0};
};

// What a check expects and how it reads.
struct CheckScope {
    // Only the files first to last of each run: a shard, or what a run that filled a disk kept.
    // Files outside are left alone, and the numbers past the last one found are not wanted. last 0:
    // every run whole.
    int64_t first = 1;
    int64_t last = 0;
    // Read from the device, past the system's cache (the reader's direct I/O).
    bool direct = false;
    // Before reading, have the system write out and drop what its cache holds of every file.
    bool drop_cache = false;
};

// The most files a check examines and reads at a time. A run of no more files is judged as one:
// its size and the start of generator data whose tag does not record it are voted on by all its
// files; a larger run's are by its first batch.
inline constexpr size_t kVerifyBatchFiles = 65536;

// The most reader threads a check takes.
inline constexpr int kMaxVerifyThreads = static_cast<int>(kThreadsRange.high);

struct VerifyOptions {
    int threads = 0; // 0: one per processor, at most 4; at most kMaxVerifyThreads
    RunIntent intent;
    VerifyProgress* progress = nullptr;
    CheckScope scope;
    // The most files examined and read at a time (at least 1).
    size_t batch_files = kVerifyBatchFiles;
    // Set from another thread (or a signal handler) to stop the reads; the check then reports
    // no run.
    const std::atomic<bool>* cancel = nullptr;
};

// What a check found about the folder as a whole.
struct FolderFacts {
    std::string error;      // why the folder could not be read; empty when it could
    bool cancelled = false; // VerifyOptions::cancel stopped the check: no run was judged
    size_t runs = 0;        // found
    size_t intact_runs = 0;
    bool direct_refused = false; // direct reads were asked for; the file system refused them
    std::string cache_kept;      // why the cache could not be dropped, when it could not

    bool intact() const { return error.empty() && !cancelled && runs != 0 && intact_runs == runs; }
};

// Takes a check's findings as they come, so that a report of any length is written as it goes:
// the folder's facts once the files have been read, then each run in order. A run handed over is
// gone after the call.
class VerifySink {
public:
    virtual ~VerifySink() = default;
    virtual void folder(const FolderFacts& facts) = 0;
    virtual void run(const RunCheck& run) = 0;
};

// A whole check kept in memory, for callers that want every run at once.
struct FolderCheck {
    std::string error; // why the folder could not be read; empty when it could
    std::vector<RunCheck> runs;
    bool direct_refused = false; // direct reads were asked for; the file system refused them
    std::string cache_kept;      // why the cache could not be dropped, when it could not
    bool cancelled = false;
};

// Checks every run in `folder` and in the folders of its runs' trees (folders named by digits alone,
// never through a link), handing the findings to `sink`; returns the folder's facts (also when it
// could not be read, and then calls no sink). The files are taken in batches of at most
// kVerifyBatchFiles, run by run in number order; each batch's files are read in blocks of 1 MiB
// by `threads` workers (0: one per processor, at most 4; 4 for direct reads, which wait on the
// device) that take the blocks in file order, so a disk still reads front to back. Beyond its
// findings the check keeps a bit for each file and some 60 bytes for each file of a batch.
FolderFacts verify_folder(const std::u16string& folder, FileReader& reader, const VerifyOptions& options,
                          VerifySink& sink);
// The same, every run kept.
FolderCheck verify_folder(const std::u16string& folder, FileReader& reader, const VerifyOptions& options);
inline FolderCheck verify_folder(const std::u16string& folder, FileReader& reader, int threads = 0,
                                 const CheckScope& scope = {}) {
    VerifyOptions options;
    options.threads = threads;
    options.scope = scope;
    return verify_folder(folder, reader, options);
}

// The facts of a check kept whole, as a streamed check hands them over: what its report and its
// JSON end with, and whether it is intact.
FolderFacts facts_of(const FolderCheck& check);

// What a checked run's name head says beyond its type.
RunMarks marks_of(const RunCheck& run);

// The name pattern of a run, with "#" for the digits of the number.
std::u16string run_pattern(const RunCheck& run);
