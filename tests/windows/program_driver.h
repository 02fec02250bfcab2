// Drives a copy of Pelmora.exe from a test: starts it in a fresh folder of its own (so its
// settings file is its own), finds its windows, reads their texts and waits for its exit code.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

// The built program, as a path Wine understands.
inline std::wstring program_path() {
    std::wstring path = L"Z:";
    for (const char c : std::string(PELMORA_EXE))
        path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
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
