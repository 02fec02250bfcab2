// The run's file operations on POSIX systems; paths go to the system as UTF-8.
#pragma once

#include "file_system.h"

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
