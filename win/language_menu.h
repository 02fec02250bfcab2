// The language menu under the toolbar's language button, the translator's template and loading a
// translation file.
#pragma once

#include <windows.h>

#include <string>

// Opens the menu under the toolbar's language button and carries out the chosen command; every
// command stores the language index under "lng", a dismissed menu stores nothing. True when the
// texts changed (another language, or a loaded translation), for the caller to put them up.
bool show_language_menu(HWND owner, HWND toolbar);
// Writes the English string list with the translator's instructions to the temporary folder and
// opens it in the system's editor for text files. A list that could not be written whole is
// deleted and not opened.
void write_translation_template();
// The file's text (UTF-16LE after FF FE, otherwise the ANSI code page); false when it cannot be read.
bool read_text_file(const std::wstring& path, std::u16string& text);
// Loads a translation file and reports its completeness in a box owned by `owner`.
void load_translation(const std::wstring& path, HWND owner);
// Asks for a file with the open-file dialog, then loads it; true when one was loaded.
bool choose_translation_file(HWND owner);
