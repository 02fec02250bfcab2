// Pelmora.exe under Wine, driven from outside: start-up, the main dialog, its pages and exit.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "res/resource.h"
#include "tests/win/program_driver.h"

namespace {

constexpr wchar_t kTitle[] = L"Pelmora 2.85 (Portable) - x64";

TEST(MainDialog, FirstStartMakesAHiddenUtf16SettingsFileAndShowsTheDefaults) {
    Program program;
    ASSERT_TRUE(program.start());
    HWND dialog = program.dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(wait_until([&] { return visible(dialog); }));
    EXPECT_EQ(window_text(dialog), kTitle);

    const DWORD attributes = GetFileAttributesW(program.ini_path().c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(program.ini_bytes().substr(0, 2), "\xFF\xFE");

    HWND page = Program::page_with(dialog, IDC_START);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(visible(page));
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_COUNT)), L"1");
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_FILE_SIZE)), L"1024");
    EXPECT_EQ(SendMessageW(GetDlgItem(page, IDC_TYPE), CB_GETCURSEL, 0, 0), 0);
    wchar_t desktop[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE);
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_FOLDER)), desktop);
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_START)), L"Start");
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_FOLDER_LABEL)), L"Destination Folder :");
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_PAGE_AREA)), L"Program");
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDCANCEL)), L"Exit");
    HWND toolbar = FindWindowExW(dialog, nullptr, TOOLBARCLASSNAMEW, nullptr);
    EXPECT_EQ(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0), 4);

    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    EXPECT_NE(program.ini_text().find(L"c_wnd=0"), std::wstring::npos);
}

TEST(MainDialog, EveryWayOutEndsWithTheRightCode) {
    const struct {
        const char* name;
        bool hidden_window;
        UINT message;
        WPARAM wparam;
        long code;
    } cases[] = {
        {"Exit button", false, WM_COMMAND, IDCANCEL, 1},
        {"close box", false, WM_SYSCOMMAND, SC_CLOSE, 1},
        {"Esc", false, WM_KEYDOWN, VK_ESCAPE, 1},
        {"hidden window closed", true, WM_CLOSE, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Program program;
        ASSERT_TRUE(program.start());
        HWND dialog = program.dialog();
        ASSERT_TRUE(wait_until([&] { return visible(dialog); }));
        HWND target = c.hidden_window ? program.hidden_window() : dialog;
        if (c.message == WM_KEYDOWN) {
            // The key goes to the control with the focus; the dialog manager turns Esc into Exit.
            target = GetDlgItem(Program::page_with(dialog, IDC_COUNT), IDC_COUNT);
            PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 1);
            PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0000001);
        } else {
            PostMessageW(target, c.message, c.wparam, 0);
        }
        EXPECT_EQ(program.exit_code(), c.code);
    }
}

