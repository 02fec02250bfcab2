// Everything about the names of run files: the head of each type, the padded number, the tag,
// and reading a name back into those parts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/run/run_limits.h"
#include "core/run/shaped.h"
// The most files a run has, and so the highest number a file has; the command line keeps the count
// at or below it, the window at or below kWindowCountRange.high.
inline constexpr int64_t kMostFiles = kCountRange.high;

// What the name of a file that a cancel cut short ends in, after its ".file".
inline constexpr std::u16string_view kPartialSuffix = u".partial";

// What a run's name head says beyond its type.
struct RunMarks {
    DataShape shape;        // random data's; plain for the other types
    int64_t per_folder = 0; // a folder tree of this many entries per folder; 0: one folder
    bool fill = false;      // the run filled a disk

    // A shape alone stands for the marks of a run in one folder.
    RunMarks(DataShape shape_ = {}, int64_t per_folder_ = 0, bool fill_ = false)
        : shape(shape_), per_folder(per_folder_), fill(fill_) {}
    bool operator==(const RunMarks&) const = default;
};

// The marks of a run's names: random data's shape (brought into range), the files per folder when
// the count makes a tree of them, and the fill mark.
RunMarks run_marks(int32_t files_type, DataShape shape, int64_t files_c, int64_t per_folder, bool fill);

// The name of file `number` of a run: prefix, "_", the number padded to the run's width, "_",
// the tag, ".file". The shape counts for random data (type 2) alone.
std::u16string file_name(int32_t files_type, int64_t files_c, int64_t number, const std::u16string& tag,
                         const RunMarks& marks = {});
// Appends `number` (0 or more) in decimal, padded with zeros to `width` digits.
void append_number(std::u16string& text, int64_t number, int width);
// A name is its head, the padded number and its tail; a run makes head and tail once.
// What every name of a run starts with: the prefix and its "_". Random data that is shaped names
// its shape in the prefix, "random_c40_d30_" for 40 % and 30 % duplicates, "random_c40_d30_u1m_"
// when the copies are whole units of 1 MiB ("u8k" to "u64m", "ufile"; 4 KiB has no mark). A run
// that filled a disk says so last: "non_compressible_fill__", "random_c40_d30_fill__"; its count is
// where the disk ended, and its last file may be shorter than the others. A run in a folder tree
// says how many entries each folder holds before that: "non_compressible_t1000__".
std::u16string file_name_head(int32_t files_type, const RunMarks& marks = {});
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
// each power of ten, up to 10 for kMostFiles).
int number_width(int64_t files_c);

// A run of more than per_folder files (2 or more) lies in a tree of folders: files only in the
// folders of the last level, at most per_folder entries in every folder, folders numbered from 0
// with the digits per_folder - 1 has, and as few levels as hold the count. File `number` (from 1)
// lies in the folder whose number has the digits (number - 1) / per_folder has in base
// per_folder, one level per digit: 1,000,000 files at 1,000 per folder are in "000" to "999",
// 10,000,000 in "000/000" to "009/999".
// The levels of folders a run has; 0 when its files all lie in its own folder.
int tree_depth(int64_t files_c, int64_t per_folder);
// The digits of the folders' numbers.
int folder_width(int64_t per_folder);
// The folder number at `level` (0 the top) of file `number` in a tree `depth` levels deep.
int64_t tree_folder(int64_t number, int64_t per_folder, int depth, int level);
// Appends the folders that lead to file `number`, each followed by `separator`; nothing for a
// depth of 0.
void append_tree_path(std::u16string& text, int64_t number, int64_t per_folder, int depth,
                      char16_t separator);
// A name a folder of some run's tree may have: 1 to 10 digits. The check walks such folders, and
// clean empties them of run files.
bool tree_folder_name(std::u16string_view name);
// A folder's name read back as its number: folder_width(per_folder) digits below per_folder.
std::optional<int64_t> parse_tree_folder(std::u16string_view name, int64_t per_folder);

// A name read back: the run it belongs to (type, width of the numbers, tag) and its number.
struct RunFileName {
    int32_t files_type;
    int64_t number;
    int32_t width;
    std::u16string tag;
    RunMarks marks; // what the head says beyond the type

    bool partial = false; // the file a cancelled run was writing: ".file.partial"
};

// The parts of a run file's name; none when the name is not one: head, 3 to 10 digits, "_", 16
// digits 0-8, ".file" (or ".file.partial"), and a number from 1 to kMostFiles. A shaped head's numbers are
// written as the run writes them (no leading zeros), within their ranges, and never the plain
// shape; it marks a unit only with copies (a canonical shape).
std::optional<RunFileName> parse_run_file_name(std::u16string_view name);
