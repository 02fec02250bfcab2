// POSIX file operations for the run.
#include "core/run/file_system.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
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
    FileStatus open_folder(const std::u16string& path, Handle& folder) override;
    void close_folder(Handle folder) override;
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
};

// A failed call's errno as a status, with the system's words for it.
FileStatus status_of(int error) {
    FileStatus::Kind kind;
    switch (error) {
    case EEXIST:
        kind = FileStatus::Kind::exists;
        break;
    case ELOOP: // O_NOFOLLOW met a link
        kind = FileStatus::Kind::link;
        break;
    case EISDIR:
        kind = FileStatus::Kind::folder;
        break;
    case ENOTDIR: // a level of the folder's path is no folder
        kind = FileStatus::Kind::not_regular;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        kind = FileStatus::Kind::denied;
        break;
    case ENOSPC: // no space for the data or the entry, or no inode left
    case EDQUOT:
        kind = FileStatus::Kind::disk_full;
        break;
    default:
        kind = FileStatus::Kind::failed;
        break;
    }
    return {kind, std::strerror(error)};
}

// A write that wrote nothing and gave no reason.
const FileStatus kWroteNothing{FileStatus::Kind::failed, "nothing was written"};

FileSystem::Kind kind_of(mode_t mode) {
    return S_ISREG(mode)    ? FileSystem::Kind::file
           : S_ISDIR(mode)  ? FileSystem::Kind::folder
           : S_ISLNK(mode)  ? FileSystem::Kind::link
           : S_ISFIFO(mode) ? FileSystem::Kind::pipe
                            : FileSystem::Kind::other;
}

