// Tests of the settings file's path and integer rules and of the autostart command.
#include "core/rules/settings_rules.h"

#include <gtest/gtest.h>

#include "core/base/text.h"

namespace {

TEST(SettingsRules, PathReplacesFromTheLastDot) {
    const struct {
        const char16_t* exe_path;
        const char16_t* expected;
    } cases[] = {
        {u"C:\\Tools\\Pelmora.exe", u"C:\\Tools\\Pelmora.ini"},
        {u"C:\\Tools\\Pelmora.test.exe", u"C:\\Tools\\Pelmora.test.ini"},
        {u"C:\\Tools\\Pelmora", u"C:\\Tools\\Pelmora.ini"},  // no dot: appended
        {u"C:\\my.tools\\Pelmora", u"C:\\my.ini"},           // a folder's dot counts
        {u"C:\\Tools\\Pelmora.", u"C:\\Tools\\Pelmora.ini"}, // dot at the very end
        {u"C:\\Φάκελος\\文件夹.exe", u"C:\\Φάκελος\\文件夹.ini"},
        {u"", u".ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.exe_path));
        EXPECT_EQ(settings_path_for(c.exe_path), c.expected);
    }
}

TEST(SettingsRules, IntegersReadLikeStrtol) {
    const struct {
        const char16_t* text;
        int32_t default_value;
        int32_t expected;
    } cases[] = {
        {u"", 1024, 1024}, // present but empty: the default itself
        {u"", -3, -3},
        {u"12", 7, 12},
        {u"12abc", 7, 12},
        {u"abc", 7, 0}, // no leading digits: 0, not the default
        {u"-45", 7, -45},
        {u"+45", 7, 45},
        {u" \t\r\n\v\f8", 7, 8},
        {u"- 5", 7, 0},
        {u"-", 7, 0},
        {u"0x1F", 7, 0},
        {u"1 2", 7, 1},
        {u"007", 7, 7},
        {u"１２", 7, 0}, // full-width digits are not digits here
        {u"2147483647", 7, 2147483647},
        {u"2147483648", 7, 2147483647},
        {u"99999999999999999999999", 7, 2147483647},
        {u"-2147483648", 7, -2147483647 - 1},
        {u"-2147483649", 7, -2147483647 - 1},
        {u"-99999999999999999999999", 7, -2147483647 - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.text));
        EXPECT_EQ(settings_int_from_text(c.text, c.default_value), c.expected);
    }
}

TEST(SettingsRules, AutostartCommandQuotesThePath) {
    const struct {
        const char16_t* exe_path;
        const char16_t* expected;
    } cases[] = {
        {u"C:\\Tools\\Pelmora.exe", u"\"C:\\Tools\\Pelmora.exe\" -bg"},
        {u"D:\\Program Files\\Φάκελος\\Pelmora.exe", u"\"D:\\Program Files\\Φάκελος\\Pelmora.exe\" -bg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.exe_path));
        EXPECT_EQ(autostart_command(c.exe_path), c.expected);
    }
}

} // namespace