TEST(MainDialog, BackgroundSwitchAndStartTray) {
    const struct {
        const wchar_t* arguments;
        const wchar_t* ini;
        bool shown;
    } cases[] = {
        {L"-bg", L"", false},
        {L"C:\\data\\my-bgfiles", L"", false},
        {L"", L"[Program]\r\nstart_tray=1\r\n", false},
        {L"-BG", L"", true},
        {L"/bg", L"", true},
    };
    const UINT show = RegisterWindowMessageW(L"Pelmora");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "arguments " << std::string(c.arguments, c.arguments + wcslen(c.arguments)));
        Program program(c.ini, true);
        ASSERT_TRUE(program.start(c.arguments));
        HWND dialog = program.dialog();
        ASSERT_NE(dialog, nullptr);
        // The dialog exists in either case; give a wrongly shown one time to appear.
        ASSERT_TRUE(wait_until([&] { return !window_text(dialog).empty(); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(visible(dialog), c.shown);
        if (!c.shown) {
            SendMessageTimeoutW(program.hidden_window(), show, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
            EXPECT_TRUE(wait_until([&] { return visible(dialog); })) << "the registered message shows it";
        }
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(program.exit_code(), 1);
    }
}

TEST(MainDialog, PagesSwitchAndComeBackAsStored) {
    Program program(L"[Program]\r\nc_wnd=3\r\n", true);
    ASSERT_TRUE(program.start());
    HWND dialog = program.dialog();
    ASSERT_TRUE(wait_until([&] { return visible(dialog); }));
    EXPECT_TRUE(visible(Program::page_with(dialog, IDC_RECOMMEND))) << "c_wnd 3: the More page";
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_PAGE_AREA)), L"More");
    EXPECT_EQ(window_text(GetDlgItem(Program::page_with(dialog, IDC_RECOMMEND), IDC_RECOMMEND)),
              L"Recommend the program ");

    // Info page: version, system and site.
    SendMessageW(dialog, WM_COMMAND, IDC_PAGE_INFO, 0);
    HWND info = Program::page_with(dialog, IDC_SYSTEM_LINE);
    EXPECT_TRUE(visible(info));
    EXPECT_FALSE(visible(Program::page_with(dialog, IDC_RECOMMEND)));
    EXPECT_EQ(window_text(GetDlgItem(info, IDC_VERSION_LINE)), L"Version 2.85  Build 001");
    // The true version, as ntdll reports it.
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    using rtl_get_version = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    reinterpret_cast<rtl_get_version>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")))(&version);
    EXPECT_EQ(window_text(GetDlgItem(info, IDC_SYSTEM_LINE)),
              L"Pelmora 2.85 - OS:" + std::to_wstring(version.dwMajorVersion) + L"." +
                  std::to_wstring(version.dwMinorVersion) + L" " + std::to_wstring(version.dwBuildNumber));
    EXPECT_EQ(window_text(GetDlgItem(info, IDC_HOMEPAGE)), L"https://www.pelmora.example");
    EXPECT_EQ(window_text(GetDlgItem(info, IDC_PROGRAMMED_BY)), L"Programmed by: ");
    EXPECT_NE(program.ini_text().find(L"c_wnd=1"), std::wstring::npos);

    // A type chosen without Start goes back to the stored one when the page is shown again.
    SendMessageW(dialog, WM_COMMAND, IDC_PAGE_PROGRAM, 0);
    HWND page = Program::page_with(dialog, IDC_TYPE);
    SendDlgItemMessageW(page, IDC_TYPE, CB_SETCURSEL, 1, 0);
    SendMessageW(dialog, WM_COMMAND, IDC_PAGE_MORE, 0);
    SendMessageW(dialog, WM_COMMAND, IDC_PAGE_PROGRAM, 0);
    EXPECT_EQ(SendDlgItemMessageW(page, IDC_TYPE, CB_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(visible(page));
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_PAGE_PROGRAM, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_PAGE_INFO, BM_GETCHECK, 0, 0), BST_UNCHECKED);

    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
}

TEST(MainDialog, StoredLanguageAndItsSiteAddress) {
    const struct {
        const wchar_t* ini;
        const wchar_t* program_button;
        const wchar_t* site;
        const wchar_t* exit;
    } cases[] = {
        {L"[Program]\r\nlng=0\r\n", L"Programm", L"https://www.pelmora.example/de",
         L"Exit"}, // German lacks 72
        {L"[Program]\r\nlng=99\r\n", L"Program", L"https://www.pelmora.example", L"Exit"},
    };
    for (const auto& c : cases) {
        Program program(c.ini, true);
        ASSERT_TRUE(program.start());
        HWND dialog = program.dialog();
        ASSERT_TRUE(wait_until([&] { return visible(dialog); }));
        EXPECT_EQ(window_text(dialog), kTitle) << "the title is the same in every language";
        EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_PAGE_PROGRAM)), c.program_button);
        EXPECT_EQ(window_text(GetDlgItem(dialog, IDCANCEL)), c.exit);
        HWND info = Program::page_with(dialog, IDC_HOMEPAGE);
        EXPECT_EQ(window_text(GetDlgItem(info, IDC_HOMEPAGE)), c.site);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(program.exit_code(), 1);
    }
}

