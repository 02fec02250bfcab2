// What a check found, in bytes and files over all its runs: the figures a capacity test is read by.
#pragma once

#include <cstdint>

#include "core/run/verify.h"

struct CheckTotals {
    uint64_t intact_bytes = 0;  // in files that are whole and as their run wrote them
    uint64_t damaged_bytes = 0; // in files that are there but not as written, as far as they reach
    uint64_t damaged_files = 0; // files there but not as written (a cancel's ".partial" files too)
    uint64_t missing_files = 0; // numbers missing inside a run, and at its end as far as is known
    // What did not come back: the damaged files' bytes and a whole file's for each missing one.
    uint64_t lost_bytes = 0;
};

CheckTotals run_totals(const RunCheck& run);
CheckTotals check_totals(const FolderCheck& check);
