// Target of the minimise animation.
#include "core/rules/tray_rules.h"

TrayRect tray_target(const TrayDesktop& desktop) {
    if (desktop.has_notify_area)
        return desktop.notify_area;
    if (desktop.has_taskbar_position) {
        const TrayRect& rc = desktop.taskbar_position;
        switch (desktop.taskbar_edge) {
        case 0:
        case 2:
            return {rc.left, rc.bottom - 100, rc.right, rc.bottom - 16};
        case 1:
        case 3:
            return {rc.right - 100, rc.top, rc.right - 16, rc.bottom};
        default:
            return {};
        }
    }
    if (desktop.has_taskbar) {
        TrayRect rc = desktop.taskbar;
        if (rc.right - rc.left > 150)
            rc.left = rc.right - 150;
        if (rc.bottom - rc.top > 30)
            rc.top = rc.bottom - 30;
        return rc;
    }
    TrayRect rc = desktop.work_area;
    rc.left = rc.right - 150;
    rc.top = rc.bottom - 30;
    return rc;
}
