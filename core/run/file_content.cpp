// The bytes of a run's files, made and checked: generator data, random data (plain or shaped), zeros.
#include "core/run/file_content.h"

#include <algorithm>
#include <cstring>

namespace {

uint64_t load64(const uint8_t* p) {
    uint64_t value;
    std::memcpy(&value, p, 8);
    return value;
}

// The first byte that is not zero, or size. Blocks of 64 bytes or-ed together without a branch, so
// the compiler vectorises them; a block with something in it is looked at byte by byte.
size_t first_nonzero(const uint8_t* data, size_t size) {
    size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        uint64_t any = 0;
        for (size_t k = 0; k < 64; k += 8)
            any |= load64(data + i + k);
        if (any != 0)
            break;
    }
    for (; i < size; ++i)
        if (data[i] != 0)
            return i;
    return size;
}

// The first byte where a and b differ, or size; the same way.
size_t first_difference(const uint8_t* a, const uint8_t* b, size_t size) {
    size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        uint64_t any = 0;
        for (size_t k = 0; k < 64; k += 8)
            any |= load64(a + i + k) ^ load64(b + i + k);
        if (any != 0)
            break;
    }
    for (; i < size; ++i)
        if (a[i] != b[i])
            return i;
    return size;
}

} // namespace

uint64_t RunContent::file_size(uint32_t number) const {
    (void)number; // every file of a run has the same size
    return file_bytes;
}

uint64_t RunContent::generator_steps_before(uint32_t number) const {
    return lcg_file_steps(file_bytes) * (number - uint64_t{1});
}

FileContent::FileContent(const RunContent& run, uint32_t number)
    : type_(run.files_type), shaped_(type_ == kRandomData && !run.shape.plain()),
      seed_known_(type_ != kGeneratorData || run.generator_seed_known), size_(run.file_size(number)),
      random_(run.random_seed, static_cast<int32_t>(number)),
      shaped_data_(run.random_seed, run.shape, run.file_bytes, static_cast<int32_t>(number)),
      start_(type_ == kGeneratorData ? lcg_jump(run.generator_steps_before(number))(run.generator_seed) : 0),
      state_(start_) {}

void FileContent::fill(uint64_t first, uint8_t* out, size_t chunks) {
    if (shaped_) {
        shaped_data_.fill(first, out, chunks);
    } else if (type_ == kRandomData) {
        random_.fill(first, out, chunks);
    } else if (type_ == kGeneratorData) {
        if (first != next_)
            state_ = lcg_jump(first * kChunkWords)(start_);
        lcg_fill(state_, out, chunks);
        next_ = first + chunks;
    }
}

size_t FileContent::context_bytes(uint64_t offset) const {
    return !seed_known_ && offset > 0 ? kContentContextBytes : 0;
}

size_t FileContent::check(uint64_t offset, const uint8_t* data, size_t size, uint8_t* scratch) {
    if (type_ != kGeneratorData && type_ != kRandomData)
        return first_nonzero(data, size);
    if (!seed_known_) {
        // Every word follows from the one before it: the first one of the file is taken as found,
        // and where it should lie the check of the run's first words tells.
        const size_t before = context_bytes(offset);
        const size_t at = lcg_chain_break(data - before, before + size);
        return at < before + size ? at - before : size;
    }
    for (size_t done = 0; done < size;) {
        const size_t piece = std::min(size - done, kContentScratchBytes);
        fill((offset + done) / kChunkBytes, scratch, (piece + kChunkBytes - 1) / kChunkBytes);
        const size_t at = first_difference(data + done, scratch, piece);
        if (at < piece)
            return done + at;
        done += piece;
    }
    return size;
}
