// Arbitrary UTF-16 text through the line rules, and the same bytes as a whole catalogue through
// the section scanner.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/lang/catalogue.h"
#include "tools/lzari_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char16_t> text(size / 2 + 1, 0);
    std::memcpy(text.data(), data, size / 2 * 2);
    const char16_t* const end = text.data() + text.size();
    TextTable table;
    parse_section(text.data(), table);
    // Every slot must point inside the section, at a text terminated there.
    for (const char16_t* slot : table)
        if (slot != nullptr && (slot < text.data() || slot >= end || std::find(slot, end, u'\0') == end))
            __builtin_trap();

    const std::vector<uint8_t> stream = lzari_pack(data, size);
    unpack_catalogue_from(stream.data(), static_cast<int32_t>(stream.size()));
    if (catalogue_tables.language_count < 0 || catalogue_tables.language_count > kMaxLanguages)
        __builtin_trap();
    for (int n = 0; n < kTextSlots; ++n) {
        // Lookups read whatever the scanner indexed: under the sanitizers a stray pointer shows.
        for (const char16_t* t : {get_text(n), get_common_text(n)})
            if (t != nullptr)
                (void)std::char_traits<char16_t>::length(t);
    }
    return 0;
}
