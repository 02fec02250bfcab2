// The window helpers every page and the main dialog use.
#include "win/controls.h"

#include <commctrl.h>
#include <shellapi.h>

#include "platform/wide_text.h"

HINSTANCE app_instance = nullptr;
HFONT text_font = nullptr;
std::u16string site_address;

namespace {

// The bottom-left corner of a toolbar button, in screen coordinates (for menus under it).
POINT button_anchor(HWND toolbar, int command) {
    RECT rect = {};
    const auto index = SendMessageW(toolbar, TB_COMMANDTOINDEX, command, 0);
    SendMessageW(toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
    POINT corner = {rect.left, rect.bottom};
    ClientToScreen(toolbar, &corner);
    return corner;
}

void press_button(HWND toolbar, int command, bool pressed) {
    SendMessageW(toolbar, TB_PRESSBUTTON, command, MAKELONG(pressed ? TRUE : FALSE, 0));
}

} // namespace

void set_control_text(HWND control, const std::u16string& text) {
    if (control == nullptr)
        return;
    SetWindowTextW(control, wide(text));
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(text_font), TRUE);
}

void open_site_page(const std::u16string& path) {
    const std::u16string address = (site_address + path).substr(0, 255);
    ShellExecuteW(nullptr, L"open", wide(address), nullptr, nullptr, SW_SHOW);
}

UINT track_toolbar_menu(const PopupMenu& menu, HWND toolbar, int command, HWND owner) {
    const POINT corner = button_anchor(toolbar, command);
    press_button(toolbar, command, true);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        menu.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, corner.x, corner.y, 0, owner, nullptr));
    press_button(toolbar, command, false);
    return chosen;
}
