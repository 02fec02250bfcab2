// The Check page: a folder's runs checked byte for byte on a worker thread, with progress, a list
// of the runs and what is wrong with their files, and a summary in bytes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Makes the page as a child of `dialog` (hidden), its folder field showing `folder`.
HWND create_check_page(HWND dialog, const std::u16string& folder);
// Labels, buttons and the list's columns in the active language.
void apply_check_page_texts(HWND page);

// True while a check runs.
bool check_busy();
// For a program that ends: cancels a busy check and waits at most `milliseconds` for its worker.
// True when no check is busy any more.
bool finish_busy_check(int32_t milliseconds);
