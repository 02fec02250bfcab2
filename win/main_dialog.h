// The main dialog: banner, page buttons, the page area with its four pages, and the toolbar.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CToTray;

class CHauptDialog {
public:
    virtual ~CHauptDialog() = default;

    // The dialog's message handling; 0 means not handled.
    INT_PTR dialog_handler(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
    // Shows page 0 (generation), 1 (Info), 2 (Check) or 3 (More), remembers it and applies the page
    // texts.
    void show_page(int32_t number);
    // Puts every catalogue text on the dialog, its toolbar and its pages.
    void apply_texts();

    HWND toolbar = nullptr;
    HWND window = nullptr;
    // The tray icon the dialog hides in when it is minimised; none until the program binds it.
    CToTray* tray = nullptr;
    // The settings start_tray and tray_if_minimize, read when the dialog starts; the entry point
    // reads start_tray to decide whether the dialog shows.
    int32_t start_tray = 0;
    int32_t tray_if_minimize = 1;
    // Started with -bg: the dialog stays hidden until the tray icon or another start asks for it.
    bool start_in_background = false;

private:
    BOOL initialise(HWND dialog);
    void create_toolbar();
    void add_toolbar_button(const std::u16string& label, int command);
    void create_pages();
    // Icons, banner, toolbar and pages at the window's DPI: when the dialog starts and after the
    // system has scaled it to a new DPI.
    void fit_to_dpi();
    void place_toolbar();
    void place_pages();
    void command(int id);
    void mark_page_button(int id);

    UINT dpi_ = 0; // until the dialog has started
    // The text font made for a new DPI, owned here; the first font is the toolbar's own.
    HFONT scaled_font_ = nullptr;
};

// Pages by number.
inline constexpr int32_t kGenerationPage = 0;
inline constexpr int32_t kInfoPage = 1;
inline constexpr int32_t kCheckPage = 2;
inline constexpr int32_t kMorePage = 3;
