// Translation files and the translator's template: reading a file's bytes as text, making a
// loaded translation the interface's texts, the completeness report, the template's name and text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/lang/catalogue.h"

// Turns 8-bit text in the system's code page into UTF-16 (the whole text at once, so no
// multi-byte character is ever split).
using AnsiDecoder = std::u16string (*)(std::string_view bytes);

// The most of a translation file that is read: a whole translation takes some 20 KB, so a larger
// file is no translation, and must not take the memory of its size.
inline constexpr size_t kMostTranslationBytes = size_t{1} << 20;

// A text file's bytes as text: UTF-16LE after a leading FF FE, otherwise 8-bit text through
// `decode`; only the first kMostTranslationBytes count. Zero characters are dropped, since the
// catalogue's line rules end a text at one; an odd last byte of a UTF-16 file is dropped too.
std::u16string decode_text_file(std::string_view bytes, AnsiDecoder decode);

// Makes `text` (a translation file's whole text) the loaded translation and switches every
// lookup to it (set_loaded_texts: the one before stays, older ones go).
void install_translation(std::u16string text);

// "N %" for the share of English numbers that `loaded` translates, or, for a translation that
// names its language, that name and the figure as the language menu shows them
// (language_menu_item); followed, when any is missing, by the miss list: "\n\nmiss:\n", the first
// nine as "N=English text\n", then "........\n" and every further one as "N,".
std::u16string completeness_report(const TextTable& loaded, const TextTable& english,
                                   std::u16string_view name = {});
// The language a translation file names in its first "##=" line (as the template does): the rest
// of that line; empty when it names none.
std::u16string translation_name(std::u16string_view text);

// A language menu item: the display name, " / ", the completeness and " %". A part of the name
// (on either side of its tab) in a right-to-left script is isolated (U+2068 ... U+2069), so the
// item reads "name / N %" in that order whatever the script.
std::u16string language_menu_item(std::u16string_view display_name, int percent);

// "translate_" + the program's name and version with every blank made "_" + ".txt".
std::u16string translation_template_name(std::u16string_view name_and_version);

// The template's text (without its byte-order mark): the request line with the program's name
// and version, the translation request, the English mark line and the English section.
std::u16string translation_template_text(std::u16string_view name_and_version, std::u16string_view request,
                                         std::u16string_view english_name, std::u16string_view english);
// The same from the built-in catalogue (the name and version, the translation request, the English name and
// section).
std::u16string translation_template_text();
