// Run file names: made by the run, read back by the check.
#include "core/run/names.h"

#include <algorithm>
#include <utility>

#include "core/run/file_type.h"
#include "core/run/tag.h"

namespace {

// What ends a fill run's head, before its "__".
constexpr std::u16string_view kFillMark = u"_fill";
// What marks the files per folder of a run in a folder tree, before the fill mark.
constexpr std::u16string_view kTreeMark = u"_t";

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
static_assert(kTagChecks << 32 <= kTagNumbers && (kTagChecks + 1) << 32 > kTagNumbers,
              "the largest check that keeps the tag within 16 digits of base 9");

uint64_t tag_check(uint32_t start) {
    uint32_t z = start ^ 0x5BD1E995u;
    z = (z ^ z >> 16) * 0x85EBCA6Bu;
    z = (z ^ z >> 13) * 0xC2B2AE35u;
    return (z ^ z >> 16) % kTagChecks;
}

} // namespace

int number_width(int64_t files_c) {
    int width = 3;
    for (int64_t bound = 1000; files_c >= bound && width < 19; bound *= 10)
        ++width;
    return width;
}

void append_number(std::u16string& text, int64_t number, int width) {
    char16_t digits[20];
    int n = 0;
    for (uint64_t value = static_cast<uint64_t>(number); value != 0 || n == 0; value /= 10)
        digits[n++] = static_cast<char16_t>(u'0' + value % 10);
    for (int pad = n; pad < width; ++pad)
        text += u'0';
    while (n > 0)
        text += digits[--n];
}

int tree_depth(int64_t files_c, int64_t per_folder) {
    if (per_folder < 2 || files_c <= per_folder)
        return 0;
    // Folders of the last level, then the levels above them until one folder holds them all.
    int depth = 1;
    for (int64_t folders = (files_c + per_folder - 1) / per_folder; folders > per_folder;
         folders = (folders + per_folder - 1) / per_folder)
        ++depth;
    return depth;
}

int folder_width(int64_t per_folder) {
    int width = 1;
    for (int64_t highest = per_folder - 1; highest >= 10; highest /= 10)
        ++width;
    return width;
}

int64_t tree_folder(int64_t number, int64_t per_folder, int depth, int level) {
    int64_t folder = (number - 1) / per_folder;
    for (int below = level + 1; below < depth; ++below)
        folder /= per_folder;
    return folder % per_folder;
}

void append_tree_path(std::u16string& text, int64_t number, int64_t per_folder, int depth,
                      char16_t separator) {
    const int width = folder_width(per_folder);
    for (int level = 0; level < depth; ++level) {
        append_number(text, tree_folder(number, per_folder, depth, level), width);
        text += separator;
    }
}

