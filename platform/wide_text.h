// Crossing between the core's UTF-16 text (char16_t) and Win32's wide text (wchar_t): the one
// place where the two are cast into each other. Windows only.
#pragma once

#include <cstddef>
#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text is UTF-16");

inline const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline const wchar_t* wide(const std::u16string& text) { return wide(text.c_str()); }
// A buffer the system fills.
inline wchar_t* wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

inline const char16_t* utf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
// A wide text as the core's text; none gives an empty one.
inline std::u16string from_wide(const wchar_t* text) {
    return text != nullptr ? std::u16string(utf16(text)) : std::u16string();
}
// The first `length` units of a wide text.
inline std::u16string from_wide(const wchar_t* text, size_t length) {
    return std::u16string(utf16(text), length);
}
