#include "core/run/run_flags.h"

std::atomic<bool> run_busy{false};
std::atomic<bool> run_cancel{false};
std::atomic<bool> run_ending{false};
OpenRunFiles open_run_files;
