// CHauptDialog: the main dialog's handler, toolbar, pages and texts.
#include "win/main_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/run.h"
#include "core/run/run_thread.h"
#include "platform/wide_text.h"
#include "res/resource.h"
#include "win/autostart.h"
#include "win/check_page.h"
#include "win/controls.h"
#include "win/dpi.h"
#include "win/generation_page.h"
#include "win/info_page.h"
#include "win/language_menu.h"
#include "win/more_page.h"
#include "win/os_version.h"
#include "win/settings.h"
#include "win/tray.h"

namespace {

// Posted to the dialog once the system has scaled it to a new DPI.
constexpr UINT kFitToDpi = WM_APP + 1;

int32_t current_page = kGenerationPage;
HWND page_windows[4] = {};

// The page area's caption for each page.
TextId page_caption(int32_t number) {
    return number == kInfoPage    ? kTextInfo
           : number == kCheckPage ? kTextCheck
           : number == kMorePage  ? kTextMore
                                  : kTextProgram;
}

// The dialog procedure all pages share.
INT_PTR CALLBACK page_procedure(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
    (void)lparam;
    // Commands go to the page that is shown; nothing here counts as handled.
    if (message == WM_COMMAND && current_page == kGenerationPage)
        page_command(page, LOWORD(wparam));
    else if (message == WM_COMMAND && current_page == kMorePage)
        more_page_command(page, LOWORD(wparam));
    return 0;
}

} // namespace

INT_PTR CHauptDialog::dialog_handler(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    (void)lparam;
    switch (message) {
    case WM_INITDIALOG:
        return initialise(dialog);
    case WM_COMMAND:
        command(LOWORD(wparam));
        return 0;
    case WM_DPICHANGED:
        // The system moves and scales the dialog and its controls (not handled here, so the
        // dialog manager's own scaling runs); what the program sized itself follows afterwards.
        PostMessageW(dialog, kFitToDpi, 0, 0);
        return 0;
    case kFitToDpi:
        fit_to_dpi();
        return 1;
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) != SC_MINIMIZE)
            return 0;
        // Never minimised: with tray_if_minimize the dialog goes into the notification area.
        if (tray_if_minimize != 0 && GetActiveWindow() == window && tray != nullptr) {
            tray->hide_to_tray();
            ShowWindow(window, SW_HIDE);
        }
        return 1;
    default:
        return 0;
    }
}

BOOL CHauptDialog::initialise(HWND dialog) {
    OleInitialize(nullptr);
    window = dialog;
    generation_settings.files_type = read_setting_int(u"files_type", generation_settings.files_type);

    create_toolbar();
    create_pages();
    fit_to_dpi();
    apply_texts();

    wchar_t name[128] = {};
    LoadStringW(app_instance, IDS_PROGRAM_NAME, name, 128);
    refresh_autostart(from_wide(name).c_str());

    start_tray = read_setting_int(u"start_tray", start_tray);
    tray_if_minimize = read_setting_int(u"tray_if_minimize", tray_if_minimize);

    wchar_t desktop[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE))
        desktop[0] = 0;
    // The field holds up to 511 characters: a longer stored folder is taken whole rather than
    // cut into another folder.
    char16_t folder[512] = {};
    const std::u16string desktop_text = from_wide(desktop).substr(0, 511);
    std::copy(desktop_text.begin(), desktop_text.end(), folder);
    read_setting_text(u"Folder", folder, 512);
    generation_settings.Folder = folder;
    HWND page = page_windows[kGenerationPage];
    SetDlgItemTextW(page, IDC_FOLDER, wide(generation_settings.Folder));
    // A check starts where the runs are made.
    SetDlgItemTextW(page_windows[kCheckPage], IDC_CHECK_FOLDER, wide(generation_settings.Folder));

    generation_settings.files_c =
        std::clamp<int64_t>(read_setting_int(u"files_c", static_cast<int32_t>(generation_settings.files_c)),
                            kWindowCountRange.low, kWindowCountRange.high);
    generation_settings.files_size = read_setting_int(u"files_size", generation_settings.files_size);
    SetDlgItemInt(page, IDC_COUNT, static_cast<UINT>(generation_settings.files_c), TRUE);
    SetDlgItemInt(page, IDC_FILE_SIZE, static_cast<UINT>(generation_settings.files_size), TRUE);
    read_generation_options(page);

    get_os_version();
    return TRUE;
}

