// Run file names: made by the run, read back by the check.
#include "core/run/names.h"

#include "core/run/file_type.h"

namespace {

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

std::u16string file_name_head(int32_t files_type) {
    return files_type == kGeneratorData ? u"non_compressible__"
           : files_type == kRandomData  ? u"random__"
                                        : u"maximal_compressible__";
}

std::u16string file_name(int32_t files_type, int32_t files_c, int32_t number, const std::u16string& tag) {
    std::u16string name = file_name_head(files_type);
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

std::optional<RunFileName> parse_run_file_name(std::u16string_view name) {
    constexpr std::u16string_view kEnd = u".file";
    for (const int32_t files_type : {kGeneratorData, kZeros, kRandomData}) {
        const std::u16string head = file_name_head(files_type);
        if (!name.starts_with(head))
            continue;
        std::u16string_view rest = name.substr(head.size());
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
        int32_t number = 0;
        for (const char16_t digit : rest) {
            if (digit < u'0' || digit > u'9')
                return std::nullopt;
            number = number * 10 + (digit - u'0');
        }
        for (const char16_t digit : tag)
            if (digit < u'0' || digit > u'8')
                return std::nullopt;
        if (number < 1)
            return std::nullopt;
        return RunFileName{files_type, number, static_cast<int32_t>(rest.size()), std::u16string(tag)};
    }
    return std::nullopt;
}
