// Starting Explorer with " /select,"path",/e".
#include "core/run/reveal.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/wide_text.h"

void reveal_in_file_manager(const std::u16string& path) {
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const std::u16string program = explorer_program(from_wide(windows));
    const std::u16string parameters = explorer_parameters(path);
    ShellExecuteW(nullptr, nullptr, wide(program), wide(parameters), nullptr, SW_SHOW);
}