void CHauptDialog::create_toolbar() {
    toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | TBSTYLE_TOOLTIPS |
                                  TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TRANSPARENT | CCS_NORESIZE |
                                  CCS_NOPARENTALIGN | CCS_NODIVIDER,
                              0, 0, 180, 20, window, nullptr, app_instance, nullptr);
    SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ShowWindow(GetDlgItem(window, IDC_TOOLBAR_PLACE), SW_HIDE);
}

// The toolbar in its placeholder's place (left and top edge, width), 24 pixels high at 96 DPI.
void CHauptDialog::place_toolbar() {
    SendMessageW(toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, at_dpi(12, dpi_)));
    SendMessageW(toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(at_dpi(24, dpi_), at_dpi(24, dpi_)));
    RECT rect = {};
    GetWindowRect(GetDlgItem(window, IDC_TOOLBAR_PLACE), &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    MoveWindow(toolbar, rect.left, rect.top, rect.right - rect.left, at_dpi(24, dpi_), TRUE);
}

void CHauptDialog::fit_to_dpi() {
    const UINT before = dpi_;
    dpi_ = window_dpi(window);
    // The window's own icons and the pages' icon controls at the sizes this DPI asks for; an icon
    // control's id is its icon's resource number.
    for (const bool small : {false, true}) {
        HICON icon = load_icon_at_dpi(app_instance, IDI_PROGRAM, small, dpi_);
        if (auto previous = reinterpret_cast<HICON>(SendMessageW(
                window, WM_SETICON, small ? ICON_SMALL : ICON_BIG, reinterpret_cast<LPARAM>(icon))))
            DestroyIcon(previous);
    }
    const int icon_size = metric_at_dpi(SM_CXICON, dpi_);
    for (HWND page : page_windows) {
        for (HWND child = page != nullptr ? GetWindow(page, GW_CHILD) : nullptr; child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t kind[16] = {};
            GetClassNameW(child, kind, 16);
            if (lstrcmpiW(kind, L"Static") != 0 ||
                (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
                continue;
            HICON icon = load_icon_at_dpi(app_instance, GetDlgCtrlID(child), false, dpi_);
            const auto previous =
                reinterpret_cast<HICON>(SendMessageW(child, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0));
            // The icon the dialog manager loaded first is shared and stays; ours go when replaced.
            if (previous != nullptr && before != 0)
                DestroyIcon(previous);
            SetWindowPos(child, nullptr, 0, 0, icon_size, icon_size,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    fit_bitmap_to_control(GetDlgItem(window, IDC_BANNER), app_instance, IDB_BANNER);
    place_toolbar();
    place_pages();

    // After a change of DPI the texts take a font made for the new one (the toolbar keeps the one
    // it was made with), and the toolbar's buttons are measured again.
    if (before != 0 && before != dpi_ && text_font != nullptr) {
        LOGFONTW face = {};
        if (GetObjectW(text_font, sizeof face, &face) != 0) {
            face.lfHeight = MulDiv(face.lfHeight, static_cast<int>(dpi_), static_cast<int>(before));
            HFONT previous = scaled_font_;
            scaled_font_ = CreateFontIndirectW(&face);
            SendMessageW(toolbar, WM_SETFONT, reinterpret_cast<WPARAM>(scaled_font_), TRUE);
            apply_texts();
            if (previous != nullptr)
                DeleteObject(previous);
        }
    }
}

void CHauptDialog::add_toolbar_button(const std::u16string& label, int command) {
    TBBUTTON button = {};
    button.iBitmap = 0;
    button.idCommand = command;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = BTNS_BUTTON;
    if (SendMessageW(toolbar, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button))) {
        std::u16string caption = label.substr(0, 255);
        TBBUTTONINFOW info = {};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_TEXT | TBIF_STYLE;
        info.pszText = const_cast<wchar_t*>(wide(caption));
        info.fsStyle = BTNS_AUTOSIZE;
        SendMessageW(toolbar, TB_SETBUTTONINFOW, command, reinterpret_cast<LPARAM>(&info));
    }
    SendMessageW(toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(at_dpi(24, dpi_), at_dpi(24, dpi_)));
}

void CHauptDialog::create_pages() {
    const struct {
        int32_t number;
        int templ;
    } pages[] = {{kInfoPage, IDD_INFO}, {kGenerationPage, IDD_GENERATE}, {kMorePage, IDD_MORE}};
    for (const auto& page : pages)
        page_windows[page.number] =
            CreateDialogParamW(app_instance, MAKEINTRESOURCEW(page.templ), window, page_procedure, 0);
    page_windows[kCheckPage] = create_check_page(window, u"");
    place_pages();
    show_page(read_setting_int(u"c_wnd", kGenerationPage));
    mark_page_button(current_page == kInfoPage    ? IDC_PAGE_INFO
                     : current_page == kCheckPage ? IDC_PAGE_CHECK
                     : current_page == kMorePage  ? IDC_PAGE_MORE
                                                  : IDC_PAGE_PROGRAM);
}

// Every page inside the page area's frame: one pixel in from each side of the group box.
void CHauptDialog::place_pages() {
    RECT area = {};
    GetWindowRect(GetDlgItem(window, IDC_PAGE_AREA), &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    for (HWND page : page_windows)
        if (page != nullptr)
            SetWindowPos(page, HWND_TOP, area.left + 1, area.top + 1, area.right - area.left - 2,
                         area.bottom - area.top - 2, SWP_NOACTIVATE);
}

void CHauptDialog::show_page(int32_t number) {
    // A stored number that names no page shows the generation page.
    if (number != kGenerationPage && number != kInfoPage && number != kCheckPage && number != kMorePage)
        number = kGenerationPage;
    for (int32_t i = 0; i < 4; ++i)
        if (page_windows[i] != nullptr)
            ShowWindow(page_windows[i], i == number ? SW_SHOW : SW_HIDE);
    current_page = number;
    write_setting_int(u"c_wnd", number);
    set_control_text(GetDlgItem(window, IDC_PAGE_AREA), text(page_caption(number)));
    apply_generation_page_texts(page_windows[kGenerationPage]);
    apply_more_page_texts(page_windows[kMorePage]);
    apply_check_page_texts(page_windows[kCheckPage]);
    apply_info_texts(page_windows[kInfoPage], number == kInfoPage);
}

void CHauptDialog::apply_texts() {
    for (int i = 0; i < 10; ++i)
        SendMessageW(toolbar, TB_DELETEBUTTON, 0, 0);
    SetWindowTextW(window,
                   wide((common_text(kCommonNameAndVersion) + u" (Portable)" + u" - x64").substr(0, 255)));
    site_address = common_text(language_index == kGerman ? kCommonSiteGerman : kCommonSite);
    add_toolbar_button(fill_placeholders(common_text(kCommonCopyrightButton), {site_address}),
                       IDM_PROGRAM_MENU);
    add_toolbar_button(u"# LNG", IDM_LANGUAGE_MENU);
    add_toolbar_button(u"# " + text(kTextFaq), IDM_FAQ);
    add_toolbar_button(fill_placeholders(u"# %s", {text(kTextDonate)}), IDM_DONATE);
    text_font = reinterpret_cast<HFONT>(SendMessageW(toolbar, WM_GETFONT, 0, 0));
    set_control_text(GetDlgItem(window, IDC_PAGE_PROGRAM), text(kTextProgram));
    set_control_text(GetDlgItem(window, IDC_PAGE_INFO), text(kTextInfo));
    set_control_text(GetDlgItem(window, IDC_PAGE_CHECK), text(kTextCheck));
    set_control_text(GetDlgItem(window, IDC_PAGE_MORE), text(kTextMore));
    set_control_text(GetDlgItem(window, IDCANCEL), text(kTextExit));
    show_page(current_page);
}

void CHauptDialog::mark_page_button(int id) {
    for (const int button : {IDC_PAGE_PROGRAM, IDC_PAGE_INFO, IDC_PAGE_CHECK, IDC_PAGE_MORE})
        SendDlgItemMessageW(window, button, BM_SETCHECK, button == id ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CHauptDialog::command(int id) {
    switch (id) {
    case IDCANCEL:
        // Esc and the close box come here even while Exit is disabled (Windows checks the button
        // first, Wine does not): a busy run or check keeps the program open.
        if (run_busy || check_busy())
            break;
        EndDialog(window, 2);
        PostQuitMessage(1);
        break;
    case IDC_PAGE_PROGRAM:
        show_page(kGenerationPage);
        mark_page_button(id);
        break;
    case IDC_PAGE_INFO:
        show_page(kInfoPage);
        mark_page_button(id);
        break;
    case IDC_PAGE_CHECK:
        show_page(kCheckPage);
        mark_page_button(id);
        break;
    case IDC_PAGE_MORE:
        show_page(kMorePage);
        mark_page_button(id);
        break;
    case IDM_PROGRAM_MENU:
        show_program_menu(window, toolbar);
        break;
    case IDM_LANGUAGE_MENU:
        if (show_language_menu(window, toolbar))
            apply_texts();
        break;
    case IDM_FAQ:
        open_site_page(kFaqPage);
        break;
    case IDM_DONATE:
        open_site_page(u"?seite=paypal");
        break;
    default:
        break;
    }
}
