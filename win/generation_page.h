// The generation page: folder, count, size, type, Start/Cancel and the progress of a run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/base/size_text.h"
#include "core/run/run.h"

// The largest size a run takes, in kilobytes (2 TiB less 1 KiB), as on the command line.
inline constexpr int64_t kLargestSize = std::numeric_limits<int32_t>::max();
// Why a size field's text cannot be taken, in the active language.
std::u16string size_problem(const std::u16string& typed, SizeText::Status status);

// The parameters of the next run: read from the settings file at the start, written by the page.
extern GenerationSettings generation_settings;

// Labels, button and the type list (emptied, refilled, the stored type selected again).
void apply_generation_page_texts(HWND page);

// Reads the run options from the settings and shows what they change; when the page starts.
void read_generation_options(HWND page);

// The page's buttons: Start/Cancel (1105), browse (2032), size presets (2033), options (2034); a
// new type (1048) renews the options line; other ids pass.
void page_command(HWND page, int id);
// The shell's folder browser; empty when nothing usable was chosen.
std::u16string browse_folder(HWND owner);
void show_size_menu(HWND page);
