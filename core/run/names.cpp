// Run file names: made by the run, read back by the check.
#include "core/run/names.h"

#include <utility>

#include "core/run/file_type.h"

namespace {

// What ends a fill run's head, before its "__".
constexpr std::u16string_view kFillMark = u"_fill";

// Digits 0 to n - 1 for the tag (splitmix32 steps: the same seed gives the same tag on every
// platform, which the C library's rand would not).
class TagDigits {
public:
    explicit TagDigits(uint32_t seed) : state_(seed) {}
    int below(int n) {
        if (n == 0)
            return 0;
        uint32_t z = state_ += 0x9E3779B9u;
        z = (z ^ z >> 16) * 0x85EBCA6Bu;
        z = (z ^ z >> 13) * 0xC2B2AE35u;
        return static_cast<int>((z ^ z >> 16) % static_cast<uint32_t>(n));
    }

private:
    uint32_t state_;
};

// A number of 1 to `most_digits` digits without a leading zero (but "0" itself), then `end`; moves
// `text` past both. None when the text does not start so.
std::optional<int32_t> shape_number(std::u16string_view& text, size_t most_digits, std::u16string_view end) {
    size_t digits = 0;
    int32_t value = 0;
    while (digits < text.size() && digits <= most_digits && text[digits] >= u'0' && text[digits] <= u'9')
        value = value * 10 + (text[digits++] - u'0');
    if (digits == 0 || digits > most_digits || (digits > 1 && text[0] == u'0') ||
        !text.substr(digits).starts_with(end))
        return std::nullopt;
    text.remove_prefix(digits + end.size());
    return value;
}

// How a name marks a dedupe unit larger than 4 KiB: "8k" to "512k", "1m" to "64m", "file".
std::u16string unit_mark(int32_t unit) {
    std::u16string mark;
    for (const char c : dedupe_unit_text(unit))
        mark += static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return mark;
}

// The unit a mark names, written as unit_mark writes it; none for anything else (4 KiB has no mark).
std::optional<int32_t> unit_of_mark(std::u16string_view mark) {
    if (mark == unit_mark(kDedupeUnitFile))
        return kDedupeUnitFile;
    for (int32_t unit = kDedupeUnitSmallest + 1; unit <= kDedupeUnitLargest; ++unit)
        if (mark == unit_mark(unit))
            return unit;
    return std::nullopt;
}

// The shape a shaped head names, and the head's length; none when the name has no such head.
std::optional<std::pair<DataShape, size_t>> parse_shaped_head(std::u16string_view name) {
    constexpr std::u16string_view kStart = u"random_c";
    if (!name.starts_with(kStart))
        return std::nullopt;
    std::u16string_view rest = name.substr(kStart.size());
    const std::optional<int32_t> compress = shape_number(rest, 3, u"_d");
    if (!compress)
        return std::nullopt;
    const std::optional<int32_t> dedupe = shape_number(rest, 2, u"_");
    if (!dedupe)
        return std::nullopt;
    DataShape shape{*compress, *dedupe};
    if (rest.starts_with(u"u")) {
        const size_t end = rest.find(u"__");
        if (end == std::u16string_view::npos)
            return std::nullopt;
        const std::optional<int32_t> unit = unit_of_mark(rest.substr(1, end - 1));
        if (!unit)
            return std::nullopt;
        shape.unit = *unit;
        rest.remove_prefix(end + 1);
    }
    if (!rest.starts_with(u"_"))
        return std::nullopt;
    rest.remove_prefix(1);
    if (!shape.canonical() || shape.plain())
        return std::nullopt;
    return std::pair{shape, name.size() - rest.size()};
}

// The check of a generator tag: the number above its start, below 9^16 / 2^32.
constexpr uint64_t kTagChecks = 431439;
static_assert(kTagChecks << 32 <= 1853020188851841ull && (kTagChecks + 1) << 32 > 1853020188851841ull,
              "the largest check that keeps the tag within 16 digits of base 9");

uint64_t tag_check(uint32_t start) {
    uint32_t z = start ^ 0x5BD1E995u;
    z = (z ^ z >> 16) * 0x85EBCA6Bu;
    z = (z ^ z >> 13) * 0xC2B2AE35u;
    return (z ^ z >> 16) % kTagChecks;
}

} // namespace

int number_width(int32_t files_c) {
    return files_c < 1000 ? 3 : files_c < 10000 ? 4 : files_c < 100000 ? 5 : files_c < 1000000 ? 6 : 7;
}

void append_number(std::u16string& text, int32_t number, int width) {
    char16_t digits[12];
    int n = 0;
    for (uint32_t value = static_cast<uint32_t>(number); value != 0 || n == 0; value /= 10)
        digits[n++] = static_cast<char16_t>(u'0' + value % 10);
    for (int pad = n; pad < width; ++pad)
        text += u'0';
    while (n > 0)
        text += digits[--n];
}

std::u16string file_name_tail(const std::u16string& tag) { return u"_" + tag + u".file"; }

