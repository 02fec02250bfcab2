// The flags a generation run shares with the thread that started it and with a cancel from
// anywhere (a signal handler, too).
#pragma once

#include <atomic>

extern std::atomic<bool> run_busy;
extern std::atomic<bool> run_cancel;
// Set once the program is ending: a run cancelled for that reason shows nothing more.
extern std::atomic<bool> run_ending;
