// Drives a copy of Pelmora.exe from a test: starts it in a fresh folder of its own (so its
// settings file is its own), finds its windows, reads their texts and waits for its exit code.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

// A Unix path (as the build knows it) as a path Wine understands.
inline std::wstring from_unix(const char* path) {
    std::wstring windows = L"Z:";
    for (const char* c = path; *c != 0; ++c)
        windows += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return windows;
}

// The built program.
inline std::wstring program_path() { return from_unix(PELMORA_EXE); }

inline bool visible(HWND window) { return window != nullptr && IsWindowVisible(window); }

inline std::wstring temp_folder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

// A file's bytes (empty when it cannot be read).
inline std::string read_bytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// UTF-8 of a window's text, for test messages and comparisons with narrow strings.
inline std::string as_utf8(const std::wstring& text) {
    std::string out(
        static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr)),
        0);
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr,
                        nullptr);
    out.pop_back();
    return out;
}

inline std::wstring window_text(HWND window) {
    wchar_t buffer[1024] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    return buffer;
}

// Polls `ready` every 50 ms until it holds or `seconds` have passed.
template <typename Ready> bool wait_until(Ready ready, double seconds = 15) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// Sends `command` to `target` (posted: the pop-up menu it opens runs its loop inside the command),
// then presses `key` `times` times in the menu and Return; with VK_ESCAPE the menu is dismissed
// instead. Nothing is highlighted at first, so N downs reach item N. True once the menu is gone.
inline bool use_menu(HWND target, WPARAM command, UINT key, int times) {
    PostMessageW(target, WM_COMMAND, command, 0);
    HWND menu = nullptr;
    if (!wait_until([&] { return visible(menu = FindWindowW(L"#32768", nullptr)); }))
        return false;
    for (int i = 0; i < times; ++i) {
        PostMessageW(menu, WM_KEYDOWN, key, 0);
        PostMessageW(menu, WM_KEYUP, key, 0);
    }
    if (key != VK_ESCAPE) {
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(menu, WM_KEYUP, VK_RETURN, 0);
    }
    return wait_until([] { return !visible(FindWindowW(L"#32768", nullptr)); }, 5);
}

// Chooses an item as `use_menu` does and waits for `chosen` to hold. Under Wine without a window
// manager, X focus events left over from a window that has just closed can reach the program after
// its menu has opened, and cancel the menu before the keys arrive; so a choice that did not take
// is made once or twice more.
template <typename Chosen>
bool choose_in_menu(HWND target, WPARAM command, UINT key, int times, Chosen chosen) {
    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (use_menu(target, command, key, times) && wait_until(chosen, 10))
            return true;
        std::fprintf(stderr, "menu choice %d of command %u did not take\n", attempt,
                     static_cast<unsigned>(LOWORD(command)));
    }
    return false;
}

class Program {
public:
    // A fresh folder with a copy of the program; `ini` (UTF-16 text, BOM added) becomes its
    // settings file when given.
    explicit Program(const std::wstring& ini = L"", bool with_ini = false) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"pelmora-ui-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(counter()++);
        CreateDirectoryW(folder_.c_str(), nullptr);
        CopyFileW(program_path().c_str(), exe().c_str(), FALSE);
        if (with_ini)
            write_ini(ini);
    }
    ~Program() {
        if (process_.hProcess != nullptr) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 99);
                WaitForSingleObject(process_.hProcess, 5000);
            }
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        DeleteFileW(ini_path().c_str());
        DeleteFileW(exe().c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    std::wstring exe() const { return folder_ + L"\\Pelmora.exe"; }
    std::wstring ini_path() const { return folder_ + L"\\Pelmora.ini"; }

    void write_ini(const std::wstring& text) const {
        HANDLE file = CreateFileW(ini_path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD done;
        WriteFile(file, "\xFF\xFE", 2, &done, nullptr);
        WriteFile(file, text.data(), static_cast<DWORD>(text.size() * 2), &done, nullptr);
        CloseHandle(file);
    }

    // The settings file's bytes (empty when missing).
    std::string ini_bytes() const {
        HANDLE file = CreateFileW(ini_path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return {};
        std::string bytes(GetFileSize(file, nullptr), '\0');
        DWORD done = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
        CloseHandle(file);
        return bytes;
    }

    // The settings file as text (after its byte-order mark).
    std::wstring ini_text() const {
        const std::string bytes = ini_bytes();
        if (bytes.size() < 2)
            return {};
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    }

    bool start(const std::wstring& arguments = L"") {
        std::wstring command = L"\"" + exe() + L"\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        return CreateProcessW(exe().c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              folder_.c_str(), &startup, &process_) != 0;
    }

    // Starts the program and returns its dialog once it shows; null when it never does.
    HWND start_shown() {
        if (!start())
            return nullptr;
        HWND shown = dialog();
        return wait_until([&] { return visible(shown); }) ? shown : nullptr;
    }

    // The first top-level window of the program with that class, once it exists.
    HWND window(const wchar_t* class_name) const {
        struct Search {
            DWORD process;
            const wchar_t* class_name;
            HWND found;
        } search = {process_.dwProcessId, class_name, nullptr};
        wait_until([&] {
            EnumWindows(
                [](HWND candidate, LPARAM data) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(data);
                    DWORD owner = 0;
                    GetWindowThreadProcessId(candidate, &owner);
                    wchar_t name[64] = {};
                    GetClassNameW(candidate, name, 64);
                    if (owner == s->process && std::wstring(name) == s->class_name) {
                        s->found = candidate;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        });
        return search.found;
    }
    HWND dialog() const { return window(L"#32770"); }
    HWND hidden_window() const { return window(L"Pelmora"); }

    // The page of the main dialog that holds control `id`.
    static HWND page_with(HWND dialog, int id) {
        for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
            if (GetDlgItem(child, id) != nullptr)
                return child;
        return nullptr;
    }

    // The exit code once the program has ended, or -1 when it is still running after `seconds`.
    long exit_code(DWORD milliseconds = 15000) const {
        if (WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<long>(code);
    }

private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    std::wstring folder_;
    PROCESS_INFORMATION process_ = {};
};
