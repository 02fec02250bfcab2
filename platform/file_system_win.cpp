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
    FileStatus create_folder(const std::u16string& path) override;
    FileStatus create_file(const std::u16string& path, Handle& file) override;
    FileStatus create_new_file(const std::u16string& path, Handle& file) override;
    FileStatus write(Handle file, const uint8_t* data, size_t size) override;
    FileStatus close(Handle file) override;
    FileStatus remove(const std::u16string& path) override;
    FileStatus rename(const std::u16string& from, const std::u16string& to) override;
    void set_direct(bool direct) override { direct_ = direct; }
    bool direct(Handle file) const override;
    FileStatus write_at(Handle file, uint64_t offset, const uint8_t* data, size_t size) override;
    FileStatus set_length(Handle file, uint64_t length, bool reserve) override;

private:
    FileStatus open_file(const std::u16string& path, DWORD disposition, Handle& file, DWORD& error);

    bool sync_;
    bool direct_ = false;
    // The files opened for direct I/O: their handles are overlapped, so that several threads can
    // each have a write of their own in flight.
    mutable std::mutex direct_mutex_;
    std::unordered_set<Handle> direct_files_;
};

} // namespace

namespace {

// A failed call's error code as a status.
FileStatus status_of(DWORD error) {
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return {FileStatus::Kind::exists, system_message(error)};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return {FileStatus::Kind::disk_full, system_message(error)};
    default:
        return {FileStatus::Kind::failed, system_message(error)};
    }
}

// The status of a call that returns nonzero on success and sets the last error otherwise.
FileStatus status_of_call(BOOL done) { return done ? FileStatus{} : status_of(GetLastError()); }

// Symbolic links and junctions are reparse points; a device is nothing to write test files into.
bool is_plain_file(DWORD attributes) {
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) ==
           0;
}

// FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, never what it points at; what was opened is
// then checked to be a plain file on a disk.
FileStatus open_plain_file(const std::u16string& path, DWORD disposition, DWORD flags,
                           FileSystem::Handle& opened, DWORD& error) {
    HANDLE file = CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr);
    error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (file == INVALID_HANDLE_VALUE)
        return status_of(error);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info) || !is_plain_file(info.dwFileAttributes) ||
        GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return {FileStatus::Kind::not_regular, "it is not a regular file"};
    }
    opened = reinterpret_cast<FileSystem::Handle>(file);
    return {};
}

} // namespace

FileStatus Win32FileSystem::open_file(const std::u16string& path, DWORD disposition, Handle& file,
                                      DWORD& error) {
    if (direct_) {
        const FileStatus status = open_plain_file(
            path, disposition, FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OVERLAPPED, file,
            error);
        if (status.ok()) {
            std::lock_guard lock(direct_mutex_);
            direct_files_.insert(file);
            return status;
        }
        // Anything but a refusal of the flags fails the same way without them.
        if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED)
            return status;
    }
    return open_plain_file(path, disposition, 0, file, error);
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

FileStatus Win32FileSystem::create_folder(const std::u16string& path) {
    return status_of_call(CreateDirectoryW(wide(path), nullptr));
}

FileStatus Win32FileSystem::create_new_file(const std::u16string& path, Handle& file) {
    DWORD error;
    return open_file(path, CREATE_NEW, file, error);
}

FileStatus Win32FileSystem::create_file(const std::u16string& path, Handle& file) {
    // Never CREATE_ALWAYS, which would follow a link: the file that is there is opened and
    // emptied, and only a name nobody has is created. A name that neither opens nor can be
    // created (a link that points nowhere) is refused.
    DWORD error;
    Handle opened = kNoHandle;
    FileStatus status = open_file(path, OPEN_EXISTING, opened, error);
    if (!status.ok() && error == ERROR_FILE_NOT_FOUND) {
        status = open_file(path, CREATE_NEW, opened, error);
        if (status.kind == FileStatus::Kind::exists)
            status.kind = FileStatus::Kind::not_regular;
    }
    if (!status.ok())
        return status;
    if (!SetEndOfFile(reinterpret_cast<HANDLE>(opened))) {
        status = status_of(GetLastError());
        close(opened);
        return status;
    }
    file = opened;
    return {};
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
            status = {FileStatus::Kind::failed, "nothing was written"};
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
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return status_of_call(SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end));
}

FileStatus Win32FileSystem::write(Handle file, const uint8_t* data, size_t size) {
    // A write that crosses the end of the free space may succeed short; the next one then fails
    // with the reason.
    return status_of_call(write_all(reinterpret_cast<HANDLE>(file), data, size));
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

FileStatus Win32FileSystem::remove(const std::u16string& path) {
    return status_of_call(DeleteFileW(wide(path)));
}

FileStatus Win32FileSystem::rename(const std::u16string& from, const std::u16string& to) {
    return status_of_call(MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING));
}

std::unique_ptr<FileSystem> make_file_system(bool sync) { return std::make_unique<Win32FileSystem>(sync); }
