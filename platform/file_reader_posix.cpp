// POSIX listing and reads for the check of a folder; paths go to the system as UTF-8.
#include "core/run/file_reader.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "core/base/text.h"

namespace {

class PosixFileReader : public FileReader {
public:
    char16_t separator() const override { return u'/'; }
    bool list(const std::u16string& folder, const std::function<void(std::u16string_view name)>& each,
              std::string& error) override;
    Kind examine(const std::u16string& path, uint64_t& size, std::string& error) override;
    Handle open(const std::u16string& path, std::string& error) override;
    bool size(Handle file, uint64_t& size, std::string& error) override;
    int64_t read_at(Handle file, uint64_t offset, uint8_t* data, size_t size, std::string& error) override;
    void close(Handle file) override;
};

} // namespace

bool PosixFileReader::list(const std::u16string& folder,
                           const std::function<void(std::u16string_view name)>& each, std::string& error) {
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(to_utf8(folder).c_str()), ::closedir);
    if (!listing) {
        error = std::strerror(errno);
        return false;
    }
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
        // What the listing already knows not to be a file is not looked at again; file systems
        // that do not tell (DT_UNKNOWN) leave it to examine().
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
            continue;
        // A name in another encoding is nobody's run file; the names a run gives are ASCII.
        const std::string_view bytes(entry->d_name);
        if (!is_utf8(bytes))
            continue;
        name = from_utf8(bytes);
        each(name);
    }
}

FileReader::Kind PosixFileReader::examine(const std::u16string& path, uint64_t& size, std::string& error) {
    struct stat info;
    if (::lstat(to_utf8(path).c_str(), &info) != 0) {
        error = std::strerror(errno);
        return Kind::unreadable;
    }
    if (!S_ISREG(info.st_mode))
        return Kind::other;
    size = static_cast<uint64_t>(info.st_size);
    return Kind::file;
}

FileReader::Handle PosixFileReader::open(const std::u16string& path, std::string& error) {
    int fd;
    do
        fd = ::open(to_utf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno == ELOOP ? "it is a symbolic link, not a regular file" : std::strerror(errno);
        return kNoHandle;
    }
    // Checked on what was opened: the name may have been given to something else since it was
    // listed.
    struct stat info;
    const bool examined = ::fstat(fd, &info) == 0;
    if (!examined || !S_ISREG(info.st_mode)) {
        error = examined ? "it is not a regular file" : std::strerror(errno);
        ::close(fd);
        return kNoHandle;
    }
    // The whole file is read front to back: the kernel may read ahead further than usual.
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

bool PosixFileReader::size(Handle file, uint64_t& size, std::string& error) {
    struct stat info;
    if (::fstat(static_cast<int>(file), &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

int64_t PosixFileReader::read_at(Handle file, uint64_t offset, uint8_t* data, size_t size,
                                 std::string& error) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(static_cast<int>(file), data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::strerror(errno);
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

void PosixFileReader::close(Handle file) { ::close(static_cast<int>(file)); }

std::unique_ptr<FileReader> make_file_reader() { return std::make_unique<PosixFileReader>(); }
