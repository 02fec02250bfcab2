// Crossing between the core's UTF-16 text (char16_t) and Win32's wide text (wchar_t).
#pragma once

#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text is UTF-16");

inline const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline std::u16string from_wide(const wchar_t* text) {
    return text != nullptr ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}
