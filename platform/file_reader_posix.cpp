// POSIX listing and reads for the check of a folder; paths go to the system as UTF-8.
#include "core/run/file_reader.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "core/base/text.h"
#include "core/run/file_system.h"

namespace {

class PosixFileReader : public FileReader {
public:
    char16_t separator() const override { return u'/'; }
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

// Links are never followed, and a pipe put in a file's place cannot make the open wait.
int open_for_reading(const std::string& name, int flags) {
    int fd;
    do
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | flags);
    while (fd < 0 && errno == EINTR);
    return fd;
}

FileStatus failure(int error) { return {FileStatus::Kind::failed, std::strerror(error)}; }

} // namespace

FileStatus PosixFileReader::list(const std::u16string& folder,
                                 const std::function<void(std::u16string_view name)>& each) {
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(to_utf8(folder).c_str()), ::closedir);
    if (!listing)
        return failure(errno);
    std::u16string name;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing.get());
        if (entry == nullptr)
            return errno == 0 ? FileStatus{} : failure(errno);
        // Every kind of entry is passed on: one under a run file's name that is no regular file
        // is a damaged file of that run, which examine() tells.
        if (entry->d_name[0] == '.' &&
            (entry->d_name[1] == 0 || (entry->d_name[1] == '.' && entry->d_name[2] == 0)))
            continue;
        // A name in another encoding is nobody's run file; the names a run gives are ASCII.
        const std::string_view bytes(entry->d_name);
        if (!is_utf8(bytes))
            continue;
        name = from_utf8(bytes);
        each(name);
    }
}

FileStatus PosixFileReader::examine(const std::u16string& path, uint64_t& size) {
    struct stat info;
    if (::lstat(to_utf8(path).c_str(), &info) != 0)
        return failure(errno);
    if (!S_ISREG(info.st_mode))
        return {FileStatus::Kind::not_regular,
                std::string("it is ") +
                    (S_ISDIR(info.st_mode)                            ? "a folder"
                     : S_ISLNK(info.st_mode)                          ? "a symbolic link"
                     : S_ISFIFO(info.st_mode)                         ? "a named pipe"
                     : S_ISSOCK(info.st_mode)                         ? "a socket"
                     : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                                                                      : "something") +
                    ", not a regular file"};
    size = static_cast<uint64_t>(info.st_size);
    return {};
}

bool PosixFileReader::is_folder(const std::u16string& path) {
    struct stat info;
    return ::lstat(to_utf8(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

FileStatus PosixFileReader::open(const std::u16string& path, Handle& file) {
    const std::string name = to_utf8(path);
    int fd = -1;
    bool opened = false; // or failed for another reason than the direct I/O
#ifdef O_DIRECT
    // Once one file was refused, the others (of the same folder) are spared the attempt.
    if (direct_ && !refused_) {
        fd = open_for_reading(name, O_DIRECT);
        opened = fd >= 0 || errno != EINVAL;
        if (!opened)
            refused_ = true;
    }
#endif
    if (!opened)
        fd = open_for_reading(name, 0);
    if (fd < 0)
        return errno == ELOOP
                   ? FileStatus{FileStatus::Kind::not_regular, "it is a symbolic link, not a regular file"}
                   : failure(errno);
    // Checked on what was opened: the name may have been given to something else since it was
    // listed.
    struct stat info;
    const bool examined = ::fstat(fd, &info) == 0;
    if (!examined || !S_ISREG(info.st_mode)) {
        const FileStatus status =
            examined ? FileStatus{FileStatus::Kind::not_regular, "it is not a regular file"} : failure(errno);
        ::close(fd);
        return status;
    }
    // The whole file is read front to back: the kernel may read ahead further than usual.
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    file = fd;
    return {};
}

FileStatus PosixFileReader::size(Handle file, uint64_t& size) {
    struct stat info;
    if (::fstat(static_cast<int>(file), &info) != 0)
        return failure(errno);
    size = static_cast<uint64_t>(info.st_size);
    return {};
}

FileStatus PosixFileReader::read_at(Handle file, uint64_t offset, uint8_t* data, size_t size, size_t& got) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(static_cast<int>(file), data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failure(errno);
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
#ifdef O_DIRECT
        // A direct read stops short at the end of the file; asking again from there, a place
        // that is not aligned, would only fail.
        if (done < size && (offset + done) % kDirectAlignment != 0 &&
            (::fcntl(static_cast<int>(file), F_GETFL) & O_DIRECT) != 0)
            break;
#endif
    }
    got = done;
    return {};
}

void PosixFileReader::close(Handle file) { ::close(static_cast<int>(file)); }

FileStatus PosixFileReader::drop_cache(const std::u16string& path) {
    const int fd = open_for_reading(to_utf8(path), 0);
    if (fd < 0)
        return failure(errno);
    // Pages still waiting to be written cannot be dropped: they go to the disk first.
    int result = ::fsync(fd);
    if (result == 0)
        result = posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    else
        result = errno;
    ::close(fd);
    return result == 0 ? FileStatus{} : failure(result);
}

std::unique_ptr<FileReader> make_file_reader() { return std::make_unique<PosixFileReader>(); }
