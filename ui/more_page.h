// The More page: recommendation mail and the maker's site.
#pragma once

#include <windows.h>

void apply_more_page_texts(HWND page);
