// Everything about the names of run files: the head of each type, the padded number, the tag,
// and reading a name back into those parts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/run/run_limits.h"
#include "core/run/shaped.h"
#include "core/run/size_range.h"
// The most files a run has; the page and the command line keep the count at or below it.
inline constexpr int32_t kMostFiles = static_cast<int32_t>(kCountRange.high);

// What the name of a file that a cancel cut short ends in, after its ".file".
inline constexpr std::u16string_view kPartialSuffix = u".partial";

// The name of file `number` of a run: prefix, "_", the number padded to the run's width, "_",
// the tag, ".file". `shape` counts for random data (type 2) alone.
std::u16string file_name(int32_t files_type, int32_t files_c, int32_t number, const std::u16string& tag,
                         DataShape shape = {}, bool fill = false, const SizeRange& sizes = {});
// Appends `number` in decimal, padded with zeros to `width` digits.
void append_number(std::u16string& text, int32_t number, int width);
// A name is its head, the padded number and its tail; a run makes head and tail once.
// What every name of a run starts with: the prefix and its "_". Random data that is shaped names
// its shape in the prefix, "random_c40_d30_" for 40 % and 30 % duplicates, "random_c40_d30_u1m_"
// when the copies are whole units of 1 MiB ("u8k" to "u64m", "ufile"; 4 KiB has no mark). A run
// that filled a disk says so last: "non_compressible_fill__", "random_c40_d30_fill__"; its count is
// where the disk ended, and its last file may be shorter than the others. A run whose sizes spread
// over a range marks it after the shape and before the fill mark (size_range_mark):
// "non_compressible_s4k-1m__", "random_c40_d30_u1m_su0k-64k_fill__"; a run of one size has no mark.
std::u16string file_name_head(int32_t files_type, DataShape shape = {}, bool fill = false,
                              const SizeRange& sizes = {});
// What every name of a run ends with: "_", the tag, ".file".
std::u16string file_name_tail(const std::u16string& tag);
// 16 digits 0-8 drawn with seed (zeros, and generator data of runs made before its tag recorded
// its start; random data's tag is its seed).
std::u16string make_tag(uint32_t seed);
// The tag of generator data: the generator's start (its state before the run's first step) and a
// check that a tag made here carries, as one number below 9^16 in 16 digits of base 9. Runs made
// before drew their tags apart from the data; one of their tags in 431,439 passes the check by
// chance.
std::u16string generator_tag(uint32_t start);
// The start a generator tag records; none for a tag that does not pass the check.
std::optional<uint32_t> generator_tag_start(std::u16string_view tag);
// How many digits the numbers of a run of files_c files have (3 up to 999 files, then one more for
// each power of ten).
int number_width(int32_t files_c);

// A name read back: the run it belongs to (type, width of the numbers, tag) and its number.
struct RunFileName {
    int32_t files_type;
    int32_t number;
    int32_t width;
    std::u16string tag;
    DataShape shape;      // random data's; plain for the other types
    bool partial = false; // the file a cancelled run was writing: ".file.partial"
    bool fill = false;    // the run filled a disk: "_fill" ends its head
    SizeRange sizes;      // a run whose sizes spread over a range; not ranged for the others
};

// The parts of a run file's name; none when the name is not one: head, 3 to 7 digits, "_", 16
// digits 0-8, ".file" (or ".file.partial"), and a number of 1 or more. A shaped head's numbers are
// written as the run writes them (no leading zeros), within their ranges, and never the plain
// shape; it marks a unit only with copies (a canonical shape). A size mark is taken only as
// size_range_mark writes a valid range, and only before the fill mark.
std::optional<RunFileName> parse_run_file_name(std::u16string_view name);
