// Terminal pieces for the Windows console.
#include <windows.h>

#include <shellapi.h>

#include "cli/terminal.h"
#include "core/base/text.h"
#include "core/lang/language_default.h"
#include "core/run/run.h"
#include "platform/wide_text.h"

std::vector<std::u16string> command_arguments(int, char**) {
    // The wide command line: the ANSI argv cannot hold every file name.
    std::vector<std::u16string> arguments;
    int count = 0;
    wchar_t** wide_arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide_arguments != nullptr && i < count; ++i)
        arguments.emplace_back(from_wide(wide_arguments[i]));
    LocalFree(wide_arguments);
    return arguments;
}

namespace {

bool is_console(DWORD which) {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

void write_to(DWORD which, std::u16string_view text) {
    HANDLE handle = GetStdHandle(which);
    DWORD done;
    if (is_console(which)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    const std::string bytes = to_utf8(text);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

LONG interrupts = 0;

BOOL WINAPI on_control(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (InterlockedIncrement(&interrupts) > 1)
        ExitProcess(130);
    run_cancel = true;
    return TRUE;
}

} // namespace

bool stdout_is_terminal() { return is_console(STD_OUTPUT_HANDLE); }
bool stdin_is_terminal() { return is_console(STD_INPUT_HANDLE); }

void enable_terminal_sequences() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode;
    if (GetConsoleMode(out, &mode))
        SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

void write_out(std::u16string_view text) { write_to(STD_OUTPUT_HANDLE, text); }
void write_err(std::u16string_view text) { write_to(STD_ERROR_HANDLE, text); }

void install_interrupt_handler() { SetConsoleCtrlHandler(on_control, TRUE); }

int32_t default_language() { return language_for_identifier(GetUserDefaultLangID()); }