bool tree_folder_name(std::u16string_view name) {
    return !name.empty() && name.size() <= 10 &&
           std::all_of(name.begin(), name.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

std::optional<int64_t> parse_tree_folder(std::u16string_view name, int64_t per_folder) {
    if (name.size() != static_cast<size_t>(folder_width(per_folder)))
        return std::nullopt;
    int64_t value = 0;
    for (const char16_t digit : name) {
        if (digit < u'0' || digit > u'9')
            return std::nullopt;
        value = value * 10 + (digit - u'0');
    }
    if (value >= per_folder)
        return std::nullopt;
    return value;
}

std::u16string file_name_tail(const std::u16string& tag) { return u"_" + tag + u".file"; }

std::u16string file_name_head(int32_t files_type, const RunMarks& marks) {
    std::u16string head;
    const DataShape& shape = marks.shape;
    if (files_type == kRandomData && !shape.plain()) {
        head = u"random_c";
        append_number(head, shape.compress, 1);
        head += u"_d";
        append_number(head, shape.dedupe, 1);
        if (shape.unit != kDedupeUnitSmallest)
            head += u"_u" + unit_mark(shape.unit);
    } else {
        head = files_type == kGeneratorData ? u"non_compressible"
               : files_type == kRandomData  ? u"random"
                                            : u"maximal_compressible";
    }
    if (marks.sizes.ranged())
        head += size_range_mark(marks.sizes);
    if (marks.per_folder != 0) {
        head += kTreeMark;
        append_number(head, marks.per_folder, 1);
    }
    if (marks.fill)
        head += kFillMark;
    return head + u"__";
}

RunMarks run_marks(int32_t files_type, DataShape shape, int64_t files_c, int64_t per_folder, bool fill,
                   const SizeRange& sizes) {
    return {files_type == kRandomData ? shape_in_range(shape) : DataShape{},
            tree_depth(files_c, per_folder) > 0 ? per_folder : 0, fill, sizes.ranged() ? sizes : SizeRange{}};
}

std::u16string file_name(int32_t files_type, int64_t files_c, int64_t number, const std::u16string& tag,
                         const RunMarks& marks) {
    std::u16string name = file_name_head(files_type, marks);
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

std::u16string generator_tag(uint32_t start) { return tag_text(tag_check(start) << 32 | start); }

std::optional<uint32_t> generator_tag_start(std::u16string_view tag) {
    const std::optional<uint64_t> value = tag_number(tag);
    if (!value)
        return std::nullopt;
    const auto start = static_cast<uint32_t>(*value);
    if (*value >> 32 != tag_check(start))
        return std::nullopt;
    return start;
}

namespace {

// A name whose head carries no mark after its type's (and its shape's).
std::optional<RunFileName> parse_unmarked_name(std::u16string_view name) {
    constexpr std::u16string_view kEnd = u".file";
    RunFileName parsed{};
    size_t head_size = 0;
    if (const auto shaped = parse_shaped_head(name)) {
        parsed.files_type = kRandomData;
        parsed.marks.shape = shaped->first;
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
    if (rest.size() < 3 || rest.size() > static_cast<size_t>(number_width(kMostFiles)))
        return std::nullopt;
    for (const char16_t digit : rest) {
        if (digit < u'0' || digit > u'9')
            return std::nullopt;
        parsed.number = parsed.number * 10 + (digit - u'0');
    }
    for (const char16_t digit : tag)
        if (digit < u'0' || digit > u'8')
            return std::nullopt;
    if (parsed.number < 1 || parsed.number > kMostFiles)
        return std::nullopt;
    parsed.width = static_cast<int32_t>(rest.size());
    parsed.tag = tag;
    return parsed;
}

// The files per folder a tree mark at the end of `head` gives ("_t" and a number of 2 or more,
// without a leading zero), and the mark's length; none when there is no such mark.
std::optional<std::pair<int64_t, size_t>> tree_mark(std::u16string_view head) {
    size_t digits = 0;
    while (digits < head.size() && digits < 11 && head[head.size() - 1 - digits] >= u'0' &&
           head[head.size() - 1 - digits] <= u'9')
        ++digits;
    const std::u16string_view number = head.substr(head.size() - digits);
    if (digits == 0 || digits > 10 || number[0] == u'0' ||
        !head.substr(0, head.size() - digits).ends_with(kTreeMark))
        return std::nullopt;
    int64_t value = 0;
    for (const char16_t digit : number)
        value = value * 10 + (digit - u'0');
    if (value < 2 || value > kMostFiles)
        return std::nullopt;
    return std::pair{value, kTreeMark.size() + digits};
}

} // namespace

std::optional<RunFileName> parse_run_file_name(std::u16string_view name) {
    // Every head ends at the name's first "__": the type's head, then the marks, the fill mark
    // last.
    const size_t head_end = name.find(u"__");
    if (head_end == std::u16string_view::npos)
        return std::nullopt;
    std::u16string_view head = name.substr(0, head_end);
    RunMarks marks;
    if (head.ends_with(kFillMark)) {
        marks.fill = true;
        head.remove_suffix(kFillMark.size());
    }
    if (const auto tree = tree_mark(head)) {
        marks.per_folder = tree->first;
        head.remove_suffix(tree->second);
    }
    // No head of a type or shape has a part that starts with "s": one that does is a size mark.
    if (const size_t mark = head.rfind(u'_');
        mark != std::u16string_view::npos && mark + 1 < head.size() && head[mark + 1] == u's') {
        const std::optional<SizeRange> sizes = parse_size_range_mark(head.substr(mark));
        if (!sizes)
            return std::nullopt;
        marks.sizes = *sizes;
        head = head.substr(0, mark);
    }
    if (!marks.fill && marks.per_folder == 0 && !marks.sizes.ranged())
        return parse_unmarked_name(name);
    std::u16string unmarked(head);
    unmarked += name.substr(head_end);
    std::optional<RunFileName> parsed = parse_unmarked_name(unmarked);
    if (parsed) {
        marks.shape = parsed->marks.shape;
        parsed->marks = marks;
    }
    return parsed;
}
