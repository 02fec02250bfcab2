// CToTray: the notification-area icon and its watchdog.
#include "win/tray.h"

#include <shellapi.h>

#include <cwchar>

#include "core/rules/tray_rules.h"
#include "win/controls.h"

namespace {

TrayRect to_tray_rect(const RECT& rc) { return {rc.left, rc.top, rc.right, rc.bottom}; }

} // namespace

CToTray::CToTray() { tip[0] = 0; }

CToTray::~CToTray() {
    stop_watchdog();
    notify(window, NIM_DELETE, icon_id, nullptr, nullptr);
}

void CToTray::create(int32_t icon, const wchar_t* tip_text, bool watchdog_on) {
    icon_id = icon;
    std::wcsncpy(tip, tip_text != nullptr ? tip_text : L"", 1023);
    tip[1023] = 0;
    add_icon();
    if (watchdog_on) {
        stop_watchdog();
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        thread.reset(CreateThread(nullptr, 0, watchdog, this, 0, &thread_id));
    }
}

HICON CToTray::load_small_icon() const {
    return static_cast<HICON>(LoadImageW(app_instance, MAKEINTRESOURCEW(icon_id & 0xFFFF), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
}

void CToTray::add_icon() { notify(window, NIM_ADD, icon_id, load_small_icon(), tip); }

bool CToTray::check_icon() { return notify(window, NIM_MODIFY, icon_id, load_small_icon(), tip) != FALSE; }

BOOL CToTray::notify(HWND owner, DWORD request, int32_t identifier, HICON icon, const wchar_t* tip_text) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data; // the full record: 976 bytes
    data.hWnd = owner;
    data.uID = static_cast<UINT>(identifier);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayCallback;
    data.hIcon = icon;
    if (tip_text != nullptr) {
        std::wcsncpy(data.szTip, tip_text, 127);
        data.szTip[127] = 0;
    }
    const BOOL done = Shell_NotifyIconW(request, &data);
    if (icon != nullptr)
        DestroyIcon(icon);
    return done;
}

DWORD WINAPI CToTray::watchdog(void* self) {
    auto* tray = static_cast<CToTray*>(self);
    // The pause is the wait for the stop signal: a stop ends it at once.
    while (WaitForSingleObject(tray->stop_.get(), 5000) == WAIT_TIMEOUT) {
        if (!tray->check_icon())
            tray->add_icon();
    }
    return 0;
}

void CToTray::stop_watchdog() {
    if (!thread)
        return;
    SetEvent(stop_.get());
    // A check or an add in progress finishes first; after this no request comes from the thread.
    WaitForSingleObject(thread.get(), INFINITE);
    thread.reset();
    stop_.reset();
    thread_id = 0;
}

void CToTray::hide_to_tray() {
    ANIMATIONINFO animation = {sizeof animation, 0};
    SystemParametersInfoW(SPI_GETANIMATION, sizeof animation, &animation, 0);
    if (animation.iMinAnimate != 0) {
        RECT start = {};
        GetWindowRect(window, &start);
        TrayDesktop desktop;
        RECT rc = {};
        if (HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr)) {
            desktop.has_taskbar = GetWindowRect(taskbar, &rc) != 0;
            desktop.taskbar = to_tray_rect(rc);
            if (HWND area = FindWindowExW(taskbar, nullptr, L"TrayNotifyWnd", nullptr)) {
                desktop.has_notify_area = GetWindowRect(area, &rc) != 0;
                desktop.notify_area = to_tray_rect(rc);
            }
        }
        APPBARDATA bar = {};
        bar.cbSize = sizeof bar;
        if (SHAppBarMessage(ABM_GETTASKBARPOS, &bar)) {
            desktop.has_taskbar_position = true;
            desktop.taskbar_position = to_tray_rect(bar.rc);
            desktop.taskbar_edge = bar.uEdge;
        }
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &rc, 0);
        desktop.work_area = to_tray_rect(rc);
        const TrayRect target = tray_target(desktop);
        const RECT end = {target.left, target.top, target.right, target.bottom};
        DrawAnimatedRects(window, IDANI_CAPTION, &start, &end);
    }
    ShowWindow(window, SW_HIDE);
}

void toggle_dialog(HWND dialog, UINT mouse_message) {
    if (dialog == nullptr || (mouse_message != WM_LBUTTONDOWN && mouse_message != WM_RBUTTONDOWN))
        return;
    if (IsWindowVisible(dialog)) {
        ShowWindow(dialog, SW_HIDE);
        return;
    }
    ShowWindow(dialog, SW_SHOW);
    constexpr UINT keep = SWP_NOMOVE | SWP_NOSIZE;
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, keep);
    SetWindowPos(dialog, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
    SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, keep);
    SetForegroundWindow(dialog);
}
