// Default interface language.
#include "core/lang/language_default.h"

#include "core/lang/catalogue.h"

int32_t language_for_identifier(uint16_t identifier) {
    const int primary = identifier & 0x3FF;
    const int sublanguage = identifier >> 10;
    switch (primary) {
    case 0x07:
        return 0;
    case 0x09:
        return 1;
    case 0x19:
        return 2;
    case 0x1D:
        return 3;
    case 0x0C:
        return 4;
    case 0x18:
        return 5;
    case 0x08:
        return 6;
    case 0x29:
        return 7;
    case 0x04:
        return sublanguage == 1 ? 8 : kEnglish; // only Chinese of Taiwan: Traditional Chinese
    default:
        return kEnglish;
    }
}

int32_t language_for_locale(std::string_view locale) {
    const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
    const std::string_view region = locale.size() > language.size() && locale[language.size()] == '_'
                                        ? locale.substr(language.size() + 1, 2)
                                        : std::string_view();
    static constexpr struct {
        std::string_view code;
        uint16_t primary;
    } kLanguages[] = {{"de", 0x07}, {"en", 0x09}, {"ru", 0x19}, {"sv", 0x1D}, {"fr", 0x0C},
                      {"ro", 0x18}, {"el", 0x08}, {"fa", 0x29}, {"zh", 0x04}};
    for (const auto& entry : kLanguages) {
        if (entry.code != language)
            continue;
        // Chinese sublanguages: 1 Taiwan, 2 mainland, 3 Hong Kong, 4 Singapore, 5 Macau.
        uint16_t sublanguage = 1;
        if (entry.primary == 0x04)
            sublanguage = region == "TW"   ? 1
                          : region == "HK" ? 3
                          : region == "SG" ? 4
                          : region == "MO" ? 5
                                           : 2;
        return language_for_identifier(static_cast<uint16_t>(sublanguage << 10 | entry.primary));
    }
    return kEnglish;
}
