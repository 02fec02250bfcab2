// The Info page: version, system and the maker's details.
#pragma once

#include <windows.h>

// Puts the page's texts on its controls; the system line only when the page is being shown.
void apply_info_texts(HWND page, bool with_system_line);
