// POSIX file operations for the run.
#include "core/run/file_system.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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
    // PATH_MAX less its terminating zero, in bytes of UTF-8.
    size_t max_path_length() const override { return 4095; }
    size_t path_length(const std::u16string& path) const override;
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
    int open_for_writing(const std::string& name, int flags) const;

    bool sync_;
    bool direct_ = false;
};

// A failed call's errno as a status.
FileStatus status_of(int error) {
    switch (error) {
    case EEXIST:
        return {FileStatus::Kind::exists, std::strerror(error)};
    case ELOOP: // O_NOFOLLOW met a link
        return {FileStatus::Kind::not_regular, std::strerror(error)};
    case ENOSPC: // no space for the data or the entry, or no inode left
    case EDQUOT:
        return {FileStatus::Kind::disk_full, std::strerror(error)};
    default:
        return {FileStatus::Kind::failed, std::strerror(error)};
    }
}

// The status of a call that returns 0 on success and sets errno otherwise.
FileStatus status_of_call(int result) { return result == 0 ? FileStatus{} : status_of(errno); }

const FileStatus kNotRegular{FileStatus::Kind::not_regular, "it is not a regular file"};

int open_retrying(const std::string& name, int flags) {
    int fd;
    do
        fd = ::open(name.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Links are never followed, and a pipe or device that takes the name between the check and the
// open cannot make the open wait or act: O_NONBLOCK, then the kind is checked on what was opened.
constexpr int kWriteFlags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

FileStatus regular_or_none(int fd) {
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return kNotRegular;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return {};
}

} // namespace

size_t PosixFileSystem::path_length(const std::u16string& path) const { return to_utf8(path).size(); }

FileSystem::Kind PosixFileSystem::probe(const std::u16string& path) {
    const std::string name = to_utf8(path);
    struct stat info;
    if (::lstat(name.c_str(), &info) != 0)
        return errno == ENOENT ? Kind::missing : Kind::other;
    // A folder reached through a link is a folder: files are made inside it, never through it. A
    // link in a file's place is not a file, wherever it points.
    if (S_ISLNK(info.st_mode))
        return ::stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? Kind::folder : Kind::other;
    return S_ISDIR(info.st_mode) ? Kind::folder : S_ISREG(info.st_mode) ? Kind::file : Kind::other;
}

FileStatus PosixFileSystem::create_folder(const std::u16string& path) {
    return status_of_call(::mkdir(to_utf8(path).c_str(), 0777));
}

// With direct I/O asked for, O_DIRECT where the file system takes it.
int PosixFileSystem::open_for_writing(const std::string& name, int flags) const {
#ifdef O_DIRECT
    if (direct_) {
        const int fd = open_retrying(name, flags | O_DIRECT);
        if (fd >= 0 || errno != EINVAL)
            return fd;
        // A file system without direct I/O (tmpfs on older kernels, ramfs) says so only after it
        // has made the file: it is ours now, opened again as usual, still without following links.
        flags = (flags & ~(O_CREAT | O_EXCL)) | O_TRUNC;
    }
#endif
    return open_retrying(name, flags);
}

FileStatus PosixFileSystem::create_new_file(const std::u16string& path, Handle& file) {
    // O_EXCL fails on any name that is taken, a link included, wherever it points; what it opens
    // is a regular file it has just made, so there is nothing to wait on and nothing to check.
    const int fd = open_for_writing(to_utf8(path), (kWriteFlags & ~O_NONBLOCK) | O_CREAT | O_EXCL);
    if (fd < 0)
        return status_of(errno);
    file = fd;
    return {};
}

FileStatus PosixFileSystem::create_file(const std::u16string& path, Handle& file) {
    const std::string name = to_utf8(path);
    struct stat info;
    if (::lstat(name.c_str(), &info) != 0) {
        if (errno != ENOENT)
            return status_of(errno);
        return create_new_file(path, file);
    }
    // A pipe, socket or device is never opened: opening one may wait or have effects of its own.
    if (!S_ISREG(info.st_mode))
        return kNotRegular;
    const int fd = open_for_writing(name, kWriteFlags);
    if (fd < 0)
        return status_of(errno);
    FileStatus status = regular_or_none(fd);
    if (!status.ok())
        return status;
    if (::ftruncate(fd, 0) != 0) {
        status = status_of(errno);
        ::close(fd);
        return status;
    }
    file = fd;
    return {};
}

FileStatus PosixFileSystem::write(Handle file, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(file), data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return status_of(errno);
        }
        if (n == 0)
            return {FileStatus::Kind::failed, "nothing was written"};
        data += n;
        size -= static_cast<size_t>(n);
    }
    return {};
}

FileStatus PosixFileSystem::close(Handle file) {
    const int fd = static_cast<int>(file);
    FileStatus status;
    if (sync_ && ::fsync(fd) != 0)
        status = status_of(errno);
    // Some file systems report a failed write-back only here.
    if (::close(fd) != 0 && errno != EINTR && status.ok())
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

FileStatus PosixFileSystem::write_at(Handle file, uint64_t offset, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::pwrite(static_cast<int>(file), data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return status_of(errno);
        }
        if (n == 0)
            return {FileStatus::Kind::failed, "nothing was written"};
        data += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return {};
}

FileStatus PosixFileSystem::set_length(Handle file, uint64_t length, bool reserve) {
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
            return {};
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
    return status_of_call(result);
}

FileStatus PosixFileSystem::remove(const std::u16string& path) {
    return status_of_call(::unlink(to_utf8(path).c_str()));
}

FileStatus PosixFileSystem::rename(const std::u16string& from, const std::u16string& to) {
    return status_of_call(std::rename(to_utf8(from).c_str(), to_utf8(to).c_str()));
}

std::unique_ptr<FileSystem> make_file_system(bool sync) { return std::make_unique<PosixFileSystem>(sync); }
