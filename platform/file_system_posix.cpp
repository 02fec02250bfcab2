// POSIX file operations for the run.
#include "core/run/file_system.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "core/base/text.h"

namespace {

class PosixFileSystem : public FileSystem {
public:
    // With sync set, every file's data is flushed to the disk before it is closed.
    explicit PosixFileSystem(bool sync = false) : sync_(sync) {}

    char16_t separator() const override { return u'/'; }
    size_t max_path_length() const override { return 4095; }
    Kind probe(const std::u16string& path) override;
    bool create_folder(const std::u16string& path) override;
    Handle create_file(const std::u16string& path) override;
    Handle create_new_file(const std::u16string& path) override;
    WriteStatus write(Handle file, const uint8_t* data, size_t size) override;
    WriteStatus close(Handle file) override;
    bool remove(const std::u16string& path) override;

private:
    bool sync_;
};

} // namespace

namespace {

FileSystem::WriteStatus status_of(int error) {
    return error == ENOSPC || error == EDQUOT ? FileSystem::WriteStatus::disk_full
                                              : FileSystem::WriteStatus::failed;
}

} // namespace

FileSystem::Kind PosixFileSystem::probe(const std::u16string& path) {
    struct stat info;
    if (::stat(to_utf8(path).c_str(), &info) != 0)
        return Kind::missing;
    return S_ISDIR(info.st_mode) ? Kind::folder : Kind::file;
}

bool PosixFileSystem::create_folder(const std::u16string& path) {
    return ::mkdir(to_utf8(path).c_str(), 0777) == 0;
}

namespace {

FileSystem::Handle open_for_writing(const std::u16string& path, int flags) {
    const std::string name = to_utf8(path);
    int fd;
    do
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
    while (fd < 0 && errno == EINTR);
    return fd < 0 ? FileSystem::kNoHandle : fd;
}

} // namespace

FileSystem::Handle PosixFileSystem::create_file(const std::u16string& path) {
    return open_for_writing(path, O_TRUNC);
}

FileSystem::Handle PosixFileSystem::create_new_file(const std::u16string& path) {
    return open_for_writing(path, O_EXCL);
}

FileSystem::WriteStatus PosixFileSystem::write(Handle file, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(file), data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return status_of(errno);
        }
        if (n == 0)
            return WriteStatus::failed;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return WriteStatus::ok;
}

FileSystem::WriteStatus PosixFileSystem::close(Handle file) {
    const int fd = static_cast<int>(file);
    WriteStatus status = WriteStatus::ok;
    if (sync_ && ::fsync(fd) != 0)
        status = status_of(errno);
    // Some file systems report a failed write-back only here.
    if (::close(fd) != 0 && errno != EINTR && status == WriteStatus::ok)
        status = status_of(errno);
    return status;
}

bool PosixFileSystem::remove(const std::u16string& path) { return ::unlink(to_utf8(path).c_str()) == 0; }

std::unique_ptr<FileSystem> make_file_system(bool sync) { return std::make_unique<PosixFileSystem>(sync); }
