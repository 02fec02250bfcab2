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
    Handle open_folder(const std::u16string& path, CreateStatus& status) override;
    void close_folder(Handle folder) override;
    bool same_folder(Handle folder, const std::u16string& path) override;
    Kind probe(Handle folder, const std::u16string& name) override;
    Handle create_file(Handle folder, const std::u16string& name, CreateStatus& status) override;
    Handle create_new_file(Handle folder, const std::u16string& name, CreateStatus& status) override;
    WriteStatus write(Handle file, const uint8_t* data, size_t size) override;
    WriteStatus close(Handle file) override;
    bool remove(Handle folder, const std::u16string& name) override;
    bool rename(Handle folder, const std::u16string& from, const std::u16string& to) override;
    void set_direct(bool direct) override { direct_ = direct; }
    bool direct(Handle file) const override;
    WriteStatus write_at(Handle file, uint64_t offset, const uint8_t* data, size_t size) override;
    WriteStatus set_length(Handle file, uint64_t length, bool reserve) override;
    Handle open_existing_folder(const std::u16string& path, std::string& error) override;
    Handle open_subfolder(Handle folder, const std::u16string& name, std::string& error) override;
    bool list(Handle folder, const std::function<void(std::u16string_view name, Kind kind)>& each,
              std::string& error) override;
    bool file_size(Handle folder, const std::u16string& name, uint64_t& size) override;
    bool remove_sized(Handle folder, const std::u16string& name, uint64_t& size) override;
    bool remove_folder(Handle folder, const std::u16string& name) override;

private:
    bool sync_;
    bool direct_ = false;
};

FileSystem::WriteStatus status_of(int error) {
    return error == ENOSPC || error == EDQUOT ? FileSystem::WriteStatus::disk_full
                                              : FileSystem::WriteStatus::failed;
}

FileSystem::CreateStatus create_status_of(int error) {
    switch (error) {
    case EEXIST:
        return FileSystem::CreateStatus::exists;
    case ELOOP: // O_NOFOLLOW met a link
        return FileSystem::CreateStatus::link;
    case EISDIR:
        return FileSystem::CreateStatus::folder;
    case ENOTDIR: // a level of the folder's path is no folder
        return FileSystem::CreateStatus::not_regular;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileSystem::CreateStatus::denied;
    case ENOSPC: // no space for the entry, or no inode left
    case EDQUOT:
        return FileSystem::CreateStatus::disk_full;
    default:
        return FileSystem::CreateStatus::failed;
    }
}

FileSystem::Kind kind_of(mode_t mode) {
    return S_ISREG(mode)    ? FileSystem::Kind::file
           : S_ISDIR(mode)  ? FileSystem::Kind::folder
           : S_ISLNK(mode)  ? FileSystem::Kind::link
           : S_ISFIFO(mode) ? FileSystem::Kind::pipe
                            : FileSystem::Kind::other;
}

// Why a name taken by this kind of thing is not written.
FileSystem::CreateStatus refusal_of(FileSystem::Kind kind) {
    switch (kind) {
    case FileSystem::Kind::link:
        return FileSystem::CreateStatus::link;
    case FileSystem::Kind::pipe:
        return FileSystem::CreateStatus::pipe;
    case FileSystem::Kind::folder:
        return FileSystem::CreateStatus::folder;
    default:
        return FileSystem::CreateStatus::not_regular;
    }
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

FileSystem::Handle PosixFileSystem::open_folder(const std::u16string& path, CreateStatus& status) {
    const std::string name = path.empty() ? "/" : to_utf8(path);
    // The usual case: the folder is there.
    int fd = open_at(AT_FDCWD, name.c_str(), kFolderFlags);
    if (fd >= 0 || errno != ENOENT) {
        status = fd >= 0 ? CreateStatus::ok : create_status_of(errno);
        return fd >= 0 ? fd : kNoHandle;
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
                status = create_status_of(errno);
                ::close(fd);
                return kNoHandle;
            }
            made = true;
            next = open_at(fd, level.c_str(), kFolderFlags | O_NOFOLLOW);
        }
        const int error = errno;
        ::close(fd);
        fd = next;
        errno = error;
    }
    if (fd < 0) {
        status = create_status_of(errno);
        return kNoHandle;
    }
    status = CreateStatus::ok;
    return fd;
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

