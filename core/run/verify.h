// Checking the runs in a folder: the files are found by their names (head, number, tag, ".file";
// one run is one head, one tag and one width of numbers), and every byte of every file is checked
// against what its run writes. Only regular files count: a link is never followed, a pipe never
// waited on. Generator data needs no seed (every word follows from the one before it, also from
// file to file), random data takes its seed from the tag (shaped random data its shape from the
// head as well), zeros are zeros.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/run/file_type.h"
#include "core/run/shaped.h"

class FileReader;

// A file that is not as its run wrote it.
struct FileProblem {
    int32_t number = 0;
    std::u16string name;
    uint64_t size = 0;         // as found
    bool wrong_size = false;   // shorter or longer than the run's files
    uint64_t first_difference; // the first byte that differs, or kNoDifference
    std::string unreadable;    // the system's reason when the file could not be read
    std::string changed;       // how the file changed while it was checked (its size, its kind)
    bool partial = false;      // the file a cancelled run was writing (named ".file.partial")
};

inline constexpr uint64_t kNoDifference = UINT64_MAX;

struct RunCheck {
    int32_t files_type = kGeneratorData; // a FileType
    DataShape shape;                     // random data's
    std::u16string tag;
    int32_t width = 0;            // digits of the numbers
    std::vector<int32_t> numbers; // the files found, ascending
    uint64_t file_bytes = 0;      // the size the run's files have (most of them, larger on a tie)
    bool whole_kilobytes = true;  // file_bytes is a whole number of kilobytes
    bool seed_known = true;       // random data: the tag carries a seed
    // Numbers that are not there, as first-last ranges: gaps, and those before the first file.
    std::vector<std::pair<int32_t, int32_t>> missing;
    // Numbers no run gives (past kMostFiles, or wider than its numbers), as first-last ranges of
    // the files found.
    std::vector<std::pair<int32_t, int32_t>> past_limit;
    // When the numbers' width says the run had more files than the last one found: how many at
    // least (a run of 1,000 files or more has 4-digit numbers); 0 otherwise.
    int32_t at_least = 0;
    std::vector<FileProblem> problems; // in number order
    // Against an intended count (RunIntent): files numbered past it, and whether the numbers have
    // the width a run of that count gives them.
    int32_t expected_count = 0; // 0: not given
    int32_t beyond_count = 0;
    bool width_fits_count = true;
    bool size_given = false; // file_bytes is the intended size, not the one most files have

    bool intact() const {
        return !numbers.empty() && whole_kilobytes && seed_known && missing.empty() && past_limit.empty() &&
               at_least == 0 && problems.empty() && beyond_count == 0 && width_fits_count;
    }
};

// What the user says a run was meant to be. Without it, a run's size is the one most of its files
// have, and files missing at its end show only where the numbers' width says so.
struct RunIntent {
    std::optional<int32_t> count;       // every number from 1 to count is due
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
    int32_t first = 1;
    int32_t last = 0;
    // Read from the device, past the system's cache (the reader's direct I/O).
    bool direct = false;
    // Before reading, have the system write out and drop what its cache holds of every file.
    bool drop_cache = false;
};

struct VerifyOptions {
    int threads = 0; // 0: one per processor, at most 4
    RunIntent intent;
    VerifyProgress* progress = nullptr;
    CheckScope scope;
    // Set by another thread to stop the check: the readers stop at their next block, and the
    // result says it was cancelled (its runs are then what the folder held, not judged).
    const std::atomic<bool>* cancel = nullptr;
};

struct FolderCheck {
    std::string error; // why the folder could not be read; empty when it could
    std::vector<RunCheck> runs;
    bool direct_refused = false; // direct reads were asked for; the file system refused them
    std::string cache_kept;      // why the cache could not be dropped, when it could not
    bool cancelled = false;      // VerifyOptions::cancel stopped it before every byte was read
};

// Checks every run in `folder`. Files are read in blocks of 1 MiB by `threads` workers (0: one per
// processor, at most 4; 4 for direct reads, which wait on the device) that take the blocks in
// file order, so a disk still reads front to back.
FolderCheck verify_folder(const std::u16string& folder, FileReader& reader, const VerifyOptions& options);
inline FolderCheck verify_folder(const std::u16string& folder, FileReader& reader, int threads = 0,
                                 const CheckScope& scope = {}) {
    VerifyOptions options;
    options.threads = threads;
    options.scope = scope;
    return verify_folder(folder, reader, options);
}

// What the check found, line by line: one line per run ("OK" or "FAILED", the name pattern, the
// files and their size), under it one line for the missing numbers and one per bad file.
std::vector<std::u16string> verify_report(const FolderCheck& check);

// The name pattern of a run, with "#" for the digits of the number.
std::u16string run_pattern(const RunCheck& run);