// Whether the notification area holds the program's icon: a modify succeeds only for an icon it
// holds.
bool icon_present(HWND hidden) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = hidden;
    data.uID = IDI_PROGRAM;
    data.uFlags = NIF_TIP;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TEST(Tray, PressesToggleTheDialogAndTheWatchdogPutsTheIconBack) {
    Program program;
    ASSERT_TRUE(program.start(L"-bg"));
    HWND dialog = program.dialog();
    HWND hidden = program.hidden_window();
    ASSERT_NE(hidden, nullptr);
    ASSERT_TRUE(wait_until([&] { return icon_present(hidden); }));
    EXPECT_FALSE(visible(dialog));

    const struct {
        UINT mouse;
        bool shown_after;
    } presses[] = {
        {WM_LBUTTONDOWN, true},   {WM_LBUTTONUP, true},
        {WM_LBUTTONDBLCLK, true}, // a double-click: one toggle
        {WM_RBUTTONDOWN, false},  {WM_MOUSEMOVE, false},
        {WM_RBUTTONDOWN, true},
    };
    for (const auto& press : presses) {
        SendMessageTimeoutW(hidden, WM_APP + 100, IDI_PROGRAM, press.mouse, SMTO_ABORTIFHUNG, 5000, nullptr);
        EXPECT_EQ(visible(dialog), press.shown_after) << "after mouse message " << std::hex << press.mouse;
    }

    // The notification area loses the icon: the watchdog adds it again within about 5 seconds.
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = hidden;
    data.uID = IDI_PROGRAM;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data));
    EXPECT_FALSE(icon_present(hidden));
    EXPECT_TRUE(wait_until([&] { return icon_present(hidden); }, 8));

    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    EXPECT_FALSE(icon_present(hidden)) << "the icon goes with the program";
}

TEST(MainDialog, MinimiseHidesOnlyWithTrayIfMinimize) {
    for (const bool to_tray : {true, false}) {
        SCOPED_TRACE(to_tray ? "tray_if_minimize=1" : "tray_if_minimize=0");
        Program program(
            to_tray ? L"[Program]\r\ntray_if_minimize=1\r\n" : L"[Program]\r\ntray_if_minimize=0\r\n", true);
        ASSERT_TRUE(program.start());
        HWND dialog = program.dialog();
        ASSERT_TRUE(wait_until([&] { return visible(dialog); }));
        PostMessageW(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        if (to_tray) {
            EXPECT_TRUE(wait_until([&] { return !visible(dialog); }, 5));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            EXPECT_TRUE(visible(dialog));
        }
        EXPECT_FALSE(IsIconic(dialog)) << "it never minimises";
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(program.exit_code(), 1);
    }
}

TEST(MainDialog, RefreshesAnExistingAutostartEntryAndReadsALongFolderWhole) {
    const std::wstring folder = L"C:\\" + std::wstring(300, L'f');
    Program program(L"[Program]\r\nFolder=" + folder + L"\r\n", true);
    HKEY run = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", &run),
              ERROR_SUCCESS);
    const wchar_t old_command[] = L"\"C:\\Old place\\Pelmora.exe\" -bg";
    RegSetValueExW(run, L"Pelmora", 0, REG_SZ, reinterpret_cast<const BYTE*>(old_command),
                   sizeof old_command);

    ASSERT_TRUE(program.start());
    HWND dialog = program.dialog();
    ASSERT_TRUE(wait_until([&] { return visible(dialog); }));
    EXPECT_EQ(window_text(GetDlgItem(Program::page_with(dialog, IDC_FOLDER), IDC_FOLDER)), folder);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);

    wchar_t stored[512] = {};
    DWORD size = sizeof stored;
    DWORD type = 0;
    RegQueryValueExW(run, L"Pelmora", nullptr, &type, reinterpret_cast<BYTE*>(stored), &size);
    RegDeleteValueW(run, L"Pelmora");
    RegCloseKey(run);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::wstring(stored), L"\"" + program.exe() + L"\" -bg");
}

// The DPI Wine gives every program started after it is set (HKCU\Control Panel\Desktop\LogPixels);
// the value before is put back when the object goes.
class ScreenDpi {
public:
    ScreenDpi() {
        RegCreateKeyW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", &key_);
        DWORD size = sizeof before_;
        had_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&before_),
                                &size) == ERROR_SUCCESS;
    }
    ~ScreenDpi() {
        if (had_)
            set(before_);
        else
            RegDeleteValueW(key_, L"LogPixels");
        RegCloseKey(key_);
    }
    void set(DWORD dpi) const {
        RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }

