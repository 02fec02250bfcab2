// Where the minimise animation into the notification area ends: a pure function of what the
// desktop offers, so every rule can be checked without a shell.
#pragma once

#include <cstdint>

struct TrayRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const TrayRect&) const = default;
};

struct TrayDesktop {
    bool has_notify_area = false; // the taskbar and its notification area child
    TrayRect notify_area;
    bool has_taskbar_position = false; // the shell's answer about the taskbar
    TrayRect taskbar_position;
    uint32_t taskbar_edge = 0; // 0 left, 1 top, 2 right, 3 bottom
    bool has_taskbar = false;  // the taskbar window itself
    TrayRect taskbar;
    TrayRect work_area;
};

// The first rule that applies: the notification area; a spot near the end of the taskbar the
// shell reports; the right end of the taskbar window; a 150 x 30 box at the bottom right of the
// work area.
TrayRect tray_target(const TrayDesktop& desktop);
