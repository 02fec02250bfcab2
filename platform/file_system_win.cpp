// Win32 file operations for the run.
#include "core/run/file_system.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>
#include <windows.h>
#include <winternl.h>

#include <climits>

#include "platform/wide_text.h"
#include "platform/win32_handles.h"

namespace {

class Win32FileSystem : public FileSystem {
public:
    // With sync set, every file's buffers are flushed to the disk before it is closed.
    explicit Win32FileSystem(bool sync = false) : sync_(sync) {}

    char16_t separator() const override { return u'\\'; }
    size_t max_path_length() const override { return 255; }
    FileStatus open_folder(const std::u16string& path, Handle& folder) override;
    void close_folder(Handle folder) override { CloseHandle(reinterpret_cast<HANDLE>(folder)); }
    bool same_folder(Handle folder, const std::u16string& path) override;
    Kind probe(Handle folder, const std::u16string& name) override;
    FileStatus create_file(Handle folder, const std::u16string& name, Handle& file) override;
    FileStatus create_new_file(Handle folder, const std::u16string& name, Handle& file) override;
    FileStatus write(Handle file, const uint8_t* data, size_t size) override;
    FileStatus close(Handle file) override;
    FileStatus remove(Handle folder, const std::u16string& name) override;
    FileStatus rename(Handle folder, const std::u16string& from, const std::u16string& to) override;
    void set_direct(bool direct) override { direct_ = direct; }
    bool direct(Handle file) const override;
    FileStatus write_at(Handle file, uint64_t offset, const uint8_t* data, size_t size) override;
    FileStatus set_length(Handle file, uint64_t length, bool reserve) override;
    FileStatus open_existing_folder(const std::u16string& path, Handle& folder) override;
    FileStatus open_subfolder(Handle folder, const std::u16string& name, Handle& inner) override;
    FileStatus make_subfolder(Handle folder, const std::u16string& name, Handle& inner) override;
    FileStatus list(Handle folder,
                    const std::function<void(std::u16string_view name, Kind kind)>& each) override;
    FileStatus file_size(Handle folder, const std::u16string& name, uint64_t& size) override;
    FileStatus remove_sized(Handle folder, const std::u16string& name, uint64_t& size) override;
    FileStatus remove_folder(Handle folder, const std::u16string& name) override;

private:
    bool sync_;
    bool direct_ = false;
    // The files opened for direct I/O: their handles are overlapped, so that several threads can
    // each have a write of their own in flight.
    mutable std::mutex direct_mutex_;
    std::unordered_set<Handle> direct_files_;
};

// A failed call's error code as a status, with the system's words for it.
FileStatus status_of(DWORD error) {
    FileStatus::Kind kind;
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        kind = FileStatus::Kind::exists;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        kind = FileStatus::Kind::denied;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        kind = FileStatus::Kind::disk_full;
        break;
    case ERROR_DIRECTORY: // a folder was asked for, and the name is no folder
        kind = FileStatus::Kind::not_regular;
        break;
    default:
        kind = FileStatus::Kind::failed;
        break;
    }
    return {kind, system_message(error)};
}

// Symbolic links and junctions are reparse points; a device is nothing to write test files into.
FileSystem::Kind kind_of(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FileSystem::Kind::link
           : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? FileSystem::Kind::folder
           : (attributes & FILE_ATTRIBUTE_DEVICE) != 0      ? FileSystem::Kind::other
                                                            : FileSystem::Kind::file;
}

// Files are opened by a name relative to the folder's handle, which the Win32 calls cannot do:
// the system's own call takes the folder as the root of the name. Looked up rather than imported,
// so that the programs' imports stay the usual system libraries.
struct NativeCalls {
    decltype(&NtCreateFile) create = nullptr;
    decltype(&NtSetInformationFile) set_information = nullptr;
    decltype(&RtlNtStatusToDosError) error_of = nullptr;
};

