// The language menu's and the program menu's items, read back from the menus themselves.
#include "win/menu_items.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/lang/catalogue.h"
#include "platform/wide_text.h"

namespace {

struct Item {
    UINT id;
    std::wstring text;
    UINT state;
    UINT type;
};

std::vector<Item> items_of(HMENU menu) {
    std::vector<Item> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[512] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 512;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        items.push_back({info.wID, text, info.fState, info.fType});
    }
    return items;
}

class MenuItems : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(unpack_catalogue()); }
    void TearDown() override { language_index = kEnglish; }
};

TEST_F(MenuItems, LanguageMenuListsTheTwelveNamedLanguagesAndTheActiveOneIsDisabled) {
    for (const int active : {kEnglish, 0, 12}) {
        SCOPED_TRACE(active);
        language_index = active;
        const PopupMenu menu = make_language_menu();
        ASSERT_TRUE(menu);
        const std::vector<Item> items = items_of(menu.get());
        ASSERT_EQ(items.size(), 15u) << "12 languages (not the nameless 13th), separator, two commands";
        for (int i = 0; i < 12; ++i) {
            // A name in a right-to-left script is isolated, so that the figure stays after it.
            std::wstring name(wide(catalogue_tables.language_names[i]));
            if (i == 7 || i == 10)
                name.replace(name.find(L'\t') + 1, std::wstring::npos,
                             L"\u2068" + name.substr(name.find(L'\t') + 1) + L"\u2069");
            EXPECT_EQ(items[i].id, 10u + i);
            EXPECT_EQ(items[i].text,
                      name + L" / " + std::to_wstring(catalogue_tables.language_percent[i]) + L" %");
            const UINT marks = MFS_CHECKED | MFS_DISABLED;
            EXPECT_EQ(items[i].state & marks, i == active ? marks : 0u) << "item " << i;
        }
        EXPECT_EQ(items[1].text, L"English\tEnglisch / 100 %");
        EXPECT_EQ(items[7].text, L"Persian\t\u2068\u0641\u0627\u0631\u0633\u06CC\u2069 / 100 %");
        EXPECT_TRUE(items[12].type & MFT_SEPARATOR);
        EXPECT_EQ(items[13].id, 1000u);
        EXPECT_EQ(items[13].text, L"Translate");
        EXPECT_EQ(items[14].id, 1001u);
        EXPECT_EQ(items[14].text, L"Load from File (Unicode)");
    }
}

struct ProgramMenuCase {
    int language;
    const char16_t* site;
    const wchar_t* thanks;
};

TEST_F(MenuItems, ProgramMenuTakesTheThanksPageOfTheLanguagesSite) {
    const ProgramMenuCase cases[] = {
        {kEnglish, u"https://www.pelmora.example", L"https://www.pelmora.example/?Microsoft/Pelmora/Thanks"},
        {0, u"https://www.pelmora.example/de", L"https://www.pelmora.example/de/?Microsoft/Pelmora/Danke"},
        {4, u"https://www.pelmora.example", L"https://www.pelmora.example/?Microsoft/Pelmora/Thanks"},
    };
    for (const ProgramMenuCase& c : cases) {
        SCOPED_TRACE(c.language);
        language_index = c.language;
        const PopupMenu menu = make_program_menu(c.site);
        ASSERT_TRUE(menu);
        const std::vector<Item> items = items_of(menu.get());
        const std::wstring site(wide(c.site));
        const std::vector<std::wstring> expected = {c.thanks, L"Pelmora FAQ", L"Pelmora Homepage",
                                                    L"Pelmora History", L"News " + site};
        ASSERT_EQ(items.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(items[i].id, i + 1);
            EXPECT_EQ(items[i].text, expected[i]);
        }
    }
}

} // namespace
