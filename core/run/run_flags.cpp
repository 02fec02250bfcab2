#include "core/run/run_flags.h"

std::atomic<bool> run_busy{false};
std::atomic<bool> run_cancel{false};
std::atomic<bool> run_ending{false};
std::atomic<OpenRunFile*> open_run_files{nullptr};
std::atomic<size_t> open_run_file_count{0};
