// Win32 file operations for the run.
#include "core/run/file_system.h"

#include <memory>
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
    Handle create_file(const std::u16string& path) override;
    WriteStatus write(Handle file, const uint8_t* data, size_t size) override;
    WriteStatus close(Handle file) override;
    bool remove(const std::u16string& path) override;

private:
    bool sync_;
};

} // namespace

namespace {

FileSystem::WriteStatus status_of(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? FileSystem::WriteStatus::disk_full
                                                                       : FileSystem::WriteStatus::failed;
}

} // namespace

FileSystem::Kind Win32FileSystem::probe(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Kind::missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::folder : Kind::file;
}

bool Win32FileSystem::create_folder(const std::u16string& path) {
    return CreateDirectoryW(wide(path), nullptr) != 0;
}

FileSystem::Handle Win32FileSystem::create_file(const std::u16string& path) {
    HANDLE file = CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<Handle>(file);
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
    if (!CloseHandle(handle) && status == WriteStatus::ok)
        status = status_of(GetLastError());
    return status;
}

bool Win32FileSystem::remove(const std::u16string& path) { return DeleteFileW(wide(path)) != 0; }

std::unique_ptr<FileSystem> make_file_system(bool sync) { return std::make_unique<Win32FileSystem>(sync); }
