// Stands in for explorer.exe in the test prefix: appends its command line to a file in the
// temporary folder, so a test can see exactly what the program asked Explorer to do.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"pelmora-explorer-calls.txt";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    const std::wstring line = std::wstring(GetCommandLineW()) + L"\n";
    DWORD done = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &done, nullptr);
    CloseHandle(file);
    return 0;
}
