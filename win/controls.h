// What every window of the program shares: the instance, the text font, putting texts on controls,
// the maker's web pages and pop-up menus under a toolbar button.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32_handles.h"

// The program's instance, set by the entry point before any window is made.
extern HINSTANCE app_instance;
// The toolbar's font, taken on by every control whose text is set; renewed with the texts.
extern HFONT text_font;
// The maker's web site in the active language, renewed with the texts.
extern std::u16string site_address;

// Sets a control's text and gives it the toolbar's font; a missing control is passed over.
void set_control_text(HWND control, const std::u16string& text);
// Opens site_address followed by path in the user's web browser.
void open_site_page(const std::u16string& path);
// The FAQ's path on the site, opened by the toolbar's FAQ button and the program menu.
inline constexpr char16_t kFaqPage[] = u"?seite=faq-Pelmora&faq=0";
// Opens `menu` under `toolbar`'s button `command`, shown pressed meanwhile, owned by `owner`;
// returns the chosen item's id, 0 when it was dismissed.
UINT track_toolbar_menu(const PopupMenu& menu, HWND toolbar, int command, HWND owner);
