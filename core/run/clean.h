// Taking runs away again: the files of every run found in a folder (by their names, as the check
// finds them) and the ".partial" files that cancelled runs left, and nothing else. Other files,
// links (whatever their name, and whatever they point to), folders and devices stay; a folder
// goes only when a run made it and it is empty once its files are gone.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/run/names.h"

class FileSystem;

// One run's files that went (or with a dry run would go).
struct CleanedRun {
    int32_t files_type = 0;
    RunMarks marks; // what its names' head says beyond the type
    std::u16string tag;
    int32_t width = 0;
    uint64_t files = 0;   // ".partial" ones included
    uint64_t partial = 0; // of files: cut short by a cancel
    uint64_t bytes = 0;
    int64_t first = 0; // the lowest and the highest number among them
    int64_t last = 0;
    uint64_t failed = 0; // files of the run that could not be removed (not in `files`)
};

// What stayed because it is not a run's: by kind. `run_names` counts those among them that have
// a run file's name (a link or a folder under it, say).
struct LeftAlone {
    uint64_t files = 0;
    uint64_t links = 0;
    uint64_t folders = 0;
    uint64_t other = 0; // pipes, sockets, devices, names that are no valid text
    uint64_t run_names = 0;

    uint64_t total() const { return files + links + folders + other; }
};

struct CleanFacts {
    // Why the folder could not be opened (nothing went), or listed to its end (what the listing
    // reached went).
    std::string error;
    bool cancelled = false; // CleanOptions::cancel stopped it part way
    uint64_t files = 0;     // removed (dry run: to be removed), ".partial" ones included
    uint64_t partial = 0;
    uint64_t bytes = 0;
    uint64_t failed = 0;  // run files that could not be removed
    uint64_t folders = 0; // folders a run made that went
    LeftAlone left;
    std::vector<CleanedRun> runs; // ordered by type, tag, width, fill mark and shape

    bool complete() const { return error.empty() && !cancelled && failed == 0; }
    // The folder could not be read at all: nothing was found, nothing went.
    bool unreadable() const { return !error.empty() && files == 0 && failed == 0; }
};

struct CleanOptions {
    bool dry_run = false; // find and count, remove nothing
    // Set from another thread (or a signal handler) to stop between two entries.
    const std::atomic<bool>* cancel = nullptr;
    // The names of the folders a run makes for its files. A folder so named is emptied of run
    // files and goes when nothing else is left in it; any other folder is left alone unopened.
    // Empty: runs make no folders, and every folder is left alone.
    std::function<bool(std::u16string_view name)> run_folder;
    // Each run file that goes (or would go), as it goes: its path relative to the folder and size.
    std::function<void(const std::u16string& path, uint64_t size)> each_file;
};

// Removes the runs' files from `folder` through `fs`, which names every entry relative to the
// folder's handle: no link is followed, at the top or below.
CleanFacts clean_folder(FileSystem& fs, const std::u16string& folder, const CleanOptions& options);
