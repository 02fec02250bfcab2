// The interface language a user starts in, from the system's idea of the user's language.
#pragma once

#include <cstdint>
#include <string_view>

// From a Windows language identifier: primary language in the low 10 bits, sublanguage in the
// high 6. German, English, Russian, Swedish, French, Romanian, Greek, Persian, and Chinese of
// Taiwan have a catalogue language; everything else starts in English.
int32_t language_for_identifier(uint16_t identifier);

// From a POSIX locale name ("de_DE.UTF-8", "zh_TW", "C"), by way of the same table.
int32_t language_for_locale(std::string_view locale);
