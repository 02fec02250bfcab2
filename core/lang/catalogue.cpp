// String catalogue: unpacking, section and line rules, lookups.
#include "core/lang/catalogue.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <mutex>
#include <string_view>

#include "core/base/text.h"
#include "core/lang/catalogue_stream.h"
#include "core/lang/lzari.h"
#include "core/lang/text_ids.h"

static_assert(std::endian::native == std::endian::little, "the catalogue is UTF-16LE, read in place");

CatalogueTables catalogue_tables;
LoadedTranslations loaded_translations;
std::atomic<int32_t> language_index{kEnglish};

namespace {

void apply_line(char16_t* line, TextTable& table) {
    char16_t* equals = line;
    while (*equals != 0 && *equals != u'=')
        ++equals;
    if (*equals == 0)
        return;
    // Out-of-range numbers saturate, and are refused like any other outside the table.
    const int32_t n = leading_int32(std::u16string_view(line, static_cast<size_t>(equals - line)));
    if (n >= 0 && n < kTextSlots)
        table[n] = equals + 1;
}

// Common texts carry real line breaks: "\r" and "\n" become CR and LF; every other unit,
// a lone backslash included, stays as written.
void unescape_line_breaks(char16_t* text) {
    char16_t* out = text;
    for (const char16_t* in = text; *in != 0;) {
        if (in[0] == u'\\' && (in[1] == u'r' || in[1] == u'n')) {
            *out++ = in[1] == u'r' ? u'\r' : u'\n';
            in += 2;
        } else {
            *out++ = *in++;
        }
    }
    *out = 0;
}

// What a lookup shows for a number a loaded translation lacks. One fixed text per number, made
// once and never written again, so a text one thread shows cannot change under it.
const char16_t* miss_text(int n) {
    static const auto texts = [] {
        std::array<std::array<char16_t, 12>, kTextSlots> all{};
        for (int i = 0; i < kTextSlots; ++i) {
            const std::string ascii = "Str:" + std::to_string(i) + "?";
            std::copy(ascii.begin(), ascii.end(), all[i].begin());
        }
        return all;
    }();
    return texts[n].data();
}

} // namespace

void parse_section(char16_t* text, TextTable& table) {
    std::fill(std::begin(table), std::end(table), nullptr);
    if (text == nullptr)
        return;
    const std::size_t length = std::char_traits<char16_t>::length(text);
    char16_t* line = text;
    for (std::size_t k = 0; k < length; ++k) {
        if (text[k] != u'\n')
            continue;
        text[k] = 0;
        if (k > 0 && text[k - 1] == u'\r')
            text[k - 1] = 0;
        apply_line(line, table);
        line = text + k + 1;
    }
}

bool unpack_catalogue() {
    const CatalogueStream stream = embedded_catalogue_stream();
    if (stream.data == nullptr)
        return false;
    return unpack_catalogue_from(stream.data, stream.size);
}

