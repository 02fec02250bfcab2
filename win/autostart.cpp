// The autostart entry: refreshed in place, so a moved program still starts at log-on.
#include "win/autostart.h"

#include <windows.h>

#include <string>

#include "core/rules/settings_rules.h"
#include "platform/wide_text.h"
#include "platform/win32_handles.h"
#include "win/settings.h"

namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr DWORD kEntryBytes = 1024;

} // namespace

Ended refresh_autostart(const char16_t* value_name, std::u16string_view exe_path) {
    const std::u16string command = autostart_command(exe_path.empty() ? executable_path() : exe_path);
    const wchar_t* name = wide(value_name);

    RegistryKey run;
    // Opening never creates the key: a user without log-on entries gets none from us.
    if (RegOpenKeyW(HKEY_CURRENT_USER, kRunKey, run.out()) != ERROR_SUCCESS)
        return Ended::declined;
    // Zero-filled, so text stored without its terminator still ends inside the buffer, unless it
    // fills all of it; the compare below stops at the buffer's end either way.
    wchar_t stored[kEntryBytes / sizeof(wchar_t)] = {};
    DWORD size = kEntryBytes;
    if (RegQueryValueExW(run.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &size) !=
        ERROR_SUCCESS)
        return Ended::declined;
    // Any value type is read as text: an expandable string with another text is rewritten as a
    // plain one, and one with the same text is left alone.
    const std::u16string_view text(utf16(stored), wcsnlen(stored, kEntryBytes / sizeof(wchar_t)));
    if (text != command &&
        RegSetValueExW(run.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(char16_t))) != ERROR_SUCCESS)
        return Ended::failed;
    return Ended::done;
}
