// Terminal pieces for the Windows console.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>

#include "cli/terminal.h"
#include "core/base/text.h"
#include "core/lang/language_default.h"
#include "core/run/run_flags.h"
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

std::optional<std::string> undecodable_argument(int, char**) {
    // The wide command line passes every name on unit for unit.
    return std::nullopt;
}

// Windows has no SIGPIPE: a write to a closed pipe fails, which write_to records.
void ignore_closed_pipes() {}

namespace {

DWORD first_output_error = ERROR_SUCCESS;

bool is_console(DWORD which) {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

void write_to(DWORD which, std::u16string_view text) {
    HANDLE handle = GetStdHandle(which);
    DWORD done = 0;
    bool written;
    if (is_console(which)) {
        written = WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
                  done == text.size();
    } else {
        const std::string bytes = to_utf8(text);
        written = WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                  done == bytes.size();
    }
    if (!written && first_output_error == ERROR_SUCCESS) {
        const DWORD error = GetLastError();
        first_output_error = error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
    }
}

LONG interrupts = 0;

BOOL WINAPI on_control(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        if (InterlockedIncrement(&interrupts) > 1) {
            // Ending at once leaves no cut file under the name of a whole one, where the system
            // lets an open file be renamed.
            OpenRunFile* const files = open_run_files.files.load();
            for (size_t i = 0; files != nullptr && i < open_run_files.count.load(); ++i)
                if (files[i].state.load() == OpenRunFile::kOpen)
                    MoveFileExW(wide(from_utf8(files[i].name)), wide(from_utf8(files[i].partial)),
                                MOVEFILE_REPLACE_EXISTING);
            ExitProcess(130);
        }
        run_cancel = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The system ends the process once this returns (or after a few seconds): the run gets
        // that long to close its file and set it apart as cancelled.
        run_cancel = true;
        for (int waited = 0; run_busy && waited < 3000; waited += 10)
            Sleep(10);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

std::optional<std::string> read_input_line() {
    // Ctrl-C ends a console read at once, so the line simply ends there.
    std::string line;
    for (int c = std::getchar(); c != '\n'; c = std::getchar()) {
        if (c == EOF || run_cancel)
            return line.empty() || run_cancel ? std::nullopt : std::optional<std::string>(line);
        if (c != '\r')
            line += static_cast<char>(c);
    }
    return line;
}

bool stdout_is_terminal() { return is_console(STD_OUTPUT_HANDLE); }
bool stderr_is_terminal() { return is_console(STD_ERROR_HANDLE); }
bool stdin_is_terminal() { return is_console(STD_INPUT_HANDLE); }

void enable_terminal_sequences() {
    // Standard error draws the status lines; standard output may be another screen buffer.
    for (const DWORD which : {STD_ERROR_HANDLE, STD_OUTPUT_HANDLE}) {
        HANDLE handle = GetStdHandle(which);
        DWORD mode;
        if (GetConsoleMode(handle, &mode))
            SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

void write_out(std::u16string_view text) { write_to(STD_OUTPUT_HANDLE, text); }
void write_err(std::u16string_view text) { write_to(STD_ERROR_HANDLE, text); }

std::optional<std::string> output_error() {
    if (first_output_error == ERROR_SUCCESS)
        return std::nullopt;
    return "error " + std::to_string(first_output_error);
}

void install_interrupt_handler() { SetConsoleCtrlHandler(on_control, TRUE); }

int cancel_exit_code() { return 130; }

std::string cancel_signal_name() { return "SIGINT"; }

int32_t default_language() { return language_for_identifier(GetUserDefaultLangID()); }
