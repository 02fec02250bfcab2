// Language menu and translation files on Windows.
#include "win/language_menu.h"

#include <commdlg.h>
#include <shellapi.h>

#include <string_view>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/lang/translation.h"
#include "platform/wide_text.h"
#include "platform/win32_handles.h"
#include "res/resource.h"
#include "win/controls.h"
#include "win/menu_items.h"
#include "win/settings.h"

namespace {

// A translation is a few dozen kilobytes; reading stops here so a huge file cannot exhaust memory.
constexpr DWORD kMostBytesRead = kMostTranslationBytes;

std::u16string from_ansi(std::string_view bytes) {
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    if (units <= 0)
        return {};
    std::u16string text(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide(text.data()), units);
    return text;
}

std::wstring template_path() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp + std::wstring(wide(translation_template_name(common_text(kCommonNameAndVersion))));
}

} // namespace

bool show_language_menu(HWND owner, HWND toolbar) {
    const PopupMenu menu = make_language_menu();
    if (!menu)
        return false;
    const UINT command = track_toolbar_menu(menu, toolbar, IDM_LANGUAGE_MENU, owner);
    if (command == 0)
        return false;
    bool changed = false;
    if (command >= kFirstLanguageCommand && command <= kLastLanguageCommand) {
        loaded_translations.active = false;
        language_index = static_cast<int32_t>(command - kFirstLanguageCommand);
        changed = true;
    } else if (command == kTranslateCommand) {
        write_translation_template();
    } else if (command == kLoadTranslationCommand) {
        changed = choose_translation_file(owner);
    }
    write_setting_int(u"lng", language_index);
    return changed;
}

void write_translation_template() {
    const std::wstring path = template_path();
    DeleteFileW(path.c_str());
    const std::u16string text = translation_template_text();
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    // A file that could not be deleted first must not keep a longer old tail.
    const bool whole = file && write_all(file.get(), "\xFF\xFE", 2) &&
                       write_all(file.get(), text.data(), text.size() * sizeof(char16_t)) &&
                       SetEndOfFile(file.get()) && CloseHandle(file.release());
    if (!whole) {
        // Half a list would be sent back as a whole one: the translator gets none.
        file.reset();
        DeleteFileW(path.c_str());
        return;
    }
    ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool read_text_file(const std::wstring& path, std::u16string& text) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size = {};
    GetFileSizeEx(file.get(), &size);
    const DWORD wanted = size.QuadPart > kMostBytesRead ? kMostBytesRead : static_cast<DWORD>(size.QuadPart);
    std::string bytes(wanted, '\0');
    DWORD total = 0;
    for (DWORD done = 0; total < wanted; total += done)
        if (!ReadFile(file.get(), bytes.data() + total, wanted - total, &done, nullptr) || done == 0)
            break;
    bytes.resize(total);
    // The whole file is converted at once: a multi-byte character never falls apart.
    text += decode_text_file(bytes, from_ansi);
    return true;
}

void load_translation(const std::wstring& path, HWND owner) {
    std::u16string text;
    read_text_file(path, text); // an unreadable file loads as an empty one
    const std::u16string name = translation_name(text);
    install_translation(std::move(text));
    const std::u16string report = completeness_report(*loaded_translations.table.load(),
                                                      catalogue_tables.language_texts[kEnglish], name);
    MessageBoxW(owner, wide(report), L"Translate", MB_OK);
}

bool choose_translation_file(HWND owner) {
    wchar_t file[MAX_PATH] = {};
    wchar_t title[MAX_PATH] = {};
    OPENFILENAMEW choice = {};
    choice.lStructSize = sizeof choice;
    choice.lpstrFile = file;
    choice.nMaxFile = MAX_PATH;
    choice.lpstrFileTitle = title;
    choice.nMaxFileTitle = MAX_PATH;
    choice.hwndOwner = owner;
    if (!GetOpenFileNameW(&choice))
        return false;
    load_translation(file, owner);
    return true;
}
