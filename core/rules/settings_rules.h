// The parts of the settings file and the autostart entry that need no window system: where the
// file lies, how a stored integer reads back, and the command the log-on entry must hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The settings file of an executable: everything from the last "." of the whole path replaced
// by ".ini", or ".ini" appended when there is no "." at all. A "." in a folder name counts too.
std::u16string settings_path_for(std::u16string_view exe_path);

// A stored integer as leading_int32 reads it (the C library's base-10 strtol, limited to 32 bits);
// an empty text (a key present with nothing after "=") gives `default_value`.
int32_t settings_int_from_text(std::u16string_view text, int32_t default_value);

// What the log-on entry starts: the quoted executable path and the background switch.
std::u16string autostart_command(std::u16string_view exe_path);
