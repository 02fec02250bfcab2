// The tray object: the program's icon in the notification area, bound to the hidden main window.
#pragma once

#include <windows.h>

class CToTray {
public:
    virtual ~CToTray() = default;

    // The window that receives the icon's notifications.
    void bind_window(HWND window) { owner = window; }

    HWND owner = nullptr;
};
