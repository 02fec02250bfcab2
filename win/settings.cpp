// The settings file: an INI file named after the executable, read and written through the
// system's profile functions, nothing cached.
#include "win/settings.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/language_default.h"
#include "core/rules/settings_rules.h"
#include "platform/wide_text.h"
#include "platform/win32_handles.h"

std::u16string settings_path;

namespace {

constexpr wchar_t kSection[] = L"Program";
// Integers travel as text through buffers of this many characters.
constexpr DWORD kNumberCapacity = 1024;

// A new file gets only the UTF-16LE byte-order mark. The profile functions write a file that is
// empty or new in the ANSI code page, where a Greek or Chinese folder name turns into "?"; a
// file that starts with the mark stays UTF-16 and keeps every character. Closes the file; false
// when the mark did not get into it.
bool create_settings_file(FileHandle file) {
    static constexpr BYTE kByteOrderMark[] = {0xFF, 0xFE};
    return write_all(file.get(), kByteOrderMark, sizeof kByteOrderMark) && CloseHandle(file.release());
}

} // namespace

std::u16string executable_path() {
    // Grows past MAX_PATH instead of taking a cut path, whose last "." could lie in a folder name.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return from_wide(buffer.data(), length);
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

void init_settings(std::u16string_view exe_path) {
    settings_path = settings_path_for(exe_path.empty() ? std::u16string_view(executable_path()) : exe_path);

    // The probe leaves an existing file exactly as it is, read-only or hidden or not.
    const FileHandle existing(CreateFileW(wide(settings_path), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!existing) {
        FileHandle file(CreateFileW(wide(settings_path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        // Only a file this call made is ours to fill and hide; one that appeared since the probe
        // belongs to someone else.
        if (file && GetLastError() != ERROR_ALREADY_EXISTS) {
            if (create_settings_file(std::move(file)))
                SetFileAttributesW(wide(settings_path), FILE_ATTRIBUTE_HIDDEN);
            else // left empty, it would pass for an existing file at every start and never be marked
                DeleteFileW(wide(settings_path));
        }
    }

    language_index = language_for_identifier(GetUserDefaultLangID());
    // Unchecked: the catalogue falls back to English for an index that names no language.
    language_index = read_setting_int(u"lng", language_index);
}

int32_t read_setting_int(const char16_t* key, int32_t default_value) {
    const std::u16string default_text = format_ascii("%d", default_value);
    wchar_t text[kNumberCapacity];
    const DWORD length = GetPrivateProfileStringW(kSection, wide(key), wide(default_text), text,
                                                  kNumberCapacity, wide(settings_path));
    return settings_int_from_text(std::u16string_view(utf16(text), length), default_value);
}

void write_setting_int(const char16_t* key, int32_t value) {
    write_setting_text(key, format_ascii("%d", value).c_str());
}

void read_setting_text(const char16_t* key, char16_t* buffer, uint32_t capacity) {
    if (capacity == 0)
        return;
    // The default is copied first: the profile function is not promised to read its default
    // from the buffer it is writing into.
    const std::u16string default_text(buffer, std::find(buffer, buffer + capacity - 1, u'\0'));
    GetPrivateProfileStringW(kSection, wide(key), wide(default_text), wide(buffer), capacity,
                             wide(settings_path));
}

void write_setting_text(const char16_t* key, const char16_t* text) {
    WritePrivateProfileStringW(kSection, wide(key), wide(text), wide(settings_path));
}
