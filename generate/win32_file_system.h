// The run's file operations through the Win32 API: backslash paths of at most 255 characters.
#pragma once

#include "file_system.h"

class Win32FileSystem : public FileSystem {
public:
    // With sync set, every file's buffers are flushed to the disk before it is closed.
    explicit Win32FileSystem(bool sync = false) : sync_(sync) {}

    char16_t separator() const override { return u'\\'; }
    size_t max_path_length() const override { return 255; }
    Kind probe(const std::u16string& path) override;
    bool create_folder(const std::u16string& path) override;
    Handle create_file(const std::u16string& path) override;
    WriteStatus write(Handle file, const uint8_t* data, size_t size) override;
    WriteStatus close(Handle file) override;
    bool remove(const std::u16string& path) override;

private:
    bool sync_;
};
