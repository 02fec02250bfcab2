// Small helpers for building UTF-16 interface texts without wide printf.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

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

// UTF-16 to UTF-8, for terminals and POSIX file names; unpaired surrogates become U+FFFD.
std::string to_utf8(std::u16string_view text);
// UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::u16string from_utf8(std::string_view text);
// True when `text` is well-formed UTF-8 throughout (so from_utf8 and to_utf8 give it back unchanged).
bool is_utf8(std::string_view text);