private:
    HKEY key_ = nullptr;
    DWORD before_ = 96;
    bool had_ = false;
};

// A control's rectangle in the dialog's client coordinates.
RECT client_rect_of(HWND dialog, HWND control) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int width(const RECT& r) { return r.right - r.left; }
int height(const RECT& r) { return r.bottom - r.top; }

// The icon sizes a resource of the program holds.
std::vector<int> icon_sizes(int id) {
    std::vector<int> sizes;
    HMODULE program = LoadLibraryExW(program_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(program, found)));
    if (group != nullptr) {
        // A group directory: 6 bytes of head (the count at 4), then 14 bytes per image.
        const int count = group[4] | group[5] << 8;
        for (int i = 0; i < count; ++i)
            sizes.push_back(group[6 + 14 * i] == 0 ? 256 : group[6 + 14 * i]);
    }
    FreeLibrary(program);
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

TEST(MainDialogDpi, EveryIconSizeOfTheFourDpisIsInTheProgram) {
    // Large icons of 96, 120, 144 and 192 DPI are 32, 40, 48 and 64 pixels, small ones 16 to 32.
    const std::vector<int> expected = {16, 20, 24, 32, 40, 48, 64};
    EXPECT_EQ(icon_sizes(IDI_PROGRAM), expected);
    EXPECT_EQ(icon_sizes(IDI_SECOND), expected);
}

// Where the banner's picture first turns white (the page of its emblem), on the row at 30 % of the
// banner's height, as a multiple of that height from the banner's left edge: the same at every DPI
// when the picture is scaled by one factor to the control's height. -1 when no white shows.
double first_white_in_banner(HWND dialog, const RECT& banner, RECT client) {
    HDC screen = GetDC(nullptr);
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);
    const int y = banner.top + height(banner) * 3 / 10;
    double found = -1;
    for (int x = std::max(0L, banner.left); x < std::min(banner.right, client.right); ++x) {
        const COLORREF pixel = GetPixel(screen, origin.x + x, origin.y + y);
        if (GetRValue(pixel) >= 0xE0 && GetGValue(pixel) >= 0xE0 && GetBValue(pixel) >= 0xE0) {
            found = static_cast<double>(x - banner.left) / height(banner);
            break;
        }
    }
    ReleaseDC(nullptr, screen);
    return found;
}

bool is_face(COLORREF pixel) { return pixel == GetSysColor(COLOR_BTNFACE); }

