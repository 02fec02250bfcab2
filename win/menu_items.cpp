// The language menu's and the program menu's items.
#include "win/menu_items.h"

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/lang/translation.h"
#include "core/rules/recommendation.h"
#include "platform/wide_text.h"

PopupMenu make_language_menu() {
    PopupMenu menu(CreatePopupMenu());
    if (!menu)
        return menu;
    for (int32_t i = 0; i < catalogue_tables.language_count; ++i) {
        const char16_t* name = catalogue_tables.language_names[i];
        // A nameless language, or one named in five characters or fewer, is not offered.
        if (name == nullptr || std::char_traits<char16_t>::length(name) <= 5)
            continue;
        const UINT flags = MF_STRING | (i == language_index ? MF_CHECKED | MF_GRAYED | MF_DISABLED : 0);
        const std::u16string item = language_menu_item(name, catalogue_tables.language_percent[i]);
        AppendMenuW(menu.get(), flags, kFirstLanguageCommand + static_cast<UINT>(i), wide(item));
    }
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING, kTranslateCommand, L"Translate");
    AppendMenuW(menu.get(), MF_STRING, kLoadTranslationCommand, L"Load from File (Unicode)");
    return menu;
}

std::u16string thanks_address() {
    return common_text(language_index == kGerman ? kCommonThanksGerman : kCommonThanks);
}

PopupMenu make_program_menu(const std::u16string& site_address) {
    PopupMenu menu(CreatePopupMenu());
    if (!menu)
        return menu;
    const std::u16string name = kProgramName;
    AppendMenuW(menu.get(), MF_STRING, kThanksEntry, wide(thanks_address()));
    AppendMenuW(menu.get(), MF_STRING, kFaqEntry, wide(name + u" FAQ"));
    AppendMenuW(menu.get(), MF_STRING, kHomepageEntry, wide(name + u" Homepage"));
    AppendMenuW(menu.get(), MF_STRING, kHistoryEntry, wide(name + u" History"));
    AppendMenuW(menu.get(), MF_STRING, kNewsEntry, wide(u"News " + site_address));
    return menu;
}
