// A stand-in for the system's 8-bit code page in tests: every byte is the character of that number.
#pragma once

#include <string>
#include <string_view>

inline std::u16string latin1(std::string_view bytes) {
    std::u16string text;
    for (const char byte : bytes)
        text += static_cast<char16_t>(static_cast<unsigned char>(byte));
    return text;
}
