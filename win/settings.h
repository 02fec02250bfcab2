// The settings file beside the executable: its creation at start-up and the four accessors on
// its section "Program". UI thread only; failures are silent and leave the defaults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Full path of the settings file; set once by init_settings.
extern std::u16string settings_path;

// Full path of the running executable.
std::u16string executable_path();

// Start-up: finds the settings file of `exe_path` (empty: the running executable), creates it
// hidden when it is missing, and sets language_index from the key "lng", defaulting to the
// user's language.
void init_settings(std::u16string_view exe_path = {});

// The stored integer, or `default_value` when the key is missing or empty.
int32_t read_setting_int(const char16_t* key, int32_t default_value);
void write_setting_int(const char16_t* key, int32_t value);

// `buffer` holds the default on entry; a stored text replaces it, cut to capacity - 1 characters.
void read_setting_text(const char16_t* key, char16_t* buffer, uint32_t capacity);
void write_setting_text(const char16_t* key, const char16_t* text);
