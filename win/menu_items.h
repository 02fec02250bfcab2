// The toolbar's two pop-up menus, built anew for every opening from the catalogue's state.
#pragma once

#include <windows.h>

#include <string>

// Commands of the language menu.
inline constexpr UINT kFirstLanguageCommand = 10; // + the language's index
inline constexpr UINT kLastLanguageCommand = 30;  // items further down are listed but change nothing
inline constexpr UINT kTranslateCommand = 1000;
inline constexpr UINT kLoadTranslationCommand = 1001;

// Entries of the program menu.
enum ProgramMenuEntry : UINT { kThanksEntry = 1, kFaqEntry, kHomepageEntry, kHistoryEntry, kNewsEntry };

// Every named language with its completeness (the active one checked and disabled), a separator,
// "Translate" and "Load from File (Unicode)". Null when no menu can be made.
HMENU make_language_menu();
// The thank-you address (German for language 0), FAQ, Homepage, History and News entries.
HMENU make_program_menu(const std::u16string& site_address);
// The thank-you address of the program menu's first entry.
std::u16string thanks_address();
