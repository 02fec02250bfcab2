// Tags to numbers and back.
#include "core/run/tag.h"

std::u16string tag_text(uint64_t number) {
    std::u16string tag(16, u'0');
    for (size_t i = 16; i-- > 0; number /= 9)
        tag[i] = static_cast<char16_t>(u'0' + number % 9);
    return tag;
}

std::optional<uint64_t> tag_number(std::u16string_view tag) {
    if (tag.size() != 16)
        return std::nullopt;
    uint64_t value = 0;
    for (const char16_t digit : tag) {
        if (digit < u'0' || digit > u'8')
            return std::nullopt;
        value = value * 9 + static_cast<uint64_t>(digit - u'0');
    }
    return value;
}
