// Small helpers for building UTF-16 interface texts without wide printf.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// An ASCII text (digits, signs, fixed English words) as UTF-16.
inline std::u16string widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// printf into a short ASCII text, for numbers.
template <typename... Args> std::u16string format_ascii(const char* format, Args... args) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    return widen(
        std::string_view(buffer, n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1)));
}

// A catalogue lookup shown as text: none shows as empty.
inline std::u16string text_of(const char16_t* text) { return text != nullptr ? text : u""; }

// Every occurrence of `from` replaced by `to`.
inline std::u16string replace_all(std::u16string_view text, std::u16string_view from,
                                  std::u16string_view to) {
    std::u16string out;
    size_t start = 0;
    for (size_t at = text.find(from); !from.empty() && at != std::u16string_view::npos;
         at = text.find(from, start)) {
        out.append(text.substr(start, at - start)).append(to);
        start = at + from.size();
    }
    return out.append(text.substr(start));
}

// The parts one after another with `separator` between them.
inline std::u16string join_texts(const std::vector<std::u16string>& parts, std::u16string_view separator) {
    std::u16string joined;
    for (const std::u16string& part : parts) {
        if (!joined.empty())
            joined += separator;
        joined += part;
    }
    return joined;
}

// Each "%s" of a catalogue text filled with the next of `values`, in order; the values themselves
// are never searched, and the text is never a format.
std::u16string fill_placeholders(std::u16string_view text, std::initializer_list<std::u16string_view> values);

// True when the first letter of `text` that has a direction of its own (digits and punctuation
// have none) is one of a script written from right to left: Hebrew, Arabic, Syriac, Thaana, N'Ko
// and their presentation forms. A translation's own words tell how its lines read.
bool reads_right_to_left(std::u16string_view text);

// The leading decimal number of text as the C library's base-10 strtol reads it (white space, a
// sign, digits; no digits give 0), limited to the 32-bit range. By hand: wcstol would read 32-bit
// wchar_t on Linux, and its long is 64 bits there.
int32_t leading_int32(std::u16string_view text);

// A whole decimal number, optionally negative, with nothing before or after it. Leading zeros
// are only zeros (no octal); more than 18 significant digits are out of every range here.
std::optional<int64_t> whole_number(std::u16string_view text);

// UTF-16 to UTF-8, for terminals and POSIX file names; unpaired surrogates become U+FFFD.
std::string to_utf8(std::u16string_view text);
// UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::u16string from_utf8(std::string_view text);
// True when `text` is well-formed UTF-8 throughout (so from_utf8 and to_utf8 give it back unchanged).
bool is_utf8(std::string_view text);
