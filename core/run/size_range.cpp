// Sizes over a range: the draw in fixed point, and the range's mark in names.
#include "core/run/size_range.h"

#include <algorithm>
#include <array>
#include <bit>

#include "core/run/random.h"

namespace {

using u128 = unsigned __int128;

// Mantissas are 62-bit fractions above 1 (one is 2^62), logarithms 56-bit fractions: a log2 of at
// most 42 (sizes below 2^31 KB, plus one) keeps 8 bits for its whole part.
constexpr int kMantissaBits = 62;
constexpr uint64_t kOne = uint64_t{1} << kMantissaBits;
constexpr int kLogBits = 56;
constexpr uint64_t kLogFraction = (uint64_t{1} << kLogBits) - 1;
constexpr int kTableBytes = kLogBits / 8;

uint64_t multiply(uint64_t a, uint64_t b) {
    return static_cast<uint64_t>((static_cast<u128>(a) * b + (kOne >> 1)) >> kMantissaBits);
}

// floor(sqrt(x)), by Newton's steps from above.
uint64_t square_root(u128 x) {
    u128 root = u128{1} << 64;
    for (;;) {
        const u128 next = (root + x / root) / 2;
        if (next >= root)
            return static_cast<uint64_t>(root);
        root = next;
    }
}

// 2^x for x a fraction of kLogBits bits, one table per byte of x: entry v of table b is
// 2^(v / 2^(8 (b + 1))), the product of the constants 2^(2^-k) of v's bits.
struct PowerTables {
    std::array<std::array<uint64_t, 256>, kTableBytes> entries;

    PowerTables() {
        // roots[k] = 2^(2^-k): each the square root of the one before, from 2.
        std::array<uint64_t, kLogBits + 1> roots{};
        roots[0] = 2 * kOne;
        for (int k = 1; k <= kLogBits; ++k)
            roots[static_cast<size_t>(k)] =
                square_root(static_cast<u128>(roots[static_cast<size_t>(k - 1)]) << kMantissaBits);
        for (int b = 0; b < kTableBytes; ++b)
            for (uint32_t v = 0; v < 256; ++v) {
                uint64_t product = kOne;
                for (int bit = 0; bit < 8; ++bit)
                    if ((v >> (7 - bit) & 1) != 0)
                        product = multiply(product, roots[static_cast<size_t>(8 * b + bit + 1)]);
                entries[static_cast<size_t>(b)][v] = product;
            }
    }
};

// 2^x as a mantissa, for x a fraction of kLogBits bits.
uint64_t power_of_two(uint64_t x) {
    static const PowerTables tables;
    uint64_t result = kOne;
    for (int b = 0; b < kTableBytes; ++b)
        result =
            multiply(result, tables.entries[static_cast<size_t>(b)][x >> (kLogBits - 8 * (b + 1)) & 0xFF]);
    return result;
}

// log2(x) for x >= 1, with kLogBits fractional bits (rounded down): the whole part from the highest
// bit, then one bit per squaring of the mantissa.
uint64_t log_two(uint64_t x) {
    const int whole = 63 - std::countl_zero(x);
    uint64_t mantissa = whole <= kMantissaBits ? x << (kMantissaBits - whole) : x >> (whole - kMantissaBits);
    uint64_t fraction = 0;
    for (int bit = 0; bit < kLogBits; ++bit) {
        mantissa = static_cast<uint64_t>((static_cast<u128>(mantissa) * mantissa) >> kMantissaBits);
        fraction <<= 1;
        if (mantissa >= 2 * kOne) {
            mantissa >>= 1;
            fraction |= 1;
        }
    }
    return static_cast<uint64_t>(whole) << kLogBits | fraction;
}

constexpr std::array<char16_t, 4> kMarkUnits = {u'k', u'm', u'g', u't'};

} // namespace

std::string size_spread_text(SizeSpread spread) { return spread == SizeSpread::uniform ? "uniform" : "log"; }

