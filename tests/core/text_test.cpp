// Filling a catalogue text's placeholders, and the direction a text reads in.
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

TEST(ReadsRightToLeft, TheFirstLetterWithADirectionDecides) {
    const struct {
        std::u16string text;
        bool right_to_left;
    } cases[] = {
        {u"Folder", false},
        {u"المجلد", true},         // Arabic
        {u"پوشه", true},           // Persian
        {u"תיקייה", true},         // Hebrew
        {u"4.50 MB سليمة", false}, // a filled value before the words: Latin letters first
        {u"4.50 % سليمة", true},   // digits and signs decide nothing
        {u"ﻣﻠﻒ", true},            // Arabic presentation forms
        {u"Ordner", false},        // German
        {u"Папка", false},         // Russian
        {u"Φάκελος", false},       // Greek
        {u"資料夾", false},        // Chinese
        {u"Dossier « خ »", false},
        {u"12 345 ×÷ -", false}, // no letter at all: as the rest of the interface
        {u"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.text));
        EXPECT_EQ(reads_right_to_left(c.text), c.right_to_left);
    }
}

} // namespace