FileSystem::Handle PosixFileSystem::create_new_file(Handle folder, const std::u16string& name,
                                                    CreateStatus& status) {
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
    if (fd < 0) {
        status = create_status_of(errno);
        return kNoHandle;
    }
    status = CreateStatus::ok;
    return fd;
}

FileSystem::Handle PosixFileSystem::create_file(Handle folder, const std::u16string& name,
                                                CreateStatus& status) {
    // A pipe, socket or device is never opened: opening one may wait or have effects of its own.
    // A regular file's name is removed and made anew, never opened: the data may have other names.
    const Kind kind = probe(folder, name);
    if (kind != Kind::missing && kind != Kind::file) {
        status = refusal_of(kind);
        return kNoHandle;
    }
    if (kind == Kind::file && ::unlinkat(static_cast<int>(folder), to_utf8(name).c_str(), 0) != 0 &&
        errno != ENOENT) {
        status = create_status_of(errno);
        return kNoHandle;
    }
    const Handle file = create_new_file(folder, name, status);
    // Something took the name in between: it is refused for what it is.
    if (status == CreateStatus::exists) {
        const Kind now = probe(folder, name);
        status = now == Kind::file ? CreateStatus::failed : refusal_of(now);
    }
    return file;
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

bool PosixFileSystem::remove(Handle folder, const std::u16string& name) {
    const std::string file = to_utf8(name);
    struct stat info;
    return ::fstatat(static_cast<int>(folder), file.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(info.st_mode) && ::unlinkat(static_cast<int>(folder), file.c_str(), 0) == 0;
}

bool PosixFileSystem::rename(Handle folder, const std::u16string& from, const std::u16string& to) {
    const int at = static_cast<int>(folder);
    return ::renameat(at, to_utf8(from).c_str(), at, to_utf8(to).c_str()) == 0;
}

FileSystem::Handle PosixFileSystem::open_existing_folder(const std::u16string& path, std::string& error) {
    const int fd = open_at(AT_FDCWD, path.empty() ? "/" : to_utf8(path).c_str(), kFolderFlags);
    if (fd < 0)
        error = std::strerror(errno);
    return fd >= 0 ? fd : kNoHandle;
}

FileSystem::Handle PosixFileSystem::open_subfolder(Handle folder, const std::u16string& name,
                                                   std::string& error) {
    const int fd = open_at(static_cast<int>(folder), to_utf8(name).c_str(), kFolderFlags | O_NOFOLLOW);
    if (fd < 0)
        error = errno == ELOOP ? "it is a link" : std::strerror(errno);
    return fd >= 0 ? fd : kNoHandle;
}

bool PosixFileSystem::list(Handle folder,
                           const std::function<void(std::u16string_view name, Kind kind)>& each,
                           std::string& error) {
    // The listing reads through a copy of the handle, which shares its place in the folder: it
    // starts again from the top, and the caller's handle stays open when the listing closes.
    const int copy = ::fcntl(static_cast<int>(folder), F_DUPFD_CLOEXEC, 0);
    DIR* opened = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (opened == nullptr) {
        error = std::strerror(errno);
        if (copy >= 0)
            ::close(copy);
        return false;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(opened, ::closedir);
    ::rewinddir(listing.get());
    std::u16string name;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing.get());
        if (entry == nullptr) {
            if (errno == 0)
                return true;
            error = std::strerror(errno);
            return false;
        }
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

bool PosixFileSystem::file_size(Handle folder, const std::u16string& name, uint64_t& size) {
    struct stat info;
    if (::fstatat(static_cast<int>(folder), to_utf8(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode))
        return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool PosixFileSystem::remove_sized(Handle folder, const std::u16string& name, uint64_t& size) {
    const std::string file = to_utf8(name);
    struct stat info;
    if (::fstatat(static_cast<int>(folder), file.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode) || ::unlinkat(static_cast<int>(folder), file.c_str(), 0) != 0)
        return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool PosixFileSystem::remove_folder(Handle folder, const std::u16string& name) {
    // AT_REMOVEDIR takes an empty folder alone: a link of that name is no folder (ENOTDIR).
    return ::unlinkat(static_cast<int>(folder), to_utf8(name).c_str(), AT_REMOVEDIR) == 0;
}

std::unique_ptr<FileSystem> make_file_system(bool sync) { return std::make_unique<PosixFileSystem>(sync); }