int open_at(int folder, const char* name, int flags) {
    int fd;
    do
        fd = ::openat(folder, name, flags, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Names are single names: O_NOFOLLOW on the name itself is all that keeps a link from leading a
// file out of the folder, since the folder is a handle and no level above it is looked up again.
constexpr int kNewFileFlags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_CREAT | O_EXCL;

} // namespace

size_t PosixFileSystem::path_length(const std::u16string& path) const { return to_utf8(path).size(); }

FileStatus PosixFileSystem::open_folder(const std::u16string& path, Handle& folder) {
    const std::string name = path.empty() ? "/" : to_utf8(path);
    // The usual case: the folder is there.
    int fd = open_at(AT_FDCWD, name.c_str(), kFolderFlags);
    if (fd >= 0 || errno != ENOENT) {
        if (fd < 0)
            return status_of(errno);
        folder = fd;
        return {};
    }
    // Level by level, each relative to the one above: the levels that are there as the system
    // finds them, the ones made here without following a link.
    fd = open_at(AT_FDCWD, name[0] == '/' ? "/" : ".", kFolderFlags);
    bool made = false;
    size_t begin = 0;
    while (fd >= 0 && begin < name.size()) {
        size_t end = name.find('/', begin);
        if (end == std::string::npos)
            end = name.size();
        const std::string level = name.substr(begin, end - begin);
        begin = end + 1;
        if (level.empty())
            continue;
        int next = made ? -1 : open_at(fd, level.c_str(), kFolderFlags);
        if (next < 0 && (made || errno == ENOENT)) {
            if (::mkdirat(fd, level.c_str(), 0777) != 0 && errno != EEXIST) {
                const FileStatus status = status_of(errno);
                ::close(fd);
                return status;
            }
            made = true;
            next = open_at(fd, level.c_str(), kFolderFlags | O_NOFOLLOW);
        }
        const int error = errno;
        ::close(fd);
        fd = next;
        errno = error;
    }
    if (fd < 0)
        return status_of(errno);
    folder = fd;
    return {};
}

void PosixFileSystem::close_folder(Handle folder) { ::close(static_cast<int>(folder)); }

bool PosixFileSystem::same_folder(Handle folder, const std::u16string& path) {
    struct stat opened, named;
    return ::fstat(static_cast<int>(folder), &opened) == 0 &&
           ::stat(path.empty() ? "/" : to_utf8(path).c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

FileSystem::Kind PosixFileSystem::probe(Handle folder, const std::u16string& name) {
    struct stat info;
    if (::fstatat(static_cast<int>(folder), to_utf8(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Kind::missing : Kind::other;
    return kind_of(info.st_mode);
}

FileStatus PosixFileSystem::create_new_file(Handle folder, const std::u16string& name, Handle& made) {
    // O_EXCL fails on any name that is taken, a link included, wherever it points; what it opens
    // is a regular file it has just made, so there is nothing to wait on and nothing to check.
    const int at = static_cast<int>(folder);
    const std::string file = to_utf8(name);
    int fd = -1;
#ifdef O_DIRECT
    // With direct I/O asked for, O_DIRECT where the file system takes it. A file system without
    // it (tmpfs on older kernels, ramfs) says so only after it has made the file: it is ours now,
    // opened again as usual, still without following a link.
    if (direct_) {
        fd = open_at(at, file.c_str(), kNewFileFlags | O_DIRECT);
        if (fd < 0 && errno == EINVAL)
            fd = open_at(at, file.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_TRUNC);
    } else
#endif
        fd = open_at(at, file.c_str(), kNewFileFlags);
    if (fd < 0)
        return status_of(errno);
    made = fd;
    return {};
}

FileStatus PosixFileSystem::create_file(Handle folder, const std::u16string& name, Handle& made) {
    // A pipe, socket or device is never opened: opening one may wait or have effects of its own.
    // A regular file's name is removed and made anew, never opened: the data may have other names.
    const Kind kind = probe(folder, name);
    if (kind != Kind::missing && kind != Kind::file)
        return refusal_of(kind);
    if (kind == Kind::file && ::unlinkat(static_cast<int>(folder), to_utf8(name).c_str(), 0) != 0 &&
        errno != ENOENT)
        return status_of(errno);
    const FileStatus status = create_new_file(folder, name, made);
    // Something took the name in between: it is refused for what it is.
    if (status.kind == FileStatus::Kind::exists) {
        const Kind now = probe(folder, name);
        return now == Kind::file ? FileStatus{FileStatus::Kind::failed, status.message} : refusal_of(now);
    }
    return status;
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
            return kWroteNothing;
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
            return kWroteNothing;
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
    return result == 0 ? FileStatus{} : status_of(errno);
}

FileStatus PosixFileSystem::remove(Handle folder, const std::u16string& name) {
    uint64_t size;
    return remove_sized(folder, name, size);
}

FileStatus PosixFileSystem::rename(Handle folder, const std::u16string& from, const std::u16string& to) {
    const int at = static_cast<int>(folder);
    return ::renameat(at, to_utf8(from).c_str(), at, to_utf8(to).c_str()) == 0 ? FileStatus{}
                                                                               : status_of(errno);
}

FileStatus PosixFileSystem::open_existing_folder(const std::u16string& path, Handle& folder) {
    const int fd = open_at(AT_FDCWD, path.empty() ? "/" : to_utf8(path).c_str(), kFolderFlags);
    if (fd < 0)
        return status_of(errno);
    folder = fd;
    return {};
}

FileStatus PosixFileSystem::open_subfolder(Handle folder, const std::u16string& name, Handle& inner) {
    const int fd = open_at(static_cast<int>(folder), to_utf8(name).c_str(), kFolderFlags | O_NOFOLLOW);
    if (fd < 0)
        return errno == ELOOP ? refusal_of(Kind::link) : status_of(errno);
    inner = fd;
    return {};
}

FileStatus PosixFileSystem::make_subfolder(Handle folder, const std::u16string& name, Handle& inner) {
    if (::mkdirat(static_cast<int>(folder), to_utf8(name).c_str(), 0777) != 0 && errno != EEXIST)
        return status_of(errno);
    return open_subfolder(folder, name, inner);
}

FileStatus PosixFileSystem::list(Handle folder,
                                 const std::function<void(std::u16string_view name, Kind kind)>& each) {
    // The listing reads through a copy of the handle, which shares its place in the folder: it
    // starts again from the top, and the caller's handle stays open when the listing closes.
    const int copy = ::fcntl(static_cast<int>(folder), F_DUPFD_CLOEXEC, 0);
    DIR* opened = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (opened == nullptr) {
        const FileStatus status = status_of(errno);
        if (copy >= 0)
            ::close(copy);
        return status;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(opened, ::closedir);
    ::rewinddir(listing.get());
    std::u16string name;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing.get());
        if (entry == nullptr)
            return errno == 0 ? FileStatus{} : status_of(errno);
        if (entry->d_name[0] == '.' &&
            (entry->d_name[1] == 0 || (entry->d_name[1] == '.' && entry->d_name[2] == 0)))
            continue;
        Kind kind = Kind::other;
        switch (entry->d_type) {
        case DT_REG:
            kind = Kind::file;
            break;
        case DT_DIR:
            kind = Kind::folder;
            break;
        case DT_LNK:
            kind = Kind::link;
            break;
        case DT_FIFO:
            kind = Kind::pipe;
            break;
        case DT_UNKNOWN: { // some file systems do not say: asked one by one
            struct stat info;
            if (::fstatat(static_cast<int>(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
                kind = kind_of(info.st_mode);
            break;
        }
        default:
            break;
        }
        const std::string_view bytes(entry->d_name);
        if (is_utf8(bytes))
            name = from_utf8(bytes);
        else
            name.clear();
        each(name, kind);
    }
}

namespace {

// What has `name` in `folder`, without following a link: ok and the size for a regular file.
FileStatus regular_file(int folder, const char* name, uint64_t& size) {
    struct stat info;
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return status_of(errno);
    if (!S_ISREG(info.st_mode))
        return refusal_of(kind_of(info.st_mode));
    size = static_cast<uint64_t>(info.st_size);
    return {};
}

} // namespace

FileStatus PosixFileSystem::file_size(Handle folder, const std::u16string& name, uint64_t& size) {
    return regular_file(static_cast<int>(folder), to_utf8(name).c_str(), size);
}

FileStatus PosixFileSystem::remove_sized(Handle folder, const std::u16string& name, uint64_t& size) {
    const std::string file = to_utf8(name);
    uint64_t had = 0;
    FileStatus status = regular_file(static_cast<int>(folder), file.c_str(), had);
    if (status.ok() && ::unlinkat(static_cast<int>(folder), file.c_str(), 0) != 0)
        status = status_of(errno);
    if (status.ok())
        size = had;
    return status;
}

FileStatus PosixFileSystem::remove_folder(Handle folder, const std::u16string& name) {
    // AT_REMOVEDIR takes an empty folder alone: a link or a file of that name is no folder.
    if (::unlinkat(static_cast<int>(folder), to_utf8(name).c_str(), AT_REMOVEDIR) == 0)
        return {};
    const int error = errno;
    return error == ENOTDIR && probe(folder, name) == Kind::link ? refusal_of(Kind::link) : status_of(error);
}

std::unique_ptr<FileSystem> make_file_system(bool sync) { return std::make_unique<PosixFileSystem>(sync); }
