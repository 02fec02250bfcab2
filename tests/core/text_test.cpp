// Filling a catalogue text's placeholders.
#include "core/base/text.h"

#include <gtest/gtest.h>

namespace {

TEST(FillPlaceholders, EachPlaceholderTakesTheNextValueAndValuesAreNeverSearched) {
    const struct {
        std::u16string text;
        std::u16string first, second;
        std::u16string expected;
    } cases[] = {
        {u"%s 2.85  %s 001", u"Version", u"Build", u"Version 2.85  Build 001"},
        {u"# %s", u"Donate", u"", u"# Donate"},
        {u"no placeholder", u"a", u"b", u"no placeholder"},
        {u"%s only one", u"a", u"b", u"a only one"},
        {u"%s and %s and %s", u"a", u"b", u"a and b and %s"}, // more placeholders than values
        {u"%s|%s", u"%s", u"x", u"%s|x"},                     // a value holding "%s" stays as it is
        {u"%d %s", u"a", u"b", u"%d a"},                      // only "%s" is a placeholder
        {u"", u"a", u"b", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.text));
        EXPECT_EQ(fill_placeholders(c.text, {c.first, c.second}), c.expected);
    }
    EXPECT_EQ(fill_placeholders(u"%s", {}), u"%s");
}

} // namespace
