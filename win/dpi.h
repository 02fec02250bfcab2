// Sizes at the DPI a window is shown at.
#pragma once

#include <windows.h>

// The window's DPI where the system keeps one per window (per-monitor awareness), else the
// screen's.
UINT window_dpi(HWND window);
// A length of `pixels` at 96 DPI, at `dpi`.
int at_dpi(int pixels, UINT dpi);
// A system metric (SM_CXICON, SM_CXSMICON, ...) at `dpi`.
int metric_at_dpi(int index, UINT dpi);
// Icon resource `id` at the large or small icon size of `dpi`; the caller destroys it.
HICON load_icon_at_dpi(HINSTANCE instance, int id, bool small, UINT dpi);
// Puts bitmap resource `id` on the static `control`, scaled to the control's height and filling
// its width (scale_to_height). The bitmap it replaces is deleted.
void fit_bitmap_to_control(HWND control, HINSTANCE instance, int id);
