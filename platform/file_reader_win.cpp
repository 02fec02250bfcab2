// Win32 listing and reads for the check of a folder.
#include "core/run/file_reader.h"

#include <atomic>
#include <memory>
#include <windows.h>

#include "core/base/text.h"
#include "core/run/file_system.h"
#include "platform/wide_text.h"
#include "platform/win32_handles.h"

namespace {

class Win32FileReader : public FileReader {
public:
    char16_t separator() const override { return u'\\'; }
    FileStatus list(const std::u16string& folder,
                    const std::function<void(std::u16string_view name)>& each) override;
    FileStatus examine(const std::u16string& path, uint64_t& size) override;
    bool is_folder(const std::u16string& path) override;
    FileStatus open(const std::u16string& path, Handle& file) override;
    FileStatus size(Handle file, uint64_t& size) override;
    FileStatus read_at(Handle file, uint64_t offset, uint8_t* data, size_t size, size_t& got) override;
    void close(Handle file) override;
    void set_direct(bool direct) override { direct_ = direct; }
    bool direct_refused() const override { return refused_; }
    FileStatus drop_cache(const std::u16string& path) override;

private:
    bool direct_ = false;
    std::atomic<bool> refused_{false};
};

} // namespace

namespace {

// Folders, links and junctions (reparse points) and devices are never a run's file.
bool may_be_file(DWORD attributes) {
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) ==
           0;
}

FileStatus failure(DWORD code) { return {FileStatus::Kind::failed, system_message(code)}; }

} // namespace

FileStatus Win32FileReader::list(const std::u16string& folder,
                                 const std::function<void(std::u16string_view name)>& each) {
    std::u16string pattern = folder;
    if (!pattern.empty() && pattern.back() != u'\\' && pattern.back() != u'/')
        pattern += u'\\';
    pattern += u'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(wide(pattern), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // An empty drive root lists nothing at all.
        if (code == ERROR_FILE_NOT_FOUND)
            return {};
        return failure(code);
    }
    do {
        // Every kind of entry is passed on: one under a run file's name that is no regular file
        // is a damaged file of that run, which examine() tells.
        const std::u16string_view name = utf16(found.cFileName);
        if (name != u"." && name != u"..")
            each(name);
    } while (FindNextFileW(search, &found));
    const DWORD code = GetLastError();
    FindClose(search);
    return code != ERROR_NO_MORE_FILES ? failure(code) : FileStatus{};
}

FileStatus Win32FileReader::examine(const std::u16string& path, uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExW(wide(path), GetFileExInfoStandard, &info))
        return failure(GetLastError());
    if (!may_be_file(info.dwFileAttributes))
        return {FileStatus::Kind::not_regular, (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0
                                                   ? "it is a link, not a regular file"
                                               : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                                                   ? "it is a folder, not a regular file"
                                                   : "it is a device, not a regular file"};
    size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    return {};
}

bool Win32FileReader::is_folder(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

FileStatus Win32FileReader::open(const std::u16string& path, Handle& opened_file) {
    const wchar_t* const name = wide(path);
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    // The link itself is opened, never what it points at; then refused below.
    constexpr DWORD kFlags = FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE file = INVALID_HANDLE_VALUE;
    bool opened = false; // or failed for another reason than the direct I/O
    if (direct_ && !refused_) {
        file = CreateFileW(name, GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                           kFlags | FILE_FLAG_NO_BUFFERING, nullptr);
        opened = file != INVALID_HANDLE_VALUE ||
                 (GetLastError() != ERROR_INVALID_PARAMETER && GetLastError() != ERROR_NOT_SUPPORTED);
        if (!opened)
            refused_ = true;
    }
    if (!opened)
        file = CreateFileW(name, GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                           kFlags | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failure(GetLastError());
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info) || !may_be_file(info.dwFileAttributes) ||
        GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return {FileStatus::Kind::not_regular, "it is not a regular file"};
    }
    opened_file = reinterpret_cast<Handle>(file);
    return {};
}

FileStatus Win32FileReader::size(Handle file, uint64_t& size) {
    LARGE_INTEGER now;
    if (!GetFileSizeEx(reinterpret_cast<HANDLE>(file), &now))
        return failure(GetLastError());
    size = static_cast<uint64_t>(now.QuadPart);
    return {};
}

FileStatus Win32FileReader::read_at(Handle file, uint64_t offset, uint8_t* data, size_t size, size_t& got) {
    size_t done = 0;
    while (done < size) {
        // A read at a given place: the offset travels in the OVERLAPPED of a synchronous handle.
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        const DWORD ask = size - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size - done);
        DWORD read = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(file), data + done, ask, &read, &at)) {
            const DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF)
                break;
            return failure(code);
        }
        if (read == 0)
            break;
        done += read;
        // An unbuffered read stops short at the end of the file; the rest, from a place that is
        // not aligned, would only fail.
        if (direct_ && done < size && (offset + done) % kDirectAlignment != 0)
            break;
    }
    got = done;
    return {};
}

void Win32FileReader::close(Handle file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

FileStatus Win32FileReader::drop_cache(const std::u16string&) {
    return {FileStatus::Kind::failed,
            "Windows has no call that drops one file from its cache (--direct reads past it)"};
}

std::unique_ptr<FileReader> make_file_reader() { return std::make_unique<Win32FileReader>(); }
