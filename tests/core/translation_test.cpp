// Tests of translation files: decoding, loading, the completeness report and the template; and of
// the recommendation mail's texts.
#include "core/lang/translation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/base/text.h"
#include "core/lang/text_ids.h"
#include "core/rules/recommendation.h"
#include "tests/core/latin1.h"
#include "tests/core/shared_state.h"
#include "tests/core/test_files.h"

namespace {

// A multi-byte code page: a character cut in two would come out as two U+FFFD.
std::u16string utf8(std::string_view bytes) { return from_utf8(bytes); }

struct DecodeCase {
    const char* name;
    std::string bytes;
    AnsiDecoder decode;
    std::u16string expected;
};

TEST(DecodeTextFile, ByteOrderMarkChoosesUtf16AndEverythingElseIsTheCodePage) {
    const std::string long_line = std::string(1023, 'a') + "\xC3\xA4"; // "ä" across byte 1,024
    const DecodeCase cases[] = {
        {"utf16",
         std::string("\xFF\xFE"
                     "1\0=\0\xC4\0\r\0\n\0",
                     12),
         latin1, u"1=\u00C4\r\n"},
        {"utf16 odd last byte",
         std::string("\xFF\xFE"
                     "A\0B",
                     5),
         latin1, u"A"},
        {"utf16 zero characters dropped",
         std::string("\xFF\xFE"
                     "A\0\0\0B\0",
                     8),
         latin1, u"AB"},
        {"utf16 without a mark is 8-bit text", std::string("1\0=\0x\0", 6), latin1, u"1=x"},
        {"big-endian mark is 8-bit text",
         "\xFE\xFF"
         "A",
         latin1,
         u"\u00FE\u00FF"
         "A"},
        {"lone FF", "\xFF", latin1, u"\u00FF"},
        {"empty", "", latin1, u""},
        {"only the mark", "\xFF\xFE", latin1, u""},
        {"multi-byte character across a kilobyte", long_line, utf8, std::u16string(1023, u'a') + u"\u00E4"},
        // No translation is that long: the rest of the file is not read into memory.
        {"8-bit text past the limit", std::string(kMostTranslationBytes + 5, 'b'), latin1,
         std::u16string(kMostTranslationBytes, u'b')},
        {"utf16 past the limit", "\xFF\xFE" + std::string(kMostTranslationBytes, 'c'), latin1,
         std::u16string(kMostTranslationBytes / 2 - 1, u'\u6363')},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode_text_file(c.bytes, c.decode), c.expected);
    }
}

// English texts 10-29 ("e10" ...), an empty English 30 that counts for nothing.
class Completeness : public ::testing::Test {
protected:
    void SetUp() override {
        for (int n = 10; n < 30; ++n)
            texts_[n] = format_ascii("e%d", n);
        english_[30] = empty_;
        for (int n = 10; n < 30; ++n)
            english_[n] = texts_[n].data();
    }
    // A loaded table that has every English number except those in `missing`.
    void load_all_but(std::initializer_list<int> missing) {
        for (int n = 10; n < 30; ++n)
            loaded_[n] = texts_[n].data();
        for (const int n : missing)
            loaded_[n] = nullptr;
    }
    std::u16string texts_[kTextSlots];
    char16_t empty_[1] = {0};
    TextTable english_ = {};
    TextTable loaded_ = {};
};

TEST_F(Completeness, EverythingPresentIsOneHundredAlone) {
    load_all_but({});
    EXPECT_EQ(completeness_report(loaded_, english_), u"100 %");
}

TEST_F(Completeness, ANamedTranslationLeadsWithItsNameAsTheMenuShowsIt) {
    load_all_but({29});
    EXPECT_EQ(completeness_report(loaded_, english_, u"Persian\t\u0641\u0627\u0631\u0633\u06CC"),
              u"Persian\t\u2068\u0641\u0627\u0631\u0633\u06CC\u2069 / 95 %\n\nmiss:\n29=e29\n");
    EXPECT_EQ(completeness_report(loaded_, english_, u"Italian\tItaliano"),
              u"Italian\tItaliano / 95 %\n\nmiss:\n29=e29\n");
}

