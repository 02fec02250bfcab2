// The toolbar's two pop-up menus, built anew for every opening from the catalogue's state.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32_handles.h"

// Commands of the language menu.
inline constexpr UINT kFirstLanguageCommand = 10; // + the language's index
inline constexpr UINT kLastLanguageCommand = 30;  // items further down are listed but change nothing
inline constexpr UINT kTranslateCommand = 1000;
inline constexpr UINT kLoadTranslationCommand = 1001;

// Entries of the program menu.
enum ProgramMenuEntry : UINT { kThanksEntry = 1, kFaqEntry, kHomepageEntry, kHistoryEntry, kNewsEntry };

// Every named language with its completeness (the active one checked and disabled), a separator,
// "Translate" and "Load from File (Unicode)". Holds nothing when no menu can be made.
PopupMenu make_language_menu();
// The thank-you address (German for language 0), FAQ, Homepage, History and News entries.
PopupMenu make_program_menu(const std::u16string& site_address);
// The thank-you address of the program menu's first entry.
std::u16string thanks_address();
