// What every byte of every file of a run is: the one place the writer makes a file's bytes from and
// the check compares a file's bytes against. A new type of data is a case here, plus its name in
// names.cpp; a new way of laying data out (a unit of duplicates, sizes that differ from file to
// file) changes RunContent and FileContent, and both the run and the check follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/run/file_type.h"
#include "core/run/lcg.h"
#include "core/run/random.h"
#include "core/run/shaped.h"
#include "core/run/size_range.h"

// What a run whose sizes differ keeps to answer any file's size and place at once; shared by every
// copy of its RunContent and never changed once made.
class SizeLayout;

// Everything the data of a run's files follows from.
struct RunContent {
    int32_t files_type = kGeneratorData; // a FileType; any other value is zeros
    DataShape shape;                     // random data's; plain for the other types
    uint64_t file_bytes = 0;             // the size of the run's files (a run of one size)
    uint64_t random_seed = 0;            // random data's, which its tag carries
    // Generator data: the generator's state before the run's first step. The check does not know
    // it (the tag does not carry it) and follows the chain of words instead.
    uint32_t generator_seed = 0;
    bool generator_seed_known = true;

    // Sizes over a range (set_sizes): each file's own size, from the range and the tag.
    SizeRange sizes;
    std::shared_ptr<const SizeLayout> layout;

    // Gives the run sizes over `range`, drawn through its `tag`, for files up to `highest`, which
    // are all the numbers file_size() and the places of the data are asked for afterwards. Random
    // data needs its seed and shape, and generator data nothing more, set before. Generator data
    // and shaped random data lay their data out by the sizes of all files before each one: a table
    // of those sums every 64 files or more (at most 2^20 entries, 8 MiB) is made here, one draw per
    // file up to `highest`. A range that is not ranged leaves file_bytes as the one size.
    void set_sizes(const SizeRange& range, std::u16string_view tag, uint32_t highest);
    bool ranged() const { return layout != nullptr; }

    // The size of file `number` (from 1). With whole files copied, a copy has its source's size.
    uint64_t file_size(uint32_t number) const;
    // The bytes of files first to last together.
    uint64_t bytes_of_files(uint32_t first, uint32_t last) const;
    // Zeros: the writer clears its buffers once, and fill leaves them alone.
    bool zeros() const { return files_type != kGeneratorData && files_type != kRandomData; }
    // Generator data: the generator's steps before the first chunk of file `number`. Each file
    // takes 1,024 steps per chunk, also for a short last chunk.
    uint64_t generator_steps_before(uint32_t number) const;
    // Shaped random data: its data, with the run's units before it.
    ShapedFileData shaped_file(uint32_t number) const;
};

// Bytes of a file from this many bytes before an offset on are needed to check the bytes at the
// offset (generator data whose seed is not known checks each word against the one before it).
inline constexpr size_t kContentContextBytes = 4;
// Room the check needs for making expected data: random data is made 64 KiB at a time and compared
// while both sides are in the processor's cache.
inline constexpr size_t kContentScratchBytes = 16 * kChunkBytes;

// The bytes of one file, from any chunk on; quickest when each call goes on where the last one
// ended, as a run writes and a check reads.
class FileContent {
public:
    FileContent(const RunContent& run, uint32_t number);

    // The file's size.
    uint64_t size() const { return size_; }
    // Fills `chunks` whole chunks from chunk `first` on (past the end of the file, the data goes on
    // as if the file were longer). Zeros leave `out` alone: it was cleared when it was made.
    void fill(uint64_t first, uint8_t* out, size_t chunks);

    // How many bytes before `offset` check() needs to see: kContentContextBytes or none.
    size_t context_bytes(uint64_t offset) const;
    // Where `size` bytes found at `offset` of the file first differ from the file's bytes: an index
    // into `data`, or `size` when all of them are right. The context_bytes(offset) bytes before
    // `data` must be readable and are taken as found. `scratch` holds kContentScratchBytes.
    size_t check(uint64_t offset, const uint8_t* data, size_t size, uint8_t* scratch);

private:
    const int32_t type_;
    const bool shaped_;
    const bool seed_known_;
    const uint64_t size_;
    RandomFileData random_;
    ShapedFileData shaped_data_;
    const uint32_t start_; // generator data: the state before the file's first step
    uint32_t state_;
    uint64_t next_ = 0; // the chunk state_ stands before
};
