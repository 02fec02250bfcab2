// A stand-in MAPI32.DLL for tests: put beside the program, it takes the program's MAPISendMail
// call and appends what it received to a file in the temporary folder, one "key=value" field
// after another, each ended by a zero byte.
#include <windows.h>

#include <mapi.h>

#include <string>

namespace {

void field(std::string& record, const char* key, const std::string& value) {
    record.append(key).append("=").append(value).push_back('\0');
}

std::string text(const char* value) { return value != nullptr ? value : "(null)"; }

} // namespace

extern "C" __declspec(dllexport) ULONG WINAPI
    MAPISendMail(LHANDLE session, ULONG_PTR parent, lpMapiMessage message, FLAGS flags, ULONG reserved) {
    std::string record;
    field(record, "session", std::to_string(session));
    field(record, "parent", std::to_string(parent));
    field(record, "flags", std::to_string(flags));
    field(record, "reserved", std::to_string(reserved));
    if (message != nullptr) {
        field(record, "subject", text(message->lpszSubject));
        field(record, "note", text(message->lpszNoteText));
        field(record, "recipients", std::to_string(message->nRecipCount));
        field(record, "count", std::to_string(message->nFileCount));
        field(record, "files", message->lpFiles != nullptr ? "set" : "(null)");
        if (message->nFileCount > 0 && message->lpFiles != nullptr) {
            field(record, "path", text(message->lpFiles->lpszPathName));
            field(record, "name", text(message->lpFiles->lpszFileName));
            field(record, "position", std::to_string(message->lpFiles->nPosition));
        }
    }
    record += "end";
    record.push_back('\0');
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"pelmora-mail-calls.txt";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD done = 0;
        WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &done, nullptr);
        CloseHandle(file);
    }
    return SUCCESS_SUCCESS;
}
