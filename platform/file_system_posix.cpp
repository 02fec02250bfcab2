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
    void set_direct(bool direct) override { direct_ = direct; }
    bool direct(Handle file) const override;
    WriteStatus write_at(Handle file, uint64_t offset, const uint8_t* data, size_t size) override;
    WriteStatus set_length(Handle file, uint64_t length, bool reserve) override;

private:
    Handle open_for_writing(const std::u16string& path, int flags) const;

    bool sync_;
    bool direct_ = false;
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

int open_retrying(const std::string& name, int flags) {
    int fd;
    do
        fd = ::open(name.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

FileSystem::Handle PosixFileSystem::open_for_writing(const std::u16string& path, int flags) const {
    const std::string name = to_utf8(path);
    flags |= O_WRONLY | O_CREAT | O_CLOEXEC;
#ifdef O_DIRECT
    if (direct_) {
        const int fd = open_retrying(name, flags | O_DIRECT);
        if (fd >= 0 || errno != EINVAL)
            return fd < 0 ? kNoHandle : fd;
        // A file system without direct I/O (tmpfs on older kernels, ramfs) says so only after it
        // has made the file: it is ours now, opened again as usual.
        flags = (flags & ~(O_CREAT | O_EXCL)) | O_TRUNC;
    }
#endif
    const int fd = open_retrying(name, flags);
    return fd < 0 ? kNoHandle : fd;
}

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

bool PosixFileSystem::direct(Handle file) const {
#ifdef O_DIRECT
    const int flags = ::fcntl(static_cast<int>(file), F_GETFL);
    return flags != -1 && (flags & O_DIRECT) != 0;
#else
    (void)file;
    return false;
#endif
}

FileSystem::WriteStatus PosixFileSystem::write_at(Handle file, uint64_t offset, const uint8_t* data,
                                                  size_t size) {
    while (size > 0) {
        const ssize_t n = ::pwrite(static_cast<int>(file), data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return status_of(errno);
        }
        if (n == 0)
            return WriteStatus::failed;
        data += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return WriteStatus::ok;
}

FileSystem::WriteStatus PosixFileSystem::set_length(Handle file, uint64_t length, bool reserve) {
    const int fd = static_cast<int>(file);
#ifdef __linux__
    // Blocks claimed up front also keep the file in few pieces; where the file system cannot
    // claim them, a plain length does the rest.
    if (reserve) {
        int result;
        do
            result = ::fallocate(fd, 0, 0, static_cast<off_t>(length));
        while (result != 0 && errno == EINTR);
        if (result == 0)
            return WriteStatus::ok;
        if (errno != EOPNOTSUPP && errno != ENOSYS)
            return status_of(errno);
    }
#else
    (void)reserve;
#endif
    int result;
    do
        result = ::ftruncate(fd, static_cast<off_t>(length));
    while (result != 0 && errno == EINTR);
    return result == 0 ? WriteStatus::ok : status_of(errno);
}

bool PosixFileSystem::remove(const std::u16string& path) { return ::unlink(to_utf8(path).c_str()) == 0; }

std::unique_ptr<FileSystem> make_file_system(bool sync) { return std::make_unique<PosixFileSystem>(sync); }
