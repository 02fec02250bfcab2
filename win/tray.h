// The tray object: the program's icon in the notification area, its watchdog, and the minimise
// animation into it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/win32_handles.h"

class CToTray {
public:
    CToTray();
    // Stops the watchdog (it can no longer touch the notification area), then deletes the icon.
    virtual ~CToTray();
    CToTray(const CToTray&) = delete;
    CToTray& operator=(const CToTray&) = delete;

    // The window that owns the icon and receives its callback message.
    void bind_window(HWND owner) { window = owner; }
    // Stores icon and tip, adds the icon and, with `watchdog`, (re)starts the thread that puts it
    // back whenever the notification area has lost it.
    void create(int32_t icon, const wchar_t* tip_text, bool watchdog);
    void add_icon();
    // True while the notification area still holds the icon.
    bool check_icon();
    // Plays the minimise animation from `window` towards the notification area and hides `window`.
    void hide_to_tray();
    // Sends one request; the icon, if any, is destroyed afterwards.
    static BOOL notify(HWND owner, DWORD request, int32_t identifier, HICON icon, const wchar_t* tip_text);

    DWORD thread_id = 0;
    ObjectHandle thread;
    wchar_t tip[1024];
    int32_t icon_id = 0;
    HWND window = nullptr;

private:
    HICON load_small_icon() const;
    void stop_watchdog();
    static DWORD WINAPI watchdog(void* self);
    ObjectHandle stop_;
};

// The icon's callback message at the hidden main window.
inline constexpr UINT kTrayCallback = WM_APP + 100;

// Left or right press on the icon: shows the dialog in front of everything, or hides it.
void toggle_dialog(HWND dialog, UINT mouse_message);
