// Starting Explorer with " /select,"path",/e".
#include "core/run/reveal.h"

#include <windows.h>

#include <shellapi.h>

#include "core/run/run.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text is UTF-16");

void reveal_in_file_manager(const std::u16string& path) {
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const std::u16string program = explorer_program(reinterpret_cast<const char16_t*>(windows));
    const std::u16string parameters = explorer_parameters(path);
    ShellExecuteW(nullptr, nullptr, reinterpret_cast<const wchar_t*>(program.c_str()),
                  reinterpret_cast<const wchar_t*>(parameters.c_str()), nullptr, SW_SHOW);
}