std::optional<SizeSpread> parse_size_spread(std::string_view text) {
    if (text == "log")
        return SizeSpread::log;
    if (text == "uniform")
        return SizeSpread::uniform;
    return std::nullopt;
}

SizeDraw::SizeDraw(const SizeRange& range, uint64_t tag_value)
    : low_(range.low_kb), high_(std::max(range.high_kb, range.low_kb)),
      log_(range.spread == SizeSpread::log && range.low_kb > 0), tag_value_(tag_value),
      span_(log_ ? log_two(high_ + 1) - log_two(low_) : 0) {}

uint64_t SizeDraw::at(uint64_t fraction) const {
    if (!log_)
        return low_ + static_cast<uint64_t>((static_cast<u128>(fraction) * (high_ - low_ + 1)) >> 64);
    // low × 2^(u × log2((high + 1) / low)): the exponent's whole part shifts, its fraction is looked up.
    const auto exponent = static_cast<uint64_t>((static_cast<u128>(fraction) * span_) >> 64);
    const auto whole = static_cast<int>(exponent >> kLogBits);
    const u128 size =
        (static_cast<u128>(low_) * power_of_two(exponent & kLogFraction)) << whole >> kMantissaBits;
    return static_cast<uint64_t>(std::clamp<u128>(size, low_, high_));
}

uint64_t SizeDraw::kilobytes(uint64_t number) const {
    // The tag and the number each spread through their own odd multiplier, so that neighbouring
    // tags do not give neighbouring files' sizes.
    uint64_t state = tag_value_ * 0xD1B54A32D192ED03u + number * kSplitmix64Gamma;
    return at(splitmix64_next(state));
}

std::u16string size_mark_text(uint64_t kilobytes) {
    size_t unit = 0;
    while (unit + 1 < kMarkUnits.size() && kilobytes != 0 && kilobytes % 1024 == 0) {
        kilobytes /= 1024;
        ++unit;
    }
    std::u16string text;
    for (const char c : std::to_string(kilobytes))
        text += static_cast<char16_t>(c);
    return text + kMarkUnits[unit];
}

std::u16string size_range_mark(const SizeRange& range) {
    return (range.spread == SizeSpread::uniform ? u"_su" : u"_s") + size_mark_text(range.low_kb) + u"-" +
           size_mark_text(range.high_kb);
}

std::optional<SizeRange> parse_size_range_mark(std::u16string_view mark) {
    SizeRange range;
    if (mark.starts_with(u"_su")) {
        range.spread = SizeSpread::uniform;
        mark.remove_prefix(3);
    } else if (mark.starts_with(u"_s")) {
        mark.remove_prefix(2);
    } else {
        return std::nullopt;
    }
    const size_t dash = mark.find(u'-');
    if (dash == std::u16string_view::npos)
        return std::nullopt;
    // Each end: digits and a unit, read as far as they fit, then compared with how the mark writes
    // the value, which refuses leading zeros, other units and anything after.
    const auto end_of = [](std::u16string_view text) -> std::optional<uint64_t> {
        if (text.size() < 2 || text.size() > 12)
            return std::nullopt;
        uint64_t value = 0;
        for (const char16_t digit : text.substr(0, text.size() - 1)) {
            if (digit < u'0' || digit > u'9')
                return std::nullopt;
            value = value * 10 + static_cast<uint64_t>(digit - u'0');
        }
        const auto unit = std::find(kMarkUnits.begin(), kMarkUnits.end(), text.back());
        if (unit == kMarkUnits.end())
            return std::nullopt;
        for (auto u = kMarkUnits.begin(); u != unit; ++u)
            value *= 1024;
        if (value > kLargestSizeKb || size_mark_text(value) != text)
            return std::nullopt;
        return value;
    };
    const std::optional<uint64_t> low = end_of(mark.substr(0, dash));
    const std::optional<uint64_t> high = end_of(mark.substr(dash + 1));
    if (!low || !high)
        return std::nullopt;
    range.low_kb = *low;
    range.high_kb = *high;
    if (!range.valid())
        return std::nullopt;
    return range;
}
