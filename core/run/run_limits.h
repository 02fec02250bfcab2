// The ranges of the numbers a run and a check take, in one place: the command line and the window
// refuse the same values.
#pragma once

#include <cstdint>

struct NumberRange {
    int64_t low;
    int64_t high;
    constexpr bool holds(int64_t value) const { return value >= low && value <= high; }
};

// Files in a run; their numbers go up to the highest. The window keeps to fewer.
inline constexpr NumberRange kCountRange{1, 4294967295};
inline constexpr NumberRange kWindowCountRange{1, 65536};
// Entries in each folder of a run's folder tree.
inline constexpr NumberRange kPerFolderRange{2, 4294967295};
// Random data compressed to this share of its size, in percent.
inline constexpr NumberRange kCompressRange{1, 100};
// The share of a run's blocks that copy earlier ones, in percent.
inline constexpr NumberRange kDedupeRange{0, 99};
// Files written at the same time.
inline constexpr NumberRange kJobsRange{1, 64};
// verify's readers.
inline constexpr NumberRange kThreadsRange{1, 64};
// A run's seed: below 2^50, so that 16 digits of base 9 in the tag hold it.
inline constexpr NumberRange kSeedRange{0, (int64_t{1} << 50) - 1};
// The catalogue's built-in languages.
inline constexpr NumberRange kLanguageRange{0, 11};
