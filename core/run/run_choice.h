// The options of a run beyond folder, count, size and type, as a front end keeps them in fields
// and settings (texts), read with the command line's ranges; and the line that tells a user which
// of them are not the defaults.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/run/run_limits.h"
#include "core/run/shaped.h"

struct RunChoice {
    std::optional<uint64_t> seed; // none: a new one every run
    DataShape shape;              // counts for random data only
    int32_t jobs = 1;
    bool direct = false; // past the system's cache
    bool fill = false;   // until the disk is full
    bool sync = false;   // each file flushed to the disk before it is closed
};

// The numbers as typed or stored; the switches need no reading.
struct RunChoiceTexts {
    std::u16string seed; // blank: none
    std::u16string compress = u"100";
    std::u16string dedupe = u"0";
    std::u16string jobs = u"1";
    std::u16string dedupe_unit = u"4K"; // as the command line spells it: "4K" to "64M", "file"
};

enum class RunChoiceField { none, seed, compress, dedupe, dedupe_unit, jobs };

// Reads the numbers of `texts` into `choice` (blanks around them allowed) and returns the first
// field that is no whole number in its range, or none. The shape is read whatever the type: a bad
// value is refused even while it does not count.
RunChoiceField read_run_choice(const RunChoiceTexts& texts, RunChoice& choice);
// The range of a numeric field; the unit, which is no number, has none ({0, 0}).
NumberRange range_of(RunChoiceField field);
// A unit as a person reads it in a list: "4 KB" to "64 MB", or "whole files" in the active language.
std::u16string dedupe_unit_label(int32_t unit);

// What is not the default, in the active language, joined by ", ": "40 % compressible, 30 %
// duplicates, seed 7, 4 jobs, past the cache". The shape is named only for random data. Empty when
// everything is the default.
std::u16string run_choice_summary(const RunChoice& choice, int32_t files_type);
