// Translation files: decoding, the loaded table, the completeness report and the template.
#include "core/lang/translation.h"

#include <algorithm>
#include <memory>

#include "core/base/text.h"
#include "core/lang/text_ids.h"

namespace {

// Letters of the right-to-left scripts: Hebrew, Arabic, Syriac, Thaana, NKo, Samaritan, Mandaic
// and their presentation forms. Only a part that holds one needs isolating; left-to-right text
// stays as it is, since some fonts draw the isolates as boxes.
bool is_right_to_left(char16_t c) {
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFC);
}

std::u16string without_zeros(std::u16string text) {
    text.erase(std::remove(text.begin(), text.end(), u'\0'), text.end());
    return text;
}

} // namespace

std::u16string decode_text_file(std::string_view bytes, AnsiDecoder decode) {
    bytes = bytes.substr(0, kMostTranslationBytes);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string text((bytes.size() - 2) / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                            static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);
        return without_zeros(std::move(text));
    }
    return without_zeros(decode(bytes));
}

void install_translation(std::u16string text) {
    // Only the UI thread loads; lookups on other threads copy their texts (text()), so a table
    // can go once two newer ones have come.
    auto loaded = std::make_unique<LoadedTexts>();
    loaded->text = std::move(text);
    parse_section(loaded->text.data(), loaded->table);
    set_loaded_texts(std::move(loaded));
}

std::u16string completeness_report(const TextTable& loaded, const TextTable& english,
                                   std::u16string_view name) {
    int counted = 0;
    int translated = 0;
    int missing = 0;
    std::u16string misses = u"\n\nmiss:\n";
    for (int n = 0; n < kTextSlots; ++n) {
        if (!has_text(english[n]))
            continue;
        ++counted;
        if (has_text(loaded[n])) {
            ++translated;
            continue;
        }
        ++missing;
        if (missing <= 9) {
            misses += format_ascii("%d=", n) + english[n] + u"\n";
        } else {
            if (missing == 10)
                misses += u"........\n";
            misses += format_ascii("%d,", n);
        }
    }
    // With no English texts there is nothing to be complete against: 0 %, as in the catalogue.
    const int percent = counted > 0 ? static_cast<int>(100.0 * translated / counted) : 0;
    std::u16string report = name.empty() ? format_ascii("%d %%", percent) : language_menu_item(name, percent);
    if (missing > 0)
        report += misses;
    return report;
}

std::u16string translation_name(std::u16string_view text) {
    for (size_t line = 0; line < text.size();) {
        size_t end = text.find_first_of(u"\r\n", line);
        if (end == std::u16string_view::npos)
            end = text.size();
        if (text.substr(line, 3) == u"##=")
            return std::u16string(text.substr(line + 3, end - line - 3));
        line = end + 1;
    }
    return {};
}

std::u16string language_menu_item(std::u16string_view display_name, int percent) {
    // The part after a tab stands in the menu's right-hand column, so each part is a paragraph of
    // its own and is isolated on its own.
    std::u16string item;
    for (size_t start = 0;;) {
        const size_t tab = display_name.find(u'\t', start);
        const std::u16string_view part =
            display_name.substr(start, tab == std::u16string_view::npos ? tab : tab - start);
        if (std::any_of(part.begin(), part.end(), is_right_to_left))
            item.append(u"\u2068").append(part).append(u"\u2069");
        else
            item.append(part);
        if (tab == std::u16string_view::npos)
            break;
        item += u'\t';
        start = tab + 1;
    }
    return item + format_ascii(" / %d %%", percent);
}

std::u16string translation_template_name(std::u16string_view name_and_version) {
    std::u16string name(name_and_version);
    std::replace(name.begin(), name.end(), u' ', u'_');
    return u"translate_" + name + u".txt";
}

std::u16string translation_template_text(std::u16string_view name_and_version, std::u16string_view request,
                                         std::u16string_view english_name, std::u16string_view english) {
    std::u16string text = u"\r\nPlease don't forget! Write in e-mail subject: Strings for: ";
    text.append(name_and_version).append(u" and Language Name : German / Deutsch ").append(u"\r\n\r\n");
    text.append(request).append(u"\r\n\r\n");
    text.append(u"##=").append(english_name).append(u"\r\n\r\n");
    text.append(english).append(u"\r\n\r\n");
    return text;
}

std::u16string translation_template_text() {
    return translation_template_text(
        common_text(kCommonNameAndVersion), common_text(kCommonTranslationRequest),
        catalogue_tables.language_count > kEnglish ? text_of(catalogue_tables.language_names[kEnglish]) : u"",
        catalogue_tables.english_section);
}
