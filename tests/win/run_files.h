// What the tests of runs and checks from the window share: Explorer replaced by a recorder, fresh
// folders, the files a run left, and pelmora-cli.exe run to compare with.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/win/program_driver.h"

// Every run that ends starts Explorer. A real Explorer window would outlive the test and hold its
// output open, so every test that runs puts the recorder in explorer.exe's place in the test
// prefix first, and empties the record, whose path it returns.
inline std::wstring explorer_record() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring recorder = self;
    recorder = recorder.substr(0, recorder.rfind(L'\\') + 1) + L"explorer_recorder.exe";
    const std::wstring target = std::wstring(windows) + L"\\explorer.exe";
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(CopyFileW(recorder.c_str(), target.c_str(), FALSE)) << "error " << GetLastError();
    const std::wstring record = temp_folder() + L"pelmora-explorer-calls.txt";
    DeleteFileW(record.c_str());
    return record;
}

// A new name under the temporary folder. Wine gives out process ids again from run to run, so
// the clock goes into the name as well.
inline std::wstring fresh_folder(const std::wstring& stem) {
    return temp_folder() + L"pelmora-" + stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount64());
}

inline std::wstring read_record(const std::wstring& path) {
    const std::string bytes = read_bytes(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

// The run's files, whole ones and one a cancel cut short (".file.partial").
inline std::vector<std::wstring> files_in(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.file*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Runs a program with `arguments` (quoted as needed by the caller) and returns its exit code, or -1
// when it could not start or ran longer than a minute.
inline long run_process(const std::wstring& program, const std::wstring& arguments) {
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<long>(code);
}

// Ends the program with its Exit command and returns the exit code (-1: it did not end). The run's
// worker enables Exit a moment before it clears its busy flag, and an Exit that comes in between is
// ignored as one during a run; so the command is given again until the program ends.
inline long end_program(const Program& program, HWND dialog) {
    for (int attempt = 0; attempt < 15; ++attempt) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        if (const long code = program.exit_code(1000); code != -1)
            return code;
    }
    return -1;
}

// Removes the files a run left in `folder`, then the folder.
inline void remove_run_folder(const std::wstring& folder) {
    for (const std::wstring& name : files_in(folder))
        DeleteFileW((folder + L"\\" + name).c_str());
    RemoveDirectoryW(folder.c_str());
}
