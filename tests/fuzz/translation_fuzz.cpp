// A translation file of any bytes: decoded as the program decodes it, parsed, and measured
// against the built-in English texts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/lang/catalogue.h"
#include "core/lang/translation.h"
#include "tests/core/latin1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool unpacked = unpack_catalogue();
    if (!unpacked)
        __builtin_trap();
    std::u16string text =
        decode_text_file(std::string_view(reinterpret_cast<const char*>(data), size), latin1);
    if (text.find(u'\0') != std::u16string::npos)
        __builtin_trap();
    TextTable table;
    parse_section(text.data(), table);
    for (const char16_t* slot : table)
        if (slot != nullptr && (slot < text.data() || slot > text.data() + text.size()))
            __builtin_trap();
    const std::u16string report = completeness_report(table, catalogue_tables.language_texts[kEnglish]);
    // "N %" with N from 0 to 100 always leads the report.
    const size_t blank = report.find(u' ');
    if (blank == 0 || blank > 3 || report.compare(blank, 2, u" %") != 0)
        __builtin_trap();
    const int percent = std::stoi(std::string(report.begin(), report.begin() + static_cast<long>(blank)));
    if (percent < 0 || percent > 100)
        __builtin_trap();
    return 0;
}
