// Win32 file operations for the run.
#include "core/run/file_system.h"

#include <memory>
#include <mutex>
#include <unordered_set>
#include <windows.h>

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
    Kind probe(const std::u16string& path) override;
    bool create_folder(const std::u16string& path) override;
    Handle create_file(const std::u16string& path, CreateStatus& status) override;
    Handle create_new_file(const std::u16string& path, CreateStatus& status) override;
    WriteStatus write(Handle file, const uint8_t* data, size_t size) override;
    WriteStatus close(Handle file) override;
    bool remove(const std::u16string& path) override;
    bool rename(const std::u16string& from, const std::u16string& to) override;
    void set_direct(bool direct) override { direct_ = direct; }
    bool direct(Handle file) const override;
    WriteStatus write_at(Handle file, uint64_t offset, const uint8_t* data, size_t size) override;
    WriteStatus set_length(Handle file, uint64_t length, bool reserve) override;

private:
    Handle open_file(const std::u16string& path, DWORD disposition, CreateStatus& status, DWORD& error);

    bool sync_;
    bool direct_ = false;
    // The files opened for direct I/O: their handles are overlapped, so that several threads can
    // each have a write of their own in flight.
    mutable std::mutex direct_mutex_;
    std::unordered_set<Handle> direct_files_;
};

} // namespace

namespace {

FileSystem::WriteStatus status_of(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? FileSystem::WriteStatus::disk_full
                                                                       : FileSystem::WriteStatus::failed;
}

FileSystem::CreateStatus create_status_of(DWORD error) {
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return FileSystem::CreateStatus::exists;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FileSystem::CreateStatus::disk_full;
    default:
        return FileSystem::CreateStatus::failed;
    }
}

// Symbolic links and junctions are reparse points; a device is nothing to write test files into.
bool is_plain_file(DWORD attributes) {
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) ==
           0;
}

// FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, never what it points at; what was opened is
// then checked to be a plain file on a disk.
FileSystem::Handle open_plain_file(const std::u16string& path, DWORD disposition, DWORD flags,
                                   FileSystem::CreateStatus& status, DWORD& error) {
    HANDLE file = CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr);
    error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (file == INVALID_HANDLE_VALUE) {
        status = create_status_of(error);
        return FileSystem::kNoHandle;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info) || !is_plain_file(info.dwFileAttributes) ||
        GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        status = FileSystem::CreateStatus::not_regular;
        return FileSystem::kNoHandle;
    }
    status = FileSystem::CreateStatus::ok;
    return reinterpret_cast<FileSystem::Handle>(file);
}

} // namespace

FileSystem::Handle Win32FileSystem::open_file(const std::u16string& path, DWORD disposition,
                                              CreateStatus& status, DWORD& error) {
    if (direct_) {
        const Handle file = open_plain_file(
            path, disposition, FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OVERLAPPED,
            status, error);
        if (file != kNoHandle) {
            std::lock_guard lock(direct_mutex_);
            direct_files_.insert(file);
            return file;
        }
        // Anything but a refusal of the flags fails the same way without them.
        if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED)
            return kNoHandle;
    }
    return open_plain_file(path, disposition, 0, status, error);
}

FileSystem::Kind Win32FileSystem::probe(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Kind::missing : Kind::other;
    }
    // A folder reached through a junction or link is a folder: files are made inside it, never
    // through it. A link in a file's place is not a file.
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::folder
           : is_plain_file(attributes)                  ? Kind::file
                                                        : Kind::other;
}

bool Win32FileSystem::create_folder(const std::u16string& path) {
    return CreateDirectoryW(wide(path), nullptr) != 0;
}

FileSystem::Handle Win32FileSystem::create_new_file(const std::u16string& path, CreateStatus& status) {
    DWORD error;
    return open_file(path, CREATE_NEW, status, error);
}

FileSystem::Handle Win32FileSystem::create_file(const std::u16string& path, CreateStatus& status) {
    // Never CREATE_ALWAYS, which would follow a link: the file that is there is opened and
    // emptied, and only a name nobody has is created. A name that neither opens nor can be
    // created (a link that points nowhere) is refused.
    DWORD error;
    Handle file = open_file(path, OPEN_EXISTING, status, error);
    if (file == kNoHandle && error == ERROR_FILE_NOT_FOUND) {
        file = open_file(path, CREATE_NEW, status, error);
        if (status == CreateStatus::exists)
            status = CreateStatus::not_regular;
    }
    if (file != kNoHandle && !SetEndOfFile(reinterpret_cast<HANDLE>(file))) {
        status = create_status_of(GetLastError());
        CloseHandle(reinterpret_cast<HANDLE>(file));
        return kNoHandle;
    }
    return file;
}

bool Win32FileSystem::direct(Handle file) const {
    std::lock_guard lock(direct_mutex_);
    return direct_files_.count(file) != 0;
}

FileSystem::WriteStatus Win32FileSystem::write_at(Handle file, uint64_t offset, const uint8_t* data,
                                                  size_t size) {
    // Each write has its own event, so that writes of several threads on one handle each wait for
    // their own.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        return WriteStatus::failed;
    WriteStatus status = WriteStatus::ok;
    while (size > 0 && status == WriteStatus::ok) {
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
            status = WriteStatus::failed;
        data += done;
        offset += done;
        size -= done;
    }
    CloseHandle(event);
    return status;
}

FileSystem::WriteStatus Win32FileSystem::set_length(Handle file, uint64_t length, bool) {
    // Moving the end of a file claims its clusters (NTFS), so a full disk shows here already.
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end)
               ? WriteStatus::ok
               : status_of(GetLastError());
}

FileSystem::WriteStatus Win32FileSystem::write(Handle file, const uint8_t* data, size_t size) {
    // A write that crosses the end of the free space may succeed short; the next one then fails
    // with the reason.
    return write_all(reinterpret_cast<HANDLE>(file), data, size) ? WriteStatus::ok
                                                                 : status_of(GetLastError());
}

FileSystem::WriteStatus Win32FileSystem::close(Handle file) {
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    WriteStatus status = WriteStatus::ok;
    if (sync_ && !FlushFileBuffers(handle))
        status = status_of(GetLastError());
    {
        std::lock_guard lock(direct_mutex_);
        direct_files_.erase(file);
    }
    if (!CloseHandle(handle) && status == WriteStatus::ok)
        status = status_of(GetLastError());
    return status;
}

bool Win32FileSystem::remove(const std::u16string& path) { return DeleteFileW(wide(path)) != 0; }

bool Win32FileSystem::rename(const std::u16string& from, const std::u16string& to) {
    return MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::unique_ptr<FileSystem> make_file_system(bool sync) { return std::make_unique<Win32FileSystem>(sync); }