TEST_F(Completeness, TwelveMissingListNineThenDotsThenThree) {
    load_all_but({10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
    loaded_[21] = empty_; // an empty translation is missing too
    EXPECT_EQ(completeness_report(loaded_, english_),
              u"40 %\n\nmiss:\n10=e10\n11=e11\n12=e12\n13=e13\n14=e14\n15=e15\n16=e16\n17=e17\n18=e18\n"
              u"........\n19,20,21,");
}

TEST_F(Completeness, PercentIsTruncatedAndNumbersEnglishLacksDoNotCount) {
    load_all_but({29});
    loaded_[31] = texts_[12].data(); // extra numbers neither help nor hurt
    EXPECT_EQ(completeness_report(loaded_, english_), u"95 %\n\nmiss:\n29=e29\n");
    for (int n = 10; n < 27; ++n)
        english_[n] = nullptr;
    load_all_but({29}); // 2 of 3
    EXPECT_EQ(completeness_report(loaded_, english_), u"66 %\n\nmiss:\n29=e29\n");
    const TextTable none = {};
    EXPECT_EQ(completeness_report(loaded_, none), u"0 %") << "nothing to measure against";
}

class LoadedTranslation : public SharedState {
protected:
    void SetUp() override {
        SharedState::SetUp();
        ASSERT_TRUE(unpack_catalogue());
    }
};

TEST_F(LoadedTranslation, ATextHandedOutStaysValidAfterTheNextLoad) {
    install_translation(u"10=Ziel\r\n11=Los\r\n");
    const char16_t* first = get_text(10);
    EXPECT_EQ(std::u16string(first), u"Ziel");
    EXPECT_EQ(std::u16string(get_text(75)), u"Str:75?");
    install_translation(u"10=Cible\n");
    EXPECT_EQ(std::u16string(get_text(10)), u"Cible");
    EXPECT_EQ(std::u16string(get_text(11)), u"Str:11?") << "nothing of the earlier file is left";
    EXPECT_EQ(std::u16string(first), u"Ziel") << "the earlier text itself is untouched";
}

TEST_F(LoadedTranslation, LookupsOnAnotherThreadWhileFilesAreLoaded) {
    // Every load leaves a table behind, and files are large: memory stays bounded only if old
    // tables go, which must never happen under a copy in progress.
    const std::u16string padding = u"999=" + std::u16string(64 * 1024, u'p') + u"\n";
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            const std::u16string seen = text(kTextDestinationFolder);
            if (seen != u"Destination Folder" && seen.rfind(u"file ", 0) != 0 && seen != u"Str:10?")
                ADD_FAILURE() << "unexpected text";
        }
    });
    for (int i = 0; i < 300; ++i) {
        install_translation(padding + (i % 3 == 2 ? u"11=x\n" : u"10=file " + format_ascii("%d", i) + u"\n"));
        EXPECT_LE(kept_loaded_texts(), 2);
    }
    done = true;
    reader.join();
    EXPECT_EQ(text(kTextStart), u"x") << "the last file loaded";
    EXPECT_EQ(kept_loaded_texts(), 2) << "the last table and the one before it";
}

TEST_F(LoadedTranslation, TemplateHoldsTheEnglishSectionAsTheCatalogueHasIt) {
    EXPECT_EQ(translation_template_name(u"Pelmora 2.85"), u"translate_Pelmora_2.85.txt");
    EXPECT_EQ(translation_template_name(u" a  b "), u"translate__a__b_.txt");

    // The English section straight from the committed catalogue: from the LF after its mark line
    // up to the next mark.
    const std::vector<uint8_t> bytes = read_source_file("res/catalogue.txt");
    ASSERT_GT(bytes.size(), 2u);
    const std::u16string source =
        decode_text_file(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), latin1);
    const size_t mark = source.find(u"##=English\tEnglisch\r");
    ASSERT_NE(mark, std::u16string::npos);
    const size_t start = source.find(u'\r', mark) + 1;
    const std::u16string english = source.substr(start, source.find(u"##", start) - start);
    ASSERT_EQ(english.substr(0, 22), u"\n10=Destination Folder");

    const std::u16string text = translation_template_text();
    const std::u16string head =
        u"\r\nPlease don't forget! Write in e-mail subject: Strings for: Pelmora 2.85 and "
        u"Language Name : German / Deutsch \r\n\r\n" +
        std::u16string(get_common_text(25)) + u"\r\n\r\n##=English\tEnglisch\r\n\r\n";
    EXPECT_EQ(text, head + english + u"\r\n\r\n");
    EXPECT_NE(std::u16string(get_common_text(25)).find(u'\n'), std::u16string::npos) << "real line breaks";

    // Loaded back unchanged (as the file holds it, mark first), it is complete and English.
    std::string file = "\xFF\xFE";
    for (const char16_t unit : text)
        file += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    install_translation(decode_text_file(file, latin1));
    EXPECT_EQ(
        completeness_report(*loaded_translations.table.load(), catalogue_tables.language_texts[kEnglish]),
        u"100 %");
    EXPECT_EQ(std::u16string(get_text(kTextDestinationFolder)), u"Destination Folder");
    EXPECT_EQ(std::u16string(get_text(kTextMailBody)),
              std::u16string(catalogue_tables.language_texts[kEnglish][kTextMailBody]));
}

