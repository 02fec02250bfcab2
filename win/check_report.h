// What the Check page shows of a check: the rows of its list and the summary line, in the active
// language.
#pragma once

#include <string>
#include <vector>

#include "core/run/verify.h"

struct CheckRow {
    bool run = false; // a run's row; the rows under it are its files
    std::u16string name, files, size, type, result;
    std::u16string file; // the file a double-click shows, when there is one: its path from the folder
};

// A row per run (pattern, files, size, type and shape, intact or not), and under each a row per
// damaged, unreadable, changed or cut file and per range of missing numbers, in number order.
std::vector<CheckRow> check_rows(const FolderCheck& check);

// "7.45 GB intact, 0 bytes lost" or "7.45 GB intact, 12.00 MB damaged in 3 files, 1 file missing".
std::u16string check_summary(const FolderCheck& check);
