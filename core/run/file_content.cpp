// The bytes of a run's files, made and checked: generator data, random data (plain or shaped), zeros.
#include "core/run/file_content.h"

#include <algorithm>
#include <cstring>
#include <vector>

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

// One draw per file, and the sums of what lays out the data of the files before every stride-th one.
class SizeLayout {
public:
    // The sum's measure of one file of `kilobytes`: generator data's steps, or the whole units of
    // shaped data (bytes >> unit_bits); none for data that is not laid out along the run.
    enum class Measure { none, generator_steps, shaped_units };

    SizeLayout(const SizeRange& range, uint64_t tag_value, Measure measure, int32_t unit_bits,
               uint32_t highest)
        : draw_(range, tag_value), measure_(measure), unit_bits_(unit_bits) {
        if (measure_ == Measure::none)
            return;
        // At most 2^20 sums, and never more than 64 draws to reach a file from its sum.
        while ((highest >> stride_bits_) >= (uint32_t{1} << 20))
            ++stride_bits_;
        sums_.resize((static_cast<size_t>(highest) >> stride_bits_) + 1);
        uint64_t sum = 0;
        for (uint64_t number = 1; number <= highest; ++number) {
            if (((number - 1) & stride_mask()) == 0)
                sums_[(number - 1) >> stride_bits_] = sum;
            sum += measure_of(static_cast<uint32_t>(number));
        }
        if ((highest & stride_mask()) == 0)
            sums_[highest >> stride_bits_] = sum;
    }

    uint64_t own_bytes(uint32_t number) const { return draw_.kilobytes(number) * 1024; }

    // The measure of files 1 to number − 1.
    uint64_t before(uint32_t number) const {
        const uint32_t index = (number - 1) >> stride_bits_;
        uint64_t sum = index < sums_.size() ? sums_[index] : 0;
        const uint32_t from = index < sums_.size() ? index << stride_bits_ : 0;
        for (uint32_t k = from + 1; k < number; ++k)
            sum += measure_of(k);
        return sum;
    }

private:
    uint32_t stride_mask() const { return (uint32_t{1} << stride_bits_) - 1; }
    uint64_t measure_of(uint32_t number) const {
        const uint64_t bytes = own_bytes(number);
        return measure_ == Measure::generator_steps ? lcg_file_steps(bytes) : bytes >> unit_bits_;
    }

    SizeDraw draw_;
    Measure measure_;
    int32_t unit_bits_;
    int stride_bits_ = 6;
    std::vector<uint64_t> sums_; // entry j: the measure of files 1 to j × stride
};

void RunContent::set_sizes(const SizeRange& range, std::u16string_view tag, uint32_t highest) {
    sizes = range;
    layout = nullptr;
    if (!range.ranged()) {
        file_bytes = range.low_kb * 1024;
        return;
    }
    const bool shaped = files_type == kRandomData && !shape.plain();
    const SizeLayout::Measure measure = files_type == kGeneratorData ? SizeLayout::Measure::generator_steps
                                        : shaped                     ? SizeLayout::Measure::shaped_units
                                                                     : SizeLayout::Measure::none;
    layout = std::make_shared<const SizeLayout>(range, tag_number(tag).value_or(0), measure,
                                                shaped_unit_bits(shape), highest);
}

uint64_t RunContent::file_size(uint32_t number) const {
    if (!layout)
        return file_bytes;
    if (files_type == kRandomData && !shape.plain())
        number = static_cast<uint32_t>(shaped_source_file(random_seed, shape, static_cast<int32_t>(number)));
    return layout->own_bytes(number);
}

uint64_t RunContent::bytes_of_files(uint32_t first, uint32_t last) const {
    if (!layout)
        return last < first ? 0 : file_bytes * (last - uint64_t{first} + 1);
    uint64_t bytes = 0;
    for (uint64_t number = first; number <= last; ++number)
        bytes += file_size(static_cast<uint32_t>(number));
    return bytes;
}

uint64_t RunContent::generator_steps_before(uint32_t number) const {
    if (layout)
        return layout->before(number);
    return lcg_file_steps(file_bytes) * (number - uint64_t{1});
}

ShapedFileData RunContent::shaped_file(uint32_t number) const {
    if (!layout)
        return ShapedFileData(random_seed, shape, file_bytes, static_cast<int32_t>(number));
    const int32_t source = shaped_source_file(random_seed, shape, static_cast<int32_t>(number));
    const auto own = static_cast<uint32_t>(source);
    return ShapedFileData(random_seed, shape, source, layout->own_bytes(own), layout->before(own));
}

FileContent::FileContent(const RunContent& run, uint32_t number)
    : type_(run.files_type), shaped_(type_ == kRandomData && !run.shape.plain()),
      seed_known_(type_ != kGeneratorData || run.generator_seed_known), size_(run.file_size(number)),
      random_(run.random_seed, static_cast<int32_t>(number)),
      shaped_data_(shaped_ ? run.shaped_file(number) : ShapedFileData(0, {}, 0, 1)),
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
