// The run options of the generation page: kept in the settings file, changed in a small modal
// dialog, checked with the command line's ranges.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/run/run_choice.h"

struct StoredRunOptions {
    RunChoiceTexts texts;
    bool direct = false;
    bool fill = false;
    bool sync = false;
    std::u16string last_seed; // the seed of the last run started here; empty before the first
};

// The keys "seed", "compress", "dedupe", "dedupe_unit", "jobs", "direct", "fill", "sync" and "last_seed" of
// the settings file, with the defaults where they are missing.
StoredRunOptions read_run_options();
void write_run_options(const StoredRunOptions& options);
void write_last_seed(uint64_t seed);

// Reads the numbers and the switches; the first field that cannot be taken, or none.
RunChoiceField run_choice_of(const StoredRunOptions& options, RunChoice& choice);
// Why `field` of `texts` cannot be taken, in the active language.
std::u16string bad_option_message(const RunChoiceTexts& texts, RunChoiceField field);

// The dialog, owned by `owner`; the shape's fields only for random data. True when the user chose
// OK with values that can be taken: they are then in `options` and stored.
bool edit_run_options(HWND owner, StoredRunOptions& options, int32_t files_type);
