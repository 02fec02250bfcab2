// The generation page: folder, count, size, type, Start/Cancel and the progress of a run.
#pragma once

#include <windows.h>

#include <string>

#include "core/run/run.h"

// The parameters of the next run: read from the settings file at the start, written by the page.
extern GenerationSettings generation_settings;

// Labels, button and the type list (emptied, refilled, the stored type selected again).
void apply_generation_page_texts(HWND page);

// The page's buttons: Start/Cancel (1105), browse (2032), size presets (2033); other ids pass.
void page_command(HWND page, int id);
// The shell's folder browser; empty when nothing usable was chosen.
std::u16string browse_folder(HWND owner);
void show_size_menu(HWND page);