TEST(MainDialogDpi, BannerIconsToolbarAndPagesFitAt96To192Dpi) {
    // This process reads other windows' sizes as they are, whatever DPI each has.
    using SetAwareness = BOOL(WINAPI*)(HANDLE);
    if (const auto set_awareness = reinterpret_cast<SetAwareness>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext"))))
        set_awareness(reinterpret_cast<HANDLE>(-4)); // per monitor, version 2
    const ScreenDpi screen;
    double white_at_96 = -1;
    int client_width_at_96 = 0;
    for (const int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(testing::Message() << dpi << " DPI");
        screen.set(static_cast<DWORD>(dpi));
        Program program;
        HWND dialog = program.start_shown();
        ASSERT_NE(dialog, nullptr);
        Sleep(300); // painted
        RECT client = {};
        GetClientRect(dialog, &client);
        RECT window_rect = {};
        GetWindowRect(dialog, &window_rect);
        std::printf("%d DPI: dialog %dx%d, client %ldx%ld", dpi, width(window_rect), height(window_rect),
                    client.right, client.bottom);

        // The banner spans the dialog's width down to the line under it, and its picture fills it
        // at one scale.
        const RECT banner = client_rect_of(dialog, GetDlgItem(dialog, IDC_BANNER));
        const RECT line = client_rect_of(dialog, GetDlgItem(dialog, IDC_BANNER_LINE));
        std::printf(", banner %dx%d at %ld,%ld\n", width(banner), height(banner), banner.left, banner.top);
        EXPECT_EQ(banner.bottom, line.top);
        EXPECT_LE(banner.left, 0);
        EXPECT_GE(banner.right, client.right);
        HDC screen_dc = GetDC(nullptr);
        POINT origin = {0, 0};
        ClientToScreen(dialog, &origin);
        for (const POINT inside :
             {POINT{client.right - 2, banner.bottom / 2}, POINT{client.right - 2, banner.bottom - 1},
              POINT{client.right / 2, banner.bottom - 1}})
            EXPECT_FALSE(is_face(GetPixel(screen_dc, origin.x + inside.x, origin.y + inside.y)))
                << "the picture reaches " << inside.x << "," << inside.y;
        ReleaseDC(nullptr, screen_dc);
        const double white = first_white_in_banner(dialog, banner, client);
        EXPECT_GT(white, 0);
        if (dpi == 96) {
            white_at_96 = white;
            client_width_at_96 = client.right;
        } else {
            EXPECT_NEAR(white, white_at_96, 0.05) << "the picture keeps its proportions";
            // Dialog units follow the font, which grows about as the DPI does.
            EXPECT_GT(client.right, client_width_at_96 * dpi / 96 * 85 / 100);
        }

        // The generation page's icons at the DPI's large icon size.
        HWND page = Program::page_with(dialog, IDC_START);
        int icons = 0;
        for (HWND child = GetWindow(page, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t kind[16] = {};
            GetClassNameW(child, kind, 16);
            if (std::wstring(kind) != L"Static" ||
                (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
                continue;
            ++icons;
            RECT icon = {};
            GetWindowRect(child, &icon);
            EXPECT_EQ(width(icon), 32 * dpi / 96);
            EXPECT_EQ(height(icon), 32 * dpi / 96);
        }
        EXPECT_EQ(icons, 2);

        // The toolbar where its placeholder is, 24 pixels high at 96 DPI, inside the dialog.
        HWND toolbar = FindWindowExW(dialog, nullptr, TOOLBARCLASSNAMEW, nullptr);
        const RECT bar = client_rect_of(dialog, toolbar);
        const RECT place = client_rect_of(dialog, GetDlgItem(dialog, IDC_TOOLBAR_PLACE));
        EXPECT_EQ(bar.left, place.left);
        EXPECT_EQ(bar.top, place.top);
        EXPECT_EQ(height(bar), MulDiv(24, dpi, 96));
        EXPECT_LE(bar.bottom, client.bottom);

        // Every page one pixel inside the page area's frame.
        const RECT box = client_rect_of(dialog, GetDlgItem(dialog, IDC_PAGE_AREA));
        for (const int control : {IDC_START, IDC_SYSTEM_LINE, IDC_RECOMMEND, IDC_CHECK_START}) {
            const RECT shown = client_rect_of(dialog, Program::page_with(dialog, control));
            EXPECT_EQ(shown.left, box.left + 1) << "page of control " << control;
            EXPECT_EQ(shown.top, box.top + 1) << "page of control " << control;
            EXPECT_EQ(width(shown), width(box) - 2) << "page of control " << control;
            EXPECT_EQ(height(shown), height(box) - 2) << "page of control " << control;
        }

        // Every control of the generation and Check pages lies inside its page.
        for (const int control : {IDC_START, IDC_CHECK_START}) {
            HWND page_window = Program::page_with(dialog, control);
            const RECT shown = client_rect_of(dialog, page_window);
            for (HWND child = GetWindow(page_window, GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                const RECT inside = client_rect_of(dialog, child);
                EXPECT_TRUE(inside.left >= shown.left && inside.top >= shown.top &&
                            inside.right <= shown.right && inside.bottom <= shown.bottom)
                    << "control " << GetDlgCtrlID(child) << " of the page of " << control;
            }
        }

        // The run options dialog: every control inside its client area.
        PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS, BN_CLICKED), 0);
        HWND options = nullptr;
        ASSERT_TRUE(wait_until([&] { return visible(options = FindWindowW(L"#32770", L"Run options")); }));
        RECT options_client = {};
        GetClientRect(options, &options_client);
        for (HWND child = GetWindow(options, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            const RECT inside = client_rect_of(options, child);
            EXPECT_TRUE(inside.left >= 0 && inside.top >= 0 && inside.right <= options_client.right &&
                        inside.bottom <= options_client.bottom)
                << "control " << GetDlgCtrlID(child) << " of the options";
        }
        PostMessageW(options, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(wait_until([&] { return !visible(options); }));

        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(program.exit_code(), 1);
    }
}

} // namespace