bool unpack_catalogue_from(const uint8_t* stream, int32_t size) {
    std::memset(catalogue_tables.text, 0, sizeof catalogue_tables.text);
    std::size_t bytes;
    {
        LZARI decoder;
        decoder.in_size = size;
        decoder.out_capacity = static_cast<int32_t>(kCatalogueBytes);
        decoder.decode_memory(stream, reinterpret_cast<uint8_t*>(catalogue_tables.text));
        // The text and its two-byte terminator must fit the block; a longer text is cut there.
        bytes = std::min<std::size_t>(decoder.text_size, kCatalogueBytes - 2);
    }
    const std::size_t end = bytes / 2; // the terminator; an odd last byte is dropped
    catalogue_tables.text[end] = 0;
    char16_t* const t = catalogue_tables.text;

    catalogue_tables.language_count = 0;
    char16_t* section_start[kMaxLanguages] = {};
    std::fill(std::begin(catalogue_tables.language_names), std::end(catalogue_tables.language_names),
              nullptr);
    char16_t* common = nullptr;
    int marks = 0;
    for (std::size_t j = 0; j + 1 < end;) {
        if (t[j] != u'#' || t[j + 1] != u'#') {
            ++j;
            continue;
        }
        t[j] = 0;
        std::size_t resume = j + 2;
        const int mark = marks++;
        if (mark == 0) {
            common = t + std::min(j + 4, end);
        } else if (mark >= 3 && catalogue_tables.language_count < kMaxLanguages) {
            const int i = catalogue_tables.language_count++;
            if (t[j + 2] == u'=') {
                // "##=name": the name runs to the end of its line; a name that runs to the end
                // of the text leaves its language without texts.
                std::size_t cr = j + 3;
                while (cr < end && t[cr] != u'\r')
                    ++cr;
                catalogue_tables.language_names[i] = t + j + 3;
                t[cr] = 0;
                section_start[i] = t + std::min(cr + 1, end);
                resume = std::min(cr + 1, end);
            } else {
                section_start[i] = t + std::min(j + 4, end);
            }
        }
        j = resume;
    }

    catalogue_tables.english_section.clear();
    if (catalogue_tables.language_count > kEnglish)
        catalogue_tables.english_section = section_start[kEnglish];

    for (int i = 0; i < kMaxLanguages; ++i)
        parse_section(i < catalogue_tables.language_count ? section_start[i] : nullptr,
                      catalogue_tables.language_texts[i]);

    int reference = 0;
    for (int n = 0; n < kTextSlots; ++n)
        reference += has_text(catalogue_tables.language_texts[kEnglish][n]);
    for (int i = 0; i < kMaxLanguages; ++i) {
        int translated = 0;
        for (int n = 0; n < kTextSlots; ++n)
            translated += has_text(catalogue_tables.language_texts[kEnglish][n]) &&
                          has_text(catalogue_tables.language_texts[i][n]);
        // With no English texts there is nothing to be complete against: 0 %.
        catalogue_tables.language_percent[i] = i < catalogue_tables.language_count && reference > 0
                                                   ? static_cast<int32_t>(100.0 * translated / reference)
                                                   : 0;
    }

    parse_section(common, catalogue_tables.common_texts);
    for (char16_t* text : catalogue_tables.common_texts)
        if (text != nullptr)
            unescape_line_breaks(text);
    return true;
}

const char16_t* get_text(int n) {
    if (n < 0 || n >= kTextSlots)
        return nullptr;
    if (loaded_translations.active.load(std::memory_order_acquire)) {
        const TextTable* loaded = loaded_translations.table.load(std::memory_order_acquire);
        return loaded != nullptr && (*loaded)[n] != nullptr ? (*loaded)[n] : miss_text(n);
    }
    const int32_t active = language_index.load(std::memory_order_relaxed);
    if (active >= 0 && active < kMaxLanguages && active < catalogue_tables.language_count &&
        catalogue_tables.language_texts[active][n] != nullptr)
        return catalogue_tables.language_texts[active][n];
    return catalogue_tables.language_texts[kEnglish][n];
}

void set_loaded_texts(std::unique_ptr<LoadedTexts> loaded) {
    std::unique_ptr<LoadedTexts> retired;
    {
        std::lock_guard lock(loaded_translations.guard);
        retired = std::move(loaded_translations.before);
        loaded_translations.before = std::move(loaded_translations.now);
        loaded_translations.now = std::move(loaded);
        loaded_translations.table.store(&loaded_translations.now->table, std::memory_order_release);
        loaded_translations.active.store(true, std::memory_order_release);
    }
    // Freed outside the lock: no copy waits for a large text to go.
}

int kept_loaded_texts() {
    std::lock_guard lock(loaded_translations.guard);
    return (loaded_translations.now != nullptr) + (loaded_translations.before != nullptr);
}

// A copy made under the lock, so a loaded table is never freed while its text is copied: any
// thread may ask.
std::u16string text(TextId id) {
    std::lock_guard lock(loaded_translations.guard);
    return text_of(get_text(id));
}

const char16_t* get_common_text(int n) {
    return n >= 0 && n < kTextSlots ? catalogue_tables.common_texts[n] : nullptr;
}

std::u16string common_text(CommonTextId id) { return text_of(get_common_text(id)); }
