// UTF-8 <-> UTF-16 conversion for the terminal and the POSIX file system, and reading texts.
#include "core/base/text.h"

#include <algorithm>
#include <cstdint>
#include <limits>

std::string to_utf8(std::u16string_view text) {
    // File names are mostly ASCII: copy those in one go.
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; }))
        return std::string(text.begin(), text.end());
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

// The character that starts at text[i] and how many bytes it takes, or -1 for a byte that starts
// no well-formed character.
int next_character(std::string_view text, size_t i, uint32_t& c) {
    const auto b = static_cast<unsigned char>(text[i]);
    const int extra = b < 0x80             ? 0
                      : (b & 0xE0) == 0xC0 ? 1
                      : (b & 0xF0) == 0xE0 ? 2
                      : (b & 0xF8) == 0xF0 ? 3
                                           : -1;
    c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
    bool valid = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
    for (int k = 1; valid && k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
        valid = (next & 0xC0) == 0x80;
        c = c << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (!valid || c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return -1;
    return extra + 1;
}

} // namespace

bool is_utf8(std::string_view text) {
    uint32_t c;
    for (size_t i = 0; i < text.size();) {
        const int length = next_character(text, i, c);
        if (length < 0)
            return false;
        i += static_cast<size_t>(length);
    }
    return true;
}

std::u16string from_utf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t c;
        const int length = next_character(text, i, c);
        if (length < 0) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += static_cast<size_t>(length);
    }
    return out;
}

std::u16string fill_placeholders(std::u16string_view text,
                                 std::initializer_list<std::u16string_view> values) {
    std::u16string out(text);
    size_t at = 0;
    for (const std::u16string_view value : values) {
        at = out.find(u"%s", at);
        if (at == std::u16string::npos)
            break;
        out.replace(at, 2, value);
        at += value.size();
    }
    return out;
}

bool reads_right_to_left(std::u16string_view text) {
    for (const char16_t c : text) {
        if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF))
            return true;
        // Letters of the scripts written left to right: Latin, Greek, Cyrillic and the rest of the
        // alphabets, and the East Asian scripts; digits, blanks and punctuation below decide nothing.
        const bool ascii_letter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
        if (ascii_letter || (c >= 0x00C0 && c < 0x0590 && c != 0x00D7 && c != 0x00F7) ||
            (c >= 0x0900 && c < 0x2000) || (c >= 0x2E80 && c < 0xD800) || (c >= 0xF900 && c < 0xFB1D))
            return false;
    }
    return false;
}

std::optional<int64_t> whole_number(std::u16string_view text) {
    const size_t sign = text.size() > 1 && text[0] == u'-' ? 1 : 0;
    if (sign == text.size())
        return std::nullopt;
    int64_t value = 0;
    size_t digits = 0;
    for (size_t k = sign; k < text.size(); ++k) {
        if (text[k] < u'0' || text[k] > u'9')
            return std::nullopt;
        if (value == 0 && text[k] == u'0')
            continue;
        if (++digits > 18)
            return std::nullopt;
        value = value * 10 + (text[k] - u'0');
    }
    return sign == 1 ? -value : value;
}

int32_t leading_int32(std::u16string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == u' ' || (text[at] >= u'\t' && text[at] <= u'\r')))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-'))
        negative = text[at++] == u'-';
    // Counted in 64 bits and held just past the 32-bit range, so the limit stays exact.
    constexpr int64_t kBeyond = int64_t{std::numeric_limits<int32_t>::max()} + 2;
    int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at)
        magnitude = std::min(magnitude * 10 + (text[at] - u'0'), kBeyond);
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}
