// The flags a generation run shares with the thread that started it and with a cancel from
// anywhere (a signal handler, too), and the names of the files it has open, for a handler that must
// end the program before the run can close them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

extern std::atomic<bool> run_busy;
extern std::atomic<bool> run_cancel;
// Set once the program is ending: a run cancelled for that reason shows nothing more.
extern std::atomic<bool> run_ending;

// A file a run has open, for a program that must end before the run can close it (a second
// Ctrl-C): while `state` is kOpen, `name` is its path and `partial` its ".partial" name, as UTF-8,
// made beforehand so that a signal handler can rename the file without allocating. A file is kOpen
// from just before it is made (a signal that comes as the system makes it finds it named) until it
// is complete, renamed or removed. The run publishes one per job in open_run_files while it
// writes.
struct OpenRunFile {
    enum State : uint8_t { kNone, kOpen };
    std::atomic<uint8_t> state{kNone};
    std::string name;
    std::string partial;
};
// The files a run has open: `count` of them from `files` (none while no run writes). The run sets
// the count to 0 before it changes `files`, so a handler never reads past what is published.
struct OpenRunFiles {
    std::atomic<OpenRunFile*> files{nullptr};
    std::atomic<size_t> count{0};
};
extern OpenRunFiles open_run_files;
