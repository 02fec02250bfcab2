// The string catalogue: the built-in UTF-16 text unpacked once at start-up, cut into sections in
// place, and looked up by number with a fallback to English.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

inline constexpr int kMaxLanguages = 32;
inline constexpr int kTextSlots = 256;
inline constexpr int kGerman = 0;
inline constexpr int kEnglish = 1;
inline constexpr std::size_t kCatalogueBytes = 100000;

// One slot per string number: a zero-terminated text inside its section, or null for none.
using TextTable = char16_t* [kTextSlots];

// The built-in catalogue: the decoded text, cut in place, and the tables that point into it.
// unpack_catalogue fills them at start-up; afterwards every thread only reads them.
struct CatalogueTables {
    char16_t text[kCatalogueBytes / 2];
    int32_t language_count = 0;
    char16_t* language_names[kMaxLanguages];
    TextTable language_texts[kMaxLanguages];
    int32_t language_percent[kMaxLanguages];
    TextTable common_texts;
    // The English section as it stood before it was cut into lines; the translation template.
    std::u16string english_section;
};
extern CatalogueTables catalogue_tables;
// The active language: 0 German, 1 English, 2 Russian, ... (read by the worker thread too).
extern std::atomic<int32_t> language_index;

// Unpacks the stream embedded in the program. Returns true on success.
bool unpack_catalogue();
// The same from any stream: rebuilds every table except the loaded ones.
bool unpack_catalogue_from(const uint8_t* stream, int32_t size);

// Clears table, then fills it from the "N=text" lines of text, which it cuts in place. A line
// ends at LF (a CR before it is dropped); text after the last LF is not read; null text leaves
// the table empty.
void parse_section(char16_t* text, TextTable& table);

// True for an entry that holds a text: neither none nor empty.
inline bool has_text(const char16_t* text) { return text != nullptr && *text != 0; }

// A loaded translation file: its text, cut in place, and the table that points into it.
struct LoadedTexts {
    std::u16string text;
    TextTable table = {};
};

// The translation files the user loaded. `table` is the table of the one loaded last (null before
// the first); while `active` is set it replaces every built-in language. A published table is
// never changed; it is freed at the second load after it (see set_loaded_texts). The last one and
// the one before it are kept in memory, and `guard` guards their freeing against copies being made
// from them. Lookups are rare (a few per progress report), so one lock costs nothing measurable.
struct LoadedTranslations {
    std::atomic<const TextTable*> table{nullptr};
    std::atomic<bool> active{false};
    std::mutex guard;
    std::unique_ptr<LoadedTexts> now;
    std::unique_ptr<LoadedTexts> before;
};
extern LoadedTranslations loaded_translations;

// Makes `loaded` the table of every lookup (on the thread that loads translations: the UI thread).
// The one before it stays, so a text that thread was handed before still holds; older ones are
// freed, never while text() is copying from them.
void set_loaded_texts(std::unique_ptr<LoadedTexts> loaded);
// How many loaded tables are in memory: at most two.
int kept_loaded_texts();

// Text of string number n in the active language, the English one where it has none, or null.
// The text of a loaded translation lasts until the second load after the lookup: threads other
// than the one that loads take text() (text_ids.h), a copy made under the lock that guards the
// freeing of loaded tables.
const char16_t* get_text(int n);
// Text n of the language-independent section, or null.
const char16_t* get_common_text(int n);
