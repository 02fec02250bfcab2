// POSIX reads for the check of a folder.
#include "core/run/file_reader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include "core/base/text.h"

namespace {

class PosixFileReader : public FileReader {
public:
    Handle open(const std::u16string& path, std::string& error) override;
    int64_t read_at(Handle file, uint64_t offset, uint8_t* data, size_t size, std::string& error) override;
    void close(Handle file) override;
};

} // namespace

FileReader::Handle PosixFileReader::open(const std::u16string& path, std::string& error) {
    int fd;
    do
        fd = ::open(to_utf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
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
    }
    return static_cast<int64_t>(done);
}

void PosixFileReader::close(Handle file) { ::close(static_cast<int>(file)); }

std::unique_ptr<FileReader> make_file_reader() { return std::make_unique<PosixFileReader>(); }
