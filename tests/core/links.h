// Symbolic links for the tests, made and recognised by the system's own means: symlink() on POSIX,
// CreateSymbolicLinkW on Windows and, under Wine, a Linux link made by the host's shell, which
// is the link Wine's users meet (Wine's CreateSymbolicLinkW answers success and makes nothing).
#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <fstream>
#include <iterator>
#include <optional>
#endif

#ifdef _WIN32

// Wine's name of a path on the Linux side; nullptr outside Wine.
using UnixNameCall = char*(CDECL*)(const wchar_t*);
inline UnixNameCall wine_unix_name_call() {
    return reinterpret_cast<UnixNameCall>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

inline bool under_wine() { return wine_unix_name_call() != nullptr; }

// The Linux path of `path` (whose folder must exist), under Wine.
inline std::string unix_path(const std::filesystem::path& path) {
    char* name = wine_unix_name_call()(path.parent_path().wstring().c_str());
    const std::string folder = name != nullptr ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return folder + "/" + path.filename().string();
}

// Runs `command` (no double quotes in it) in the host's shell under Wine and returns what it
// printed; nothing when it gave no answer within ten seconds. Wine cannot wait for a Unix process:
// the answer is a file that appears, whole, when the command is done.
inline std::optional<std::string> host_shell(const std::string& command) {
    static int calls = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path answer =
        std::filesystem::path(temp) /
        ("pelmora-host-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++calls));
    const std::string unix_answer = unix_path(answer);
    std::wstring line =
        std::filesystem::path("Z:\\bin\\sh -c \"(" + command + ") >'" + unix_answer + ".part' 2>&1; mv '" +
                              unix_answer + ".part' '" + unix_answer + "'\"")
            .wstring();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return std::nullopt;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 1000 && !std::filesystem::exists(answer); ++i)
        Sleep(10);
    std::ifstream in(answer, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::error_code ignored;
    std::filesystem::remove(answer, ignored);
    return text;
}

#endif

// A symbolic link at `at` to `target` (a file or a folder, which may not exist). False, with the
// reason, where this system makes none.
inline bool make_link(const std::filesystem::path& target, const std::filesystem::path& at, bool folder,
                      std::string& why) {
#ifdef _WIN32
    if (under_wine()) {
        const std::string target_name =
            std::filesystem::exists(target.parent_path()) ? unix_path(target) : target.filename().string();
        if (host_shell("ln -s '" + target_name + "' '" + unix_path(at) + "' && echo made") == "made\n")
            return true;
        why = "the host's shell made no link";
        return false;
    }
    CreateSymbolicLinkW(at.c_str(), target.c_str(),
                        (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) |
                            SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attributes = GetFileAttributesW(at.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return true;
    why = "CreateSymbolicLinkW made no link (it needs a privilege or developer mode)";
    return false;
#else
    std::error_code error;
    if (folder)
        std::filesystem::create_directory_symlink(target, at, error);
    else
        std::filesystem::create_symlink(target, at, error);
    if (!error)
        return true;
    why = error.message();
    return false;
#endif
}

// Whether `at` is a symbolic link itself, asked without following it: under Wine, which shows a
// link to a file as that file, the host's shell is asked.
inline bool is_link(const std::filesystem::path& at) {
#ifdef _WIN32
    if (under_wine())
        return host_shell("test -L '" + unix_path(at) + "' && echo link") == "link\n";
    const DWORD attributes = GetFileAttributesW(at.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    return std::filesystem::is_symlink(std::filesystem::symlink_status(at));
#endif
}

// The links a test made, removed as links when it ends: declared after the scratch folder that
// holds them, they go first. Under Wine, whose removal of a link acts on its target, and whose
// std::filesystem::remove_all never ends on a folder with a link to a folder in it, the host's
// shell removes them.
class Links {
public:
    Links() = default;
    Links(const Links&) = delete;
    Links& operator=(const Links&) = delete;
    ~Links() {
#ifdef _WIN32
        if (under_wine()) {
            std::string names;
            for (const auto& [at, folder] : made_)
                names += " '" + unix_path(at) + "'";
            if (!names.empty())
                host_shell("rm -f" + names);
            return;
        }
        for (const auto& [at, folder] : made_)
            folder ? RemoveDirectoryW(at.c_str()) : DeleteFileW(at.c_str());
#else
        std::error_code ignored;
        for (const auto& made : made_)
            std::filesystem::remove(made.first, ignored);
#endif
    }

    // make_link, and the link goes with this object.
    bool make(const std::filesystem::path& target, const std::filesystem::path& at, bool folder,
              std::string& why) {
        if (!make_link(target, at, folder, why))
            return false;
        add(at, folder);
        return true;
    }
    // A link made otherwise, to go with this object.
    void add(const std::filesystem::path& at, bool folder) { made_.emplace_back(at, folder); }

private:
    std::vector<std::pair<std::filesystem::path, bool>> made_;
};
