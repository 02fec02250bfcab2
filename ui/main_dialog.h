// The main dialog: banner, page buttons, the page area with its three pages, and the toolbar.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CHauptDialog {
public:
    virtual ~CHauptDialog() = default;

    // The dialog's message handling; 0 means not handled.
    INT_PTR dialog_handler(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
    // Shows page 0 (generation), 1 (Info) or 3 (More), remembers it and applies the page texts.
    void show_page(int32_t number);
    // Puts every catalogue text on the dialog, its toolbar and its pages.
    void apply_texts();

    HWND toolbar = nullptr;
    HWND window = nullptr;

private:
    BOOL initialise(HWND dialog);
    void create_toolbar();
    void add_toolbar_button(const std::u16string& label, int command);
    void create_pages();
    void command(int id);
    void mark_page_button(int id);
};

// The one main dialog object, static for the life of the process.
extern CHauptDialog main_dialog;

// Pages by number; number 2 has no page.
inline constexpr int32_t kGenerationPage = 0;
inline constexpr int32_t kInfoPage = 1;
inline constexpr int32_t kMorePage = 3;

extern int32_t current_page;
extern HWND page_windows[4];
extern std::u16string site_address;
extern HFONT text_font;
extern HWND main_dialog_window;
extern int32_t start_tray;
extern int32_t tray_if_minimize;

// Sets a control's text and gives it the toolbar's font; a missing control is passed over.
void set_control_text(HWND control, const std::u16string& text);
// Opens site_address followed by path in the user's web browser.
void open_site_page(const std::u16string& path);
// The FAQ's path on the site, opened by the toolbar's FAQ button and the program menu.
inline constexpr char16_t kFaqPage[] = u"?seite=faq-Pelmora&faq=0";
// The bottom-left corner of a toolbar button, in screen coordinates (for menus under it).
POINT button_anchor(int command);
void press_button(int command, bool pressed);
// Opens `menu` under toolbar button `command`, shown pressed meanwhile, owned by `owner`; destroys
// the menu and returns the chosen item's id, 0 when it was dismissed.
UINT track_toolbar_menu(HMENU menu, int command, HWND owner);
// The dialog procedure all pages share.
INT_PTR CALLBACK page_procedure(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
