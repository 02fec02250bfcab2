// The progress report of a run: the bar, the status line above it (percent, average throughput,
// amount written) and the one below it (remaining and elapsed time), then the final summary.
#pragma once

#include <cstdint>
#include <string>

class RunView;

// Milliseconds of wall-clock time since the process started.
int32_t clock_ms();
// Seconds since `start` (a clock_ms reading), the difference taken as 32-bit milliseconds.
double elapsed_seconds(int32_t start);

// Updates owner's bar and lines, when there is an owner. The elapsed time is measured from
// `started`, the clock_ms reading when the run began. The final summary's throughput is `done` over
// that time: what a cancelled run wrote, not what it planned. A run also tells the files it has made
// of all it makes: their rate goes to the owner, and a run of empty files shows its share of them.
void report_progress(double done, double total, RunView* owner, int finished, int32_t started,
                     uint64_t files_done = 0, uint64_t files_total = 0);

// "5 sec.", "< 1 sec.", "2 min., 5 sec.." in the active language.
std::u16string format_duration(double seconds);
// "512 Byte", "1.50 KB", "1024.00 MB", "3.00 GB": powers of 1024, the smaller unit at a threshold.
std::u16string format_size(double bytes);