const NativeCalls& native() {
    static const NativeCalls calls = [] {
        NativeCalls found;
        if (const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
            found.create = reinterpret_cast<decltype(&NtCreateFile)>(
                reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
            found.set_information = reinterpret_cast<decltype(&NtSetInformationFile)>(
                reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetInformationFile")));
            found.error_of = reinterpret_cast<decltype(&RtlNtStatusToDosError)>(
                reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
        }
        return found;
    }();
    return calls;
}

// Opens `name` in `folder` without following a reparse point (a link is opened as itself). The
// Win32 error on failure, ERROR_SUCCESS otherwise.
DWORD open_in(FileSystem::Handle folder, const std::u16string& name, ACCESS_MASK access, ULONG share,
              ULONG disposition, ULONG options, HANDLE& opened) {
    opened = INVALID_HANDLE_VALUE;
    const NativeCalls& calls = native();
    if (calls.create == nullptr || calls.set_information == nullptr || calls.error_of == nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (name.empty() || name.size() * sizeof(wchar_t) > 0xFFF0 ||
        name.find_first_of(u"\\/") != std::u16string::npos)
        return ERROR_INVALID_NAME;
    std::u16string copy = name;
    UNICODE_STRING text;
    text.Buffer = wide(copy.data());
    text.Length = static_cast<USHORT>(copy.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, reinterpret_cast<HANDLE>(folder),
                               nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    const NTSTATUS status =
        calls.create(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                     disposition, options | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (status < 0)
        return calls.error_of(status);
    opened = handle;
    return ERROR_SUCCESS;
}

// The kind of what `file` is, as opened.
FileSystem::Kind kind_of_handle(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info))
        return FileSystem::Kind::other;
    const FileSystem::Kind kind = kind_of(info.dwFileAttributes);
    return kind == FileSystem::Kind::file && GetFileType(file) != FILE_TYPE_DISK ? FileSystem::Kind::other
                                                                                 : kind;
}

// The name the system gives an open file or folder: its path on the volume, without the volume
// ("\runs\file.dat"). False where the system cannot tell it.
bool name_of_handle(HANDLE handle, std::u16string& name) {
    std::vector<uint64_t> words(128); // 1 KiB, aligned as the record needs: most names fit
    for (;;) {
        auto* info = reinterpret_cast<FILE_NAME_INFO*>(words.data());
        if (GetFileInformationByHandleEx(handle, FileNameInfo, info,
                                         static_cast<DWORD>(words.size() * sizeof(uint64_t)))) {
            name.assign(reinterpret_cast<const char16_t*>(info->FileName),
                        info->FileNameLength / sizeof(wchar_t));
            return true;
        }
        if (GetLastError() != ERROR_MORE_DATA || words.size() >= 8192)
            return false;
        words.resize(words.size() * 8);
    }
}

// Wine shows a Linux symbolic link to a file as that file (no reparse point; the target's
// attributes, size and index), and removes or renames the target through any handle opened by the
// link's name. What still tells them apart is the name the handle has: the target's. So a handle
// whose name is not the folder's name and `name` is taken for a link. On Windows, where a link is
// opened as itself, the two agree for everything but a reparse point, which its attributes already
// tell; where the system cannot name a handle, the attributes alone decide.
bool opened_as_named(FileSystem::Handle folder, HANDLE opened, const std::u16string& name) {
    std::u16string folder_name, opened_name;
    if (!name_of_handle(reinterpret_cast<HANDLE>(folder), folder_name) ||
        !name_of_handle(opened, opened_name))
        return true;
    if (folder_name.empty() || folder_name.back() != u'\\')
        folder_name.push_back(u'\\');
    return opened_name.size() == folder_name.size() + name.size() &&
           opened_name.compare(0, folder_name.size(), folder_name) == 0 &&
           opened_name.compare(folder_name.size(), name.size(), name) == 0;
}

// The kind of what `opened` is, opened by `name` in `folder`: a link also when it shows as a file or
// a folder under another name.
FileSystem::Kind kind_in(FileSystem::Handle folder, const std::u16string& name, HANDLE opened) {
    const FileSystem::Kind kind = kind_of_handle(opened);
    return (kind == FileSystem::Kind::file || kind == FileSystem::Kind::folder) &&
                   !opened_as_named(folder, opened, name)
               ? FileSystem::Kind::link
               : kind;
}

// The options that make a handle for writes: synchronous, or for direct I/O overlapped, unbuffered
// and written through.
ULONG write_options(bool direct) {
    return FILE_NON_DIRECTORY_FILE |
           (direct ? FILE_NO_INTERMEDIATE_BUFFERING | FILE_WRITE_THROUGH : FILE_SYNCHRONOUS_IO_NONALERT);
}

// The folder named as the system names it from a handle: the volume and the file's index there.
bool identity_of(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return GetFileInformationByHandle(handle, &info) != 0;
}

HANDLE open_folder_handle(const std::u16string& path, DWORD flags) {
    // No FILE_SHARE_DELETE: while the run holds the folder, nobody can rename or remove it.
    return CreateFileW(wide(path), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// Opens the folder at `path` (with `flags` for CreateFileW) when a folder is what is there.
FileStatus open_found_folder(const std::u16string& path, DWORD flags, FileSystem::Handle& opened) {
    HANDLE handle = open_folder_handle(path, flags);
    if (handle == INVALID_HANDLE_VALUE)
        return status_of(GetLastError());
    const FileSystem::Kind kind = kind_of_handle(handle);
    if (kind != FileSystem::Kind::folder) {
        CloseHandle(handle);
        return refusal_of(kind == FileSystem::Kind::file ? FileSystem::Kind::other : kind);
    }
    opened = reinterpret_cast<FileSystem::Handle>(handle);
    return {};
}

bool is_folder(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

FileStatus Win32FileSystem::open_folder(const std::u16string& path, Handle& opened) {
    // An empty folder puts the files at the root of the current drive.
    std::u16string folder = path.empty() ? u"\\" : path;
    std::replace(folder.begin(), folder.end(), u'/', u'\\');
    bool made = false;
    if (!is_folder(folder)) {
        // The levels above may fail to be made and still be there: the empty text before a
        // leading separator, a drive, a server's share. Made here, or by someone else meanwhile.
        for (size_t at = folder.find(u'\\'); at != std::u16string::npos; at = folder.find(u'\\', at + 1)) {
            const std::u16string level = folder.substr(0, at);
            if (!level.empty() && !is_folder(level))
                CreateDirectoryW(wide(level), nullptr);
        }
        made = CreateDirectoryW(wide(folder), nullptr) != 0;
    }
    // A folder the run made is opened without following a reparse point: one put in its place
    // stops the run.
    return open_found_folder(folder, made ? FILE_FLAG_OPEN_REPARSE_POINT : 0, opened);
}

bool Win32FileSystem::same_folder(Handle folder, const std::u16string& path) {
    std::u16string named = path.empty() ? u"\\" : path;
    HANDLE handle =
        CreateFileW(wide(named), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION opened, now;
    const bool same = identity_of(reinterpret_cast<HANDLE>(folder), opened) && identity_of(handle, now) &&
                      opened.dwVolumeSerialNumber == now.dwVolumeSerialNumber &&
                      opened.nFileIndexHigh == now.nFileIndexHigh &&
                      opened.nFileIndexLow == now.nFileIndexLow;
    CloseHandle(handle);
    return same;
}

FileSystem::Kind Win32FileSystem::probe(Handle folder, const std::u16string& name) {
    HANDLE handle;
    const DWORD error =
        open_in(folder, name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT, handle);
    if (error != ERROR_SUCCESS)
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Kind::missing : Kind::other;
    const Kind kind = kind_in(folder, name, handle);
    CloseHandle(handle);
    return kind;
}

FileStatus Win32FileSystem::create_new_file(Handle folder, const std::u16string& name, Handle& made) {
    HANDLE handle;
    DWORD error = ERROR_SUCCESS;
    bool direct = direct_;
    if (direct) {
        error =
            open_in(folder, name, GENERIC_WRITE, FILE_SHARE_READ, FILE_CREATE, write_options(true), handle);
        // Anything but a refusal of the flags fails the same way without them.
        if (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED)
            direct = false;
    }
    if (!direct)
        error =
            open_in(folder, name, GENERIC_WRITE, FILE_SHARE_READ, FILE_CREATE, write_options(false), handle);
    if (error != ERROR_SUCCESS)
        return status_of(error);
    const Handle file = reinterpret_cast<Handle>(handle);
    if (direct) {
        std::lock_guard lock(direct_mutex_);
        direct_files_.insert(file);
    }
    made = file;
    return {};
}

FileStatus Win32FileSystem::create_file(Handle folder, const std::u16string& name, Handle& made) {
    // A regular file's name is removed and made anew, never opened for writing: the data may have
    // other names (hard links). What is opened for the removal is checked first; a link is opened
    // as itself and refused.
    HANDLE old;
    const DWORD error = open_in(folder, name, DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                FILE_SYNCHRONOUS_IO_NONALERT, old);
    if (error == ERROR_SUCCESS) {
        const Kind kind = kind_in(folder, name, old);
        FILE_DISPOSITION_INFO gone = {};
        gone.DeleteFile = TRUE;
        const bool removed =
            kind == Kind::file && SetFileInformationByHandle(old, FileDispositionInfo, &gone, sizeof gone);
        const DWORD removal_error = removed ? ERROR_SUCCESS : GetLastError();
        CloseHandle(old);
        if (kind != Kind::file)
            return refusal_of(kind);
        if (!removed)
            return status_of(removal_error);
    } else if (error != ERROR_FILE_NOT_FOUND) {
        return error == ERROR_ACCESS_DENIED
                   ? status_of(error)
                   : FileStatus{FileStatus::Kind::not_regular, system_message(error)};
    }
    const FileStatus status = create_new_file(folder, name, made);
    // Something took the name in between, or it is taken by what cannot be opened (a link that
    // points nowhere): refused for what it is.
    if (status.kind == FileStatus::Kind::exists) {
        const Kind now = probe(folder, name);
        return now == Kind::file ? FileStatus{FileStatus::Kind::failed, status.message} : refusal_of(now);
    }
    return status;
}

bool Win32FileSystem::direct(Handle file) const {
    std::lock_guard lock(direct_mutex_);
    return direct_files_.count(file) != 0;
}

FileStatus Win32FileSystem::write_at(Handle file, uint64_t offset, const uint8_t* data, size_t size) {
    // Each write has its own event, so that writes of several threads on one handle each wait for
    // their own.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        return status_of(GetLastError());
    FileStatus status;
    while (size > 0 && status.ok()) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        at.hEvent = event;
        // Direct sizes stay multiples of the alignment, also in pieces.
        const DWORD ask = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), data, ask, nullptr, &at) &&
            GetLastError() != ERROR_IO_PENDING) {
            status = status_of(GetLastError());
            break;
        }
        if (!GetOverlappedResult(reinterpret_cast<HANDLE>(file), &at, &done, TRUE)) {
            status = status_of(GetLastError());
            break;
        }
        if (done == 0)
            status = status_of(ERROR_WRITE_FAULT);
        data += done;
        offset += done;
        size -= done;
    }
    CloseHandle(event);
    return status;
}

FileStatus Win32FileSystem::set_length(Handle file, uint64_t length, bool) {
    // Moving the end of a file claims its clusters (NTFS), so a full disk shows here already.
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    // A file that has the length already is left alone: Wine refuses even that on a full disk,
    // which is where a fill's last file is cut to what was written.
    LARGE_INTEGER now = {};
    if (GetFileSizeEx(handle, &now) && static_cast<uint64_t>(now.QuadPart) == length)
        return {};
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end)
               ? FileStatus{}
               : status_of(GetLastError());
}

FileStatus Win32FileSystem::write(Handle file, const uint8_t* data, size_t size) {
    // A write that crosses the end of the free space may succeed short; the next one then fails
    // with the reason.
    return write_all(reinterpret_cast<HANDLE>(file), data, size) ? FileStatus{} : status_of(GetLastError());
}

FileStatus Win32FileSystem::close(Handle file) {
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    FileStatus status;
    if (sync_ && !FlushFileBuffers(handle))
        status = status_of(GetLastError());
    {
        std::lock_guard lock(direct_mutex_);
        direct_files_.erase(file);
    }
    if (!CloseHandle(handle) && status.ok())
        status = status_of(GetLastError());
    return status;
}

FileStatus Win32FileSystem::remove(Handle folder, const std::u16string& name) {
    uint64_t size;
    return remove_sized(folder, name, size);
}

FileStatus Win32FileSystem::rename(Handle folder, const std::u16string& from, const std::u16string& to) {
    HANDLE file;
    if (const DWORD error = open_in(folder, from, DELETE | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                    FILE_SYNCHRONOUS_IO_NONALERT, file);
        error != ERROR_SUCCESS)
        return status_of(error);
    // Wine would move a link's target here under the new name.
    if (kind_in(folder, from, file) == Kind::link) {
        CloseHandle(file);
        return refusal_of(Kind::link);
    }
    // The new name is relative to the folder's handle as well (the same record as the Win32
    // FILE_RENAME_INFO, which Wine does not pass on).
    std::vector<uint8_t> buffer(offsetof(FILE_RENAME_INFO, FileName) + (to.size() + 1) * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = reinterpret_cast<HANDLE>(folder);
    info->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
    std::copy(to.begin(), to.end(), reinterpret_cast<char16_t*>(info->FileName));
    IO_STATUS_BLOCK io = {};
    const NTSTATUS result =
        native().set_information(file, &io, info, static_cast<ULONG>(buffer.size()),
                                 static_cast<FILE_INFORMATION_CLASS>(FileRenameInformation));
    CloseHandle(file);
    return result >= 0 ? FileStatus{} : status_of(native().error_of(result));
}

FileStatus Win32FileSystem::open_existing_folder(const std::u16string& path, Handle& opened) {
    std::u16string folder = path.empty() ? u"\\" : path;
    std::replace(folder.begin(), folder.end(), u'/', u'\\');
    return open_found_folder(folder, 0, opened);
}

namespace {

// A folder in `folder` opened as itself (a reparse point is refused as a link), made first with
// `disposition` FILE_OPEN_IF. Held without delete sharing, as the top folder: nobody renames it
// while it is in use.
FileStatus open_inner_folder(FileSystem::Handle folder, const std::u16string& name, ULONG disposition,
                             FileSystem::Handle& inner) {
    HANDLE handle;
    if (const DWORD error = open_in(folder, name, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, disposition,
                                    FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, handle);
        error != ERROR_SUCCESS)
        return status_of(error);
    const FileSystem::Kind kind = kind_in(folder, name, handle);
    if (kind != FileSystem::Kind::folder) {
        CloseHandle(handle);
        return refusal_of(kind);
    }
    inner = reinterpret_cast<FileSystem::Handle>(handle);
    return {};
}

} // namespace

FileStatus Win32FileSystem::open_subfolder(Handle folder, const std::u16string& name, Handle& inner) {
    return open_inner_folder(folder, name, FILE_OPEN, inner);
}

FileStatus Win32FileSystem::make_subfolder(Handle folder, const std::u16string& name, Handle& inner) {
    return open_inner_folder(folder, name, FILE_OPEN_IF, inner);
}

FileStatus Win32FileSystem::list(Handle folder,
                                 const std::function<void(std::u16string_view name, Kind kind)>& each) {
    // Read from the folder's own handle, a buffer of entries at a time, from the top.
    std::vector<uint64_t> words(8192); // 64 KiB, aligned as the records need
    uint8_t* const buffer = reinterpret_cast<uint8_t*>(words.data());
    const DWORD buffer_size = static_cast<DWORD>(words.size() * sizeof(uint64_t));
    FILE_INFO_BY_HANDLE_CLASS next = FileFullDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(reinterpret_cast<HANDLE>(folder), next, buffer, buffer_size)) {
            const DWORD error = GetLastError();
            return error == ERROR_NO_MORE_FILES ? FileStatus{} : status_of(error);
        }
        next = FileFullDirectoryInfo;
        for (size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer + at);
            const std::u16string_view name(reinterpret_cast<const char16_t*>(entry->FileName),
                                           entry->FileNameLength / sizeof(wchar_t));
            if (name != u"." && name != u"..")
                each(name, kind_of(entry->FileAttributes));
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
}

namespace {

// Opens `name` in `folder` for `access` when it is a regular file, and tells its size.
FileStatus open_regular(FileSystem::Handle folder, const std::u16string& name, ACCESS_MASK access,
                        HANDLE& file, uint64_t& size) {
    if (const DWORD error = open_in(folder, name, access | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                    FILE_SYNCHRONOUS_IO_NONALERT, file);
        error != ERROR_SUCCESS)
        return status_of(error);
    const FileSystem::Kind kind = kind_in(folder, name, file);
    LARGE_INTEGER length;
    FileStatus status = kind != FileSystem::Kind::file ? refusal_of(kind)
                        : GetFileSizeEx(file, &length) ? FileStatus{}
                                                       : status_of(GetLastError());
    if (status.ok())
        size = static_cast<uint64_t>(length.QuadPart);
    else
        CloseHandle(file);
    return status;
}

// Marks an open file or folder to go when its last handle closes, and closes this one.
FileStatus dispose(HANDLE opened) {
    FILE_DISPOSITION_INFO gone = {};
    gone.DeleteFile = TRUE;
    const FileStatus status = SetFileInformationByHandle(opened, FileDispositionInfo, &gone, sizeof gone)
                                  ? FileStatus{}
                                  : status_of(GetLastError());
    CloseHandle(opened);
    return status;
}

} // namespace

FileStatus Win32FileSystem::file_size(Handle folder, const std::u16string& name, uint64_t& size) {
    HANDLE file;
    const FileStatus status = open_regular(folder, name, 0, file, size);
    if (status.ok())
        CloseHandle(file);
    return status;
}

FileStatus Win32FileSystem::remove_sized(Handle folder, const std::u16string& name, uint64_t& size) {
    HANDLE file;
    uint64_t had = 0;
    FileStatus status = open_regular(folder, name, DELETE, file, had);
    if (status.ok())
        status = dispose(file);
    if (status.ok())
        size = had;
    return status;
}

FileStatus Win32FileSystem::remove_folder(Handle folder, const std::u16string& name) {
    HANDLE handle;
    if (const DWORD error = open_in(folder, name, DELETE | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                    FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, handle);
        error != ERROR_SUCCESS)
        return error == ERROR_DIRECTORY && probe(folder, name) == Kind::link ? refusal_of(Kind::link)
                                                                             : status_of(error);
    // The system refuses to mark a folder with entries; a junction or link is refused here.
    const Kind kind = kind_in(folder, name, handle);
    if (kind != Kind::folder) {
        CloseHandle(handle);
        return refusal_of(kind);
    }
    return dispose(handle);
}

std::unique_ptr<FileSystem> make_file_system(bool sync) { return std::make_unique<Win32FileSystem>(sync); }
