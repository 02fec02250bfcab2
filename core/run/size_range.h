// Sizes spread over a range: every file of a run gets its own size between a low and a high end, in
// whole kilobytes, drawn from the run's tag and the file's number alone, so a check works each size
// out again from the name. The draw is integer arithmetic only (no floating point of the C
// library), so every platform and compiler draws the same sizes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/run/tag.h"

// How sizes spread between the ends: log-uniform (as many files per doubling of the size, the usual
// shape of real data, and the default) or uniform (as many per kilobyte).
enum class SizeSpread : int32_t { log = 0, uniform = 1 };

// The most kilobytes a file has, as a fixed size takes it too (2 TiB less 1 KiB).
inline constexpr uint64_t kLargestSizeKb = 2147483647;

// A run's sizes: from low to high kilobytes, both included. A run of one size has no range.
struct SizeRange {
    uint64_t low_kb = 0;
    uint64_t high_kb = 0;
    SizeSpread spread = SizeSpread::log;

    bool ranged() const { return high_kb > low_kb; }
    // A range a run may have: low below high, high within kLargestSizeKb, and low at least 1 KB for
    // the log-uniform spread (whose sizes double from the low end).
    bool valid() const {
        return ranged() && high_kb <= kLargestSizeKb && (spread == SizeSpread::uniform || low_kb >= 1);
    }
    bool operator==(const SizeRange&) const = default;
};

// A spread as the command line and the results spell it: "log", "uniform".
std::string size_spread_text(SizeSpread spread);
std::optional<SizeSpread> parse_size_spread(std::string_view text);

// The sizes of one run's files: the range and the tag, with what the draw needs of them worked out
// once.
class SizeDraw {
public:
    // `tag_value`: the run's tag_number. A range that is not ranged draws its low end.
    SizeDraw(const SizeRange& range, uint64_t tag_value);
    // The size in kilobytes of file `number`: its place in the spread is splitmix64 of the tag and
    // the number.
    uint64_t kilobytes(uint64_t number) const;
    // The size `fraction` (of 2^64) of the way through the spread: uniform, low + floor(fraction ×
    // (high − low + 1) / 2^64); log-uniform, floor(low × ((high + 1) / low)^u) with u = fraction /
    // 2^64, in fixed point (log2 to 56 fractional bits, 2^x from tables of 62-bit constants).
    // Always within [low, high].
    uint64_t at(uint64_t fraction) const;

private:
    uint64_t low_;
    uint64_t high_;
    bool log_;
    uint64_t tag_value_;
    uint64_t span_; // log2((high + 1) / low), 56 fractional bits
};

// How a name marks a range, before the fill mark: "_s4k-1m" (log-uniform), "_su0k-64k" (uniform).
// Each end is written in the largest unit that holds it whole (k, m, g or t, lower case), so one
// range has one mark.
std::u16string size_range_mark(const SizeRange& range);
// The range a mark names, exactly as size_range_mark writes it, and a valid range; none otherwise.
std::optional<SizeRange> parse_size_range_mark(std::u16string_view mark);
// A size in kilobytes as the mark writes it: "4k", "1m", "3g", "1t".
std::u16string size_mark_text(uint64_t kilobytes);
