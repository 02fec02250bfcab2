// The generation page: folder, count, size, type, Start/Cancel and the progress of a run.
#pragma once

#include <windows.h>

// Labels, button and the type list (emptied, refilled, the stored type selected again).
void apply_generation_page_texts(HWND page);