TEST(LanguageMenuItem, NamePercentAndSign) {
    EXPECT_EQ(language_menu_item(u"German\tDeutsch", 97), u"German\tDeutsch / 97 %");
    EXPECT_EQ(language_menu_item(u"X", 0), u"X / 0 %");
}

TEST(LanguageMenuItem, ANameInARightToLeftScriptIsIsolatedFromTheFigure) {
    // Without the isolates (U+2068 ... U+2069) the figure and the sign join the Arabic run and the
    // item reads "100 / <name> %".
    const struct {
        const char16_t* name;
        const char16_t* item;
    } cases[] = {
        {u"Persian\t\u0641\u0627\u0631\u0633\u06CC",
         u"Persian\t\u2068\u0641\u0627\u0631\u0633\u06CC\u2069 / 100 %"},
        {u"Arabic\t\u0627\u0644\u0644\u063A\u0629 \u0627\u0644\u0639\u0631\u0628\u064A\u0629",
         u"Arabic\t\u2068\u0627\u0644\u0644\u063A\u0629 \u0627\u0644\u0639\u0631\u0628\u064A\u0629\u2069 / "
         u"100 %"},
        {u"\u05E2\u05D1\u05E8\u05D9\u05EA", u"\u2068\u05E2\u05D1\u05E8\u05D9\u05EA\u2069 / 100 %"}, // no tab
        {u"\u0641\u0627\u0631\u0633\u06CC\tPersian",
         u"\u2068\u0641\u0627\u0631\u0633\u06CC\u2069\tPersian / 100 %"},
        // Left-to-right names stay as they are: some fonts draw the marks as boxes.
        {u"Greek\t\u03B5\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC",
         u"Greek\t\u03B5\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC / 100 %"},
        {u"Chinese-Simplified\t\u7B80\u4F53\u4E2D\u6587",
         u"Chinese-Simplified\t\u7B80\u4F53\u4E2D\u6587 / 100 %"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.name));
        EXPECT_EQ(language_menu_item(c.name, 100), c.item);
    }
}

TEST(TranslationName, TheFirstNameLineOfTheFile) {
    EXPECT_EQ(translation_name(u"\r\nx\r\n\r\n##=English\tEnglisch\r\n\r\n\n10=Destination Folder\r\n"),
              u"English\tEnglisch");
    EXPECT_EQ(translation_name(u"##=Persian\t\u0641\u0627\u0631\u0633\u06CC\n26=x\n##=Other\n"),
              u"Persian\t\u0641\u0627\u0631\u0633\u06CC");
    EXPECT_EQ(translation_name(u"; comment\r\n26=Programa\r\n"), u"") << "no name line";
    EXPECT_EQ(translation_name(u"x ##=inside a line\n"), u"") << "only at a line's start";
    EXPECT_EQ(translation_name(u"##=\r\n"), u"");
}

struct BodyCase {
    const char* name;
    std::u16string body_template;
    std::u16string expected;
};

TEST(Recommendation, BodyReplacesEveryPlaceholderAndTurnsEscapesIntoLineBreaks) {
    const BodyCase cases[] = {
        {"none", u"plain text", u"plain text"},
        {"several", u"#AP# #AP#|#DL##DL#|#IN#",
         u"Pelmora Pelmora|https://s/https://s/|https://s/?site=Freeware/Pelmora"},
        {"escapes", u"a\\r\\nb\\n\\\\x\\t", u"a\r\nb\n\\\\x\\t"},
        {"broken placeholders", u"#AP #IN", u"#AP #IN"},
        {"empty", u"", u""},
    };
    for (const BodyCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(recommendation_body(c.body_template, u"https://s/"), c.expected);
    }
}

TEST_F(LoadedTranslation, RecommendationFromTheEnglishTexts) {
    EXPECT_EQ(recommendation_subject(get_text(kTextMailSubject)), u"Juhuuuu I found #AP#! :Pelmora");
    const std::u16string body = recommendation_body(get_text(kTextMailBody), u"https://www.pelmora.example");
    EXPECT_EQ(body.find(u"#"), std::u16string::npos);
    const std::u16string page = u"https://www.pelmora.example?site=Freeware/Pelmora";
    EXPECT_NE(body.find(u" website: " + page + u"\r\n download: " + page + u"?Download=Pelmora\r\n"),
              std::u16string::npos);
}

} // namespace
