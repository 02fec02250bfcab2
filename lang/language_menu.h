// The language menu under the toolbar's language button, the translator's template and loading a
// translation file.
#pragma once

#include <windows.h>

#include <string>

// Opens the menu under the language button and carries out the chosen command; every command
// stores the language index under "lng", a dismissed menu stores nothing.
void show_language_menu(HWND owner);
// Writes the English string list with the translator's instructions to the temporary folder and
// opens it in the system's editor for text files.
void write_translation_template();
// The file's text (UTF-16LE after FF FE, otherwise the ANSI code page); false when it cannot be read.
bool read_text_file(const std::wstring& path, std::u16string& text);
// Loads a translation file, reports its completeness and puts its texts up.
void load_translation(const std::wstring& path);
// Asks for a file with the open-file dialog, then loads it.
void choose_translation_file();
