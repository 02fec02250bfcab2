// Tests of the default interface language.
#include "core/lang/language_default.h"

#include <gtest/gtest.h>

namespace {

TEST(LanguageDefault, FromWindowsIdentifiers) {
    const struct {
        uint16_t identifier;
        int32_t expected;
    } cases[] = {
        {0x0407, 0}, {0x0807, 0}, {0x0409, 1}, {0x0809, 1}, {0x0419, 2}, {0x041D, 3},
        {0x040C, 4}, {0x0418, 5}, {0x0408, 6}, {0x0429, 7}, {0x0404, 8}, // Chinese of Taiwan
        {0x0804, 1},                                                     // mainland Chinese starts in English
        {0x0C04, 1}, {0x0410, 1}, {0x0401, 1}, {0x0000, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(language_for_identifier(c.identifier), c.expected) << std::hex << c.identifier;
}

TEST(LanguageDefault, FromPosixLocales) {
    const struct {
        const char* locale;
        int32_t expected;
    } cases[] = {
        {"de_DE.UTF-8", 0}, {"de", 0},          {"en_GB.UTF-8", 1}, {"ru_RU", 2},
        {"sv_SE.UTF-8", 3}, {"fr_CA", 4},       {"ro_RO", 5},       {"el_GR", 6},
        {"fa_IR", 7},       {"zh_TW.UTF-8", 8}, {"zh_CN.UTF-8", 1}, {"zh_HK", 1},
        {"it_IT", 1},       {"C", 1},           {"POSIX", 1},       {"", 1},
        {"de@euro", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(language_for_locale(c.locale), c.expected) << c.locale;
}

} // namespace