std::u16string file_name_head(int32_t files_type, DataShape shape, bool fill, const SizeRange& sizes) {
    if (fill || sizes.ranged()) {
        const std::u16string head = file_name_head(files_type, shape);
        return head.substr(0, head.size() - 2) + (sizes.ranged() ? size_range_mark(sizes) : u"") +
               (fill ? std::u16string(kFillMark) : u"") + u"__";
    }
    if (files_type == kRandomData && !shape.plain()) {
        std::u16string head = u"random_c";
        append_number(head, shape.compress, 1);
        head += u"_d";
        append_number(head, shape.dedupe, 1);
        if (shape.unit != kDedupeUnitSmallest)
            head += u"_u" + unit_mark(shape.unit);
        return head + u"__";
    }
    return files_type == kGeneratorData ? u"non_compressible__"
           : files_type == kRandomData  ? u"random__"
                                        : u"maximal_compressible__";
}

std::u16string file_name(int32_t files_type, int32_t files_c, int32_t number, const std::u16string& tag,
                         DataShape shape, bool fill, const SizeRange& sizes) {
    std::u16string name = file_name_head(files_type, shape, fill, sizes);
    append_number(name, number, number_width(files_c));
    return name + file_name_tail(tag);
}

std::u16string make_tag(uint32_t seed) {
    TagDigits digits(seed);
    std::u16string tag;
    for (int i = 0; i < 16; ++i)
        tag += static_cast<char16_t>(u'0' + digits.below(9));
    return tag;
}

std::u16string generator_tag(uint32_t start) {
    uint64_t value = tag_check(start) << 32 | start;
    std::u16string tag(16, u'0');
    for (size_t i = 16; i-- > 0; value /= 9)
        tag[i] = static_cast<char16_t>(u'0' + value % 9);
    return tag;
}

std::optional<uint32_t> generator_tag_start(std::u16string_view tag) {
    if (tag.size() != 16)
        return std::nullopt;
    uint64_t value = 0;
    for (const char16_t digit : tag) {
        if (digit < u'0' || digit > u'8')
            return std::nullopt;
        value = value * 9 + static_cast<uint64_t>(digit - u'0');
    }
    const auto start = static_cast<uint32_t>(value);
    if (value >> 32 != tag_check(start))
        return std::nullopt;
    return start;
}

namespace {

// A name whose head carries no fill mark.
std::optional<RunFileName> parse_unmarked_name(std::u16string_view name) {
    constexpr std::u16string_view kEnd = u".file";
    RunFileName parsed{};
    size_t head_size = 0;
    if (const auto shaped = parse_shaped_head(name)) {
        parsed.files_type = kRandomData;
        parsed.shape = shaped->first;
        head_size = shaped->second;
    } else {
        for (const int32_t files_type : {kGeneratorData, kZeros, kRandomData})
            if (const std::u16string head = file_name_head(files_type); name.starts_with(head)) {
                parsed.files_type = files_type;
                head_size = head.size();
            }
        if (head_size == 0)
            return std::nullopt;
    }
    std::u16string_view rest = name.substr(head_size);
    parsed.partial = rest.ends_with(kPartialSuffix);
    if (parsed.partial)
        rest.remove_suffix(kPartialSuffix.size());
    if (rest.size() < 3 + 1 + 16 + kEnd.size() || !rest.ends_with(kEnd))
        return std::nullopt;
    rest.remove_suffix(kEnd.size());
    const std::u16string_view tag = rest.substr(rest.size() - 16);
    rest.remove_suffix(16);
    if (rest.back() != u'_')
        return std::nullopt;
    rest.remove_suffix(1);
    if (rest.size() < 3 || rest.size() > 7)
        return std::nullopt;
    for (const char16_t digit : rest) {
        if (digit < u'0' || digit > u'9')
            return std::nullopt;
        parsed.number = parsed.number * 10 + (digit - u'0');
    }
    for (const char16_t digit : tag)
        if (digit < u'0' || digit > u'8')
            return std::nullopt;
    if (parsed.number < 1)
        return std::nullopt;
    parsed.width = static_cast<int32_t>(rest.size());
    parsed.tag = tag;
    return parsed;
}

} // namespace

std::optional<RunFileName> parse_run_file_name(std::u16string_view name) {
    // Every head ends at the name's first "__"; a fill run's has "_fill" before it, a run of sizes
    // over a range its size mark before that.
    const size_t head_end = name.find(u"__");
    if (head_end == std::u16string_view::npos)
        return parse_unmarked_name(name);
    std::u16string_view head = name.substr(0, head_end);
    const bool fill = head.ends_with(kFillMark);
    if (fill)
        head.remove_suffix(kFillMark.size());
    // No head of a type or shape has a part that starts with "s": one that does is a size mark.
    std::optional<SizeRange> sizes;
    if (const size_t mark = head.rfind(u'_');
        mark != std::u16string_view::npos && mark + 1 < head.size() && head[mark + 1] == u's') {
        sizes = parse_size_range_mark(head.substr(mark));
        if (!sizes)
            return std::nullopt;
        head = head.substr(0, mark);
    }
    if (!fill && !sizes)
        return parse_unmarked_name(name);
    std::u16string unmarked(head);
    unmarked += name.substr(head_end);
    std::optional<RunFileName> parsed = parse_unmarked_name(unmarked);
    if (parsed) {
        parsed->fill = fill;
        parsed->sizes = sizes.value_or(SizeRange{});
    }
    return parsed;
}
