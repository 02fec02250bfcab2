// Reading sizes with units, exactly: the number is taken as a fraction of whole digits, so "1.1M"
// is 1,126.4 KB and refused rather than rounded.
#include "core/base/size_text.h"

namespace {

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// The unit's size in kilobytes; 0 for an unknown unit. "" and "k" are kilobytes.
int64_t unit_kilobytes(std::u16string_view unit) {
    std::u16string_view rest = unit;
    int64_t factor = 1;
    if (!rest.empty()) {
        switch (lower(rest.front())) {
        case u'k':
            factor = 1;
            break;
        case u'm':
            factor = int64_t{1} << 10;
            break;
        case u'g':
            factor = int64_t{1} << 20;
            break;
        case u't':
            factor = int64_t{1} << 30;
            break;
        default:
            return 0;
        }
        rest.remove_prefix(1);
    }
    if (rest.empty())
        return factor;
    if (unit.size() == 1)
        return 0;
    if (rest.size() == 2 && lower(rest[0]) == u'i' && lower(rest[1]) == u'b')
        return factor;
    return 0;
}

} // namespace

SizeText parse_size_text(std::u16string_view text, int64_t limit) {
    SizeText result;
    const bool negative = !text.empty() && text.front() == u'-';
    if (negative)
        text.remove_prefix(1);
    // The digits, with at most one point among them, as whole / 10^decimals; leading zeros are
    // skipped so they never count against the length.
    unsigned __int128 whole = 0;
    int digits = 0, decimals = 0;
    bool point = false, any = false;
    size_t i = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        // A point only between digits.
        if (c == u'.' && !point && any && i + 1 < text.size() && text[i + 1] >= u'0' && text[i + 1] <= u'9') {
            point = true;
            continue;
        }
        if (c < u'0' || c > u'9')
            break;
        any = true;
        if (whole == 0 && c == u'0' && !point)
            continue;
        if (++digits > 25)
            return result; // no size is that long
        whole = whole * 10 + static_cast<unsigned>(c - u'0');
        decimals += point ? 1 : 0;
    }
    if (!any)
        return result;
    const std::u16string_view unit = text.substr(i);
    const int64_t factor = unit_kilobytes(unit);
    if (factor == 0)
        return result;
    unsigned __int128 scale = 1;
    for (int d = 0; d < decimals; ++d)
        scale *= 10;
    const unsigned __int128 scaled = whole * static_cast<unsigned>(factor);
    if (scaled % scale != 0) {
        result.status = SizeText::Status::not_whole;
        return result;
    }
    const unsigned __int128 kilobytes = scaled / scale;
    if (negative) {
        result.status = SizeText::Status::negative;
        return result;
    }
    if (kilobytes > static_cast<unsigned __int128>(limit)) {
        result.status = SizeText::Status::too_large;
        return result;
    }
    result.status = SizeText::Status::ok;
    result.kilobytes = static_cast<int64_t>(kilobytes);
    return result;
}
