// The language menu's and the program menu's items.
#include "win/menu_items.h"

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/translation.h"
#include "core/rules/recommendation.h"
#include "win/win_text.h"

HMENU make_language_menu() {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr)
        return nullptr;
    for (int32_t i = 0; i < language_count; ++i) {
        const char16_t* name = language_names[i];
        // A nameless language, or one named in five characters or fewer, is not offered.
        if (name == nullptr || std::char_traits<char16_t>::length(name) <= 5)
            continue;
        const UINT flags = MF_STRING | (i == language_index ? MF_CHECKED | MF_GRAYED | MF_DISABLED : 0);
        const std::u16string item = language_menu_item(name, language_percent[i]);
        AppendMenuW(menu, flags, kFirstLanguageCommand + static_cast<UINT>(i), wide(item));
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kTranslateCommand, L"Translate");
    AppendMenuW(menu, MF_STRING, kLoadTranslationCommand, L"Load from File (Unicode)");
    return menu;
}

std::u16string thanks_address() { return text_of(get_common_text(language_index == 0 ? 23 : 24)); }

HMENU make_program_menu(const std::u16string& site_address) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr)
        return nullptr;
    const std::u16string name = kProgramName;
    AppendMenuW(menu, MF_STRING, kThanksEntry, wide(thanks_address()));
    AppendMenuW(menu, MF_STRING, kFaqEntry, wide(name + u" FAQ"));
    AppendMenuW(menu, MF_STRING, kHomepageEntry, wide(name + u" Homepage"));
    AppendMenuW(menu, MF_STRING, kHistoryEntry, wide(name + u" History"));
    AppendMenuW(menu, MF_STRING, kNewsEntry, wide(u"News " + site_address));
    return menu;
}
