// Tests of the string catalogue: the built-in text, the section and line rules, the lookups.
#include "core/lang/catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/lang/text_ids.h"
#include "core/lang/translation.h"
#include "tests/core/shared_state.h"
#include "tools/lzari_encoder.h"

namespace {

std::u16string str(const char16_t* text) { return text != nullptr ? text : u"(none)"; }

// Packs a catalogue text (a byte-order mark is put in front) and unpacks it as the catalogue.
void unpack_text(const std::u16string& text) {
    std::vector<uint8_t> bytes{0xFF, 0xFE};
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    const std::vector<uint8_t> stream = lzari_pack(bytes.data(), bytes.size());
    ASSERT_TRUE(unpack_catalogue_from(stream.data(), static_cast<int32_t>(stream.size())));
}

class Catalogue : public SharedState {};

class BuiltInCatalogue : public Catalogue {
protected:
    void SetUp() override {
        SharedState::SetUp();
        ASSERT_TRUE(unpack_catalogue());
    }
};

TEST_F(BuiltInCatalogue, HasTwelveNamedLanguagesAndAnEmptyThirteenth) {
    const char16_t* const names[] = {
        u"German\tDeutsch",   u"English\tEnglisch",     u"Russian\tP\u0443\u0441\u0441\u043a\u0438\u0439",
        u"Swedish\tSvenska",  u"French\tFrançaise",     u"Romanian\tRomână",
        u"Greek\tελληνικά",   u"Persian\tفارسی",        u"Traditional Chinese\t香港繁體中文",
        u"Italian\tItaliano", u"Arabic\tاللغة العربية", u"Chinese-Simplified\t简体中文",
    };
    ASSERT_EQ(catalogue_tables.language_count, 13);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(str(catalogue_tables.language_names[i]), names[i]) << "language " << i;
    EXPECT_EQ(catalogue_tables.language_names[12], nullptr);
    for (int n = 0; n < kTextSlots; ++n)
        EXPECT_EQ(catalogue_tables.language_texts[12][n], nullptr) << n;

    EXPECT_EQ(catalogue_tables.language_percent[kEnglish], 100);
    EXPECT_EQ(catalogue_tables.language_percent[0], 94) << "German lacks 70-75: 111 of 117 texts";
    for (int i = 2; i < 12; ++i)
        EXPECT_EQ(catalogue_tables.language_percent[i], 100) << "language " << i;
    EXPECT_EQ(catalogue_tables.language_percent[12], 0);
}

TEST_F(BuiltInCatalogue, LooksUpTheActiveLanguageWithEnglishAsFallback) {
    const struct {
        int32_t language;
        int number;
        std::u16string expected;
    } cases[] = {
        {1, kTextDestinationFolder, u"Destination Folder"},
        {1, 17, u"Open folder after completion "},
        {1, kTextRandomDataType, u"Random File (not compressible)"},
        {0, kTextRandomDataType, u"Zufallsdatei (nicht komprimierbar)"},
        {11, kTextRandomDataType, u"随机文件（不可压缩）"},
        {1, kTextCancelQuestion, u"Do you want to cancel the current operation? "},
        {0, kTextFileSize, u"Größe der Dateien"},
        {0, kTextExit, u"Exit"}, // German lacks 70-75
        {0, kTextFaq, u"FAQ"},
        {12, kTextStart, u"Start"}, // the nameless, empty 13th language
        {99, kTextMore, u"More"},
        {-1, kTextMore, u"More"},
        {1, 0, u"(none)"}, // numbers English lacks show nothing
        {1, 255, u"(none)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("language " + std::to_string(c.language) + ", number " + std::to_string(c.number));
        language_index = c.language;
        EXPECT_EQ(str(get_text(c.number)), c.expected);
    }
    EXPECT_EQ(get_text(-1), nullptr);
    EXPECT_EQ(get_text(256), nullptr);
}

TEST_F(BuiltInCatalogue, CommonTextsCarryRealLineBreaksLanguageTextsKeepTheirEscapes) {
    EXPECT_EQ(str(get_common_text(kCommonNameAndVersion)), u"Pelmora 2.85");
    EXPECT_EQ(str(get_common_text(kCommonVersionLine)), u"%s 2.85  %s 001");
    const std::u16string request = str(get_common_text(kCommonTranslationRequest));
    EXPECT_EQ(
        request.rfind(
            u"Please send the string list back to me, with your language, for people in your country\r\n", 0),
        0u);
    EXPECT_EQ(request.find(u'\\'), std::u16string::npos);
    EXPECT_EQ(request.substr(request.size() - 2), u"\r\n");
    EXPECT_NE(str(get_common_text(kCommonCopyrightButton)).find(u"# %s"), std::u16string::npos);
    // The thank-you pages are the site addresses followed by the program's path.
    EXPECT_EQ(str(get_common_text(kCommonSiteGerman)), u"https://www.pelmora.example/de");
    EXPECT_EQ(str(get_common_text(kCommonSite)), u"https://www.pelmora.example");
    EXPECT_EQ(str(get_common_text(kCommonThanksGerman)),
              str(get_common_text(kCommonSiteGerman)) + u"/?Microsoft/Pelmora/Danke");
    EXPECT_EQ(str(get_common_text(kCommonThanks)),
              str(get_common_text(kCommonSite)) + u"/?Microsoft/Pelmora/Thanks");

    const std::u16string body = str(get_text(kTextMailBody));
    EXPECT_EQ(body.rfind(u"Hello,\\r\\n \\r\\n I found #AP# . ", 0), 0u);
    EXPECT_EQ(body.find(u'\r'), std::u16string::npos);
}

TEST_F(BuiltInCatalogue, EnglishSectionIsTheUncutText) {
    ASSERT_FALSE(catalogue_tables.english_section.empty());
    EXPECT_EQ(catalogue_tables.english_section.front(), u'\n')
        << "it begins at the LF that ended the mark's line";
    EXPECT_NE(catalogue_tables.english_section.find(u"\n10=Destination Folder\r\n"), std::u16string::npos);
    EXPECT_NE(catalogue_tables.english_section.find(u"\r\n75=FAQ\r\n"), std::u16string::npos);
    EXPECT_EQ(catalogue_tables.english_section.find(u"Zielordner"), std::u16string::npos);
}

TEST(ParseSection, AppliesTheLineRules) {
    std::u16string text = u"TranslatorName=Somebody\r\n"
                          u";Contact=someone@example.org\r\n"
                          u"012=twelve\r\n"
                          u" 7=seven with a leading blank\n"
                          u"+8=plus\r\n"
                          u"300=too large\r\n"
                          u"-1=negative\r\n"
                          u"99999999999999999999=overflow\r\n"
                          u"5==starts with equals\r\n"
                          u"no equals sign here\r\n"
                          u"9=\r\n"
                          u"3=first\r\n"
                          u"3=second\r\n"
                          u"6abc=digits then letters\r\n"
                          u"4=the last line has no line end";
    char16_t stale[] = u"stale";
    TextTable table;
    std::fill(std::begin(table), std::end(table),
              static_cast<char16_t*>(stale)); // left over from an earlier section
    parse_section(text.data(), table);

    const struct {
        int number;
        std::u16string expected;
    } cases[] = {
        {0, u"someone@example.org"}, // header and comment lines land on 0, the later one wins
        {12, u"twelve"},
        {7, u"seven with a leading blank"},
        {8, u"plus"},
        {5, u"=starts with equals"},
        {9, u""}, // present, empty
        {3, u"second"},
        {6, u"digits then letters"},
        {4, u"(none)"},
        {1, u"(none)"},
        {255, u"(none)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(table[c.number]), c.expected) << "number " << c.number;
    int present = 0;
    for (const char16_t* slot : table)
        present += slot != nullptr;
    EXPECT_EQ(present, 8) << "nothing else may be set";

    parse_section(nullptr, table);
    for (const char16_t* slot : table)
        EXPECT_EQ(slot, nullptr);
}

TEST_F(Catalogue, SectionMarksAndEmptyTexts) {
    std::u16string text = u"preamble\r\n##\r\n19=Name\\r\\nwith a break\\x\r\n##\r\n##\r\n";
    text += u"##=Zero\tNull\r\n10=\r\n11=Eins\r\n";
    text += u"##=One\tEins\r\n10=Ten\r\n11=Eleven\r\n";
    text += u"##\r\n12=twelve in a nameless language\r\n";
    for (int i = 3; i < 40; ++i) // more marks than the 32 languages a catalogue holds
        text += u"##=Extra " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) + u"\r\n10=x\r\n";
    unpack_text(text);

    EXPECT_EQ(catalogue_tables.language_count, 32);
    EXPECT_EQ(str(catalogue_tables.language_names[1]), u"One\tEins");
    EXPECT_EQ(catalogue_tables.language_names[2], nullptr);
    EXPECT_EQ(str(catalogue_tables.language_texts[2][12]), u"twelve in a nameless language");
    EXPECT_EQ(str(get_common_text(19)), u"Name\r\nwith a break\\x");

    language_index = 0;
    EXPECT_EQ(str(get_text(10)), u"") << "an empty text is shown as it is, not the English one";
    EXPECT_EQ(str(get_text(11)), u"Eins");
    EXPECT_EQ(catalogue_tables.language_percent[0], 50) << "the empty text counts as missing";
    EXPECT_EQ(catalogue_tables.language_percent[1], 100);
    EXPECT_EQ(catalogue_tables.language_percent[2], 0);
}

TEST_F(Catalogue, DegenerateCataloguesLoadSafely) {
    const struct {
        const char* name;
        std::u16string text;
        int32_t languages;
    } cases[] = {
        {"no marks at all", u"just a preamble\r\n10=x\r\n", 0},
        {"a name that runs to the end of the text", u"##\r\n##\r\n##\r\n##=Endless", 1},
        {"a mark at the very end", u"##\r\n##\r\n##\r\n##", 1},
        {"no English texts", u"##\r\n##\r\n##\r\n##=A\tB\r\n10=a\r\n##=C\tD\r\n", 2},
        {"a text too large for the block", u"##\r\n##\r\n##\r\n##=Big\r\n" + std::u16string(60000, u'x'), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unpack_text(c.text);
        EXPECT_EQ(catalogue_tables.language_count, c.languages);
        EXPECT_EQ(get_text(10), nullptr) << "none of them has an English text";
        for (int i = 0; i < catalogue_tables.language_count; ++i)
            EXPECT_EQ(catalogue_tables.language_percent[i], 0) << "nothing to measure against";
    }

    ASSERT_TRUE(unpack_catalogue_from(nullptr, 0));
    EXPECT_EQ(catalogue_tables.language_count, 0);
    EXPECT_EQ(get_text(10), nullptr);
    EXPECT_EQ(get_common_text(19), nullptr);
    EXPECT_TRUE(catalogue_tables.english_section.empty());
}

TEST_F(BuiltInCatalogue, LoadedTranslationReplacesEveryLanguage) {
    install_translation(u"10=Ziel\r\n11=Los\r\n");
    language_index = 0;
    EXPECT_EQ(str(get_text(10)), u"Ziel");
    const char16_t* missing = get_text(75);
    EXPECT_EQ(str(missing), u"Str:75?") << "not the English FAQ";
    EXPECT_EQ(str(get_text(13)), u"Str:13?");
    EXPECT_EQ(str(missing), u"Str:75?") << "a later miss must not change a text already handed out";
    EXPECT_EQ(str(get_text(0)), u"Str:0?");

    loaded_translations.active = false;
    EXPECT_EQ(str(get_text(kTextFaq)), u"FAQ");
}

} // namespace
