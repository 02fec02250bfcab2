// POSIX reads for the check of a folder.
#include "core/run/file_reader.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include "core/base/text.h"
#include "core/run/file_system.h"

namespace {

class PosixFileReader : public FileReader {
public:
    Handle open(const std::u16string& path, std::string& error) override;
    int64_t read_at(Handle file, uint64_t offset, uint8_t* data, size_t size, std::string& error) override;
    void close(Handle file) override;
    void set_direct(bool direct) override { direct_ = direct; }
    bool direct_refused() const override { return refused_; }
    bool drop_cache(const std::u16string& path, std::string& error) override;

private:
    bool direct_ = false;
    std::atomic<bool> refused_{false};
};

int open_for_reading(const std::string& name, int flags) {
    int fd;
    do
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | flags);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

FileReader::Handle PosixFileReader::open(const std::u16string& path, std::string& error) {
    const std::string name = to_utf8(path);
#ifdef O_DIRECT
    // Once one file was refused, the others (of the same folder) are spared the attempt.
    if (direct_ && !refused_) {
        const int fd = open_for_reading(name, O_DIRECT);
        if (fd >= 0)
            return fd;
        if (errno != EINVAL) {
            error = std::strerror(errno);
            return kNoHandle;
        }
        refused_ = true;
    }
#endif
    const int fd = open_for_reading(name, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return kNoHandle;
    }
    // The whole file is read front to back: the kernel may read ahead further than usual.
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
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
#ifdef O_DIRECT
        // A direct read stops short at the end of the file; asking again from there, a place
        // that is not aligned, would only fail.
        if (done < size && (offset + done) % kDirectAlignment != 0 &&
            (::fcntl(static_cast<int>(file), F_GETFL) & O_DIRECT) != 0)
            break;
#endif
    }
    return static_cast<int64_t>(done);
}

void PosixFileReader::close(Handle file) { ::close(static_cast<int>(file)); }

bool PosixFileReader::drop_cache(const std::u16string& path, std::string& error) {
    const int fd = open_for_reading(to_utf8(path), 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // Pages still waiting to be written cannot be dropped: they go to the disk first.
    int result = ::fsync(fd);
    if (result == 0)
        result = posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    else
        result = errno;
    ::close(fd);
    if (result != 0)
        error = std::strerror(result);
    return result == 0;
}

std::unique_ptr<FileReader> make_file_reader() { return std::make_unique<PosixFileReader>(); }
