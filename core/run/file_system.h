// What a generation run does to the file system, implemented once for POSIX and once for Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class FileSystem {
public:
    enum class Kind { missing, file, folder };
    enum class WriteStatus { ok, disk_full, failed };
    using Handle = intptr_t;
    static constexpr Handle kNoHandle = -1;

    virtual ~FileSystem() = default;

    // The separator the run puts between folder and name; the Win32 one also stands for "/"
    // when folders are made.
    virtual char16_t separator() const = 0;
    // The longest full path a file may have, in UTF-16 units.
    virtual size_t max_path_length() const = 0;

    virtual Kind probe(const std::u16string& path) = 0;
    // Creates one folder; true when it was made.
    virtual bool create_folder(const std::u16string& path) = 0;
    // Creates the file or truncates an existing one, for writing.
    virtual Handle create_file(const std::u16string& path) = 0;
    // Creates the file only if nothing has that name yet; kNoHandle otherwise, and always where
    // the platform's file system has no use for it. Spares a new file its probe.
    virtual Handle create_new_file(const std::u16string& path) {
        (void)path;
        return kNoHandle;
    }
    // Writes all of data; anything short of that is a failure, told apart when the disk is full.
    virtual WriteStatus write(Handle file, const uint8_t* data, size_t size) = 0;
    // Closes the file (in sync mode after its data has reached the disk); what a failure at that
    // point means, as for write.
    virtual WriteStatus close(Handle file) = 0;
    virtual bool remove(const std::u16string& path) = 0;
};

// The platform's file system (one factory in each platform file). With sync set, every file's data
// is flushed to the disk before it is closed.
std::unique_ptr<FileSystem> make_file_system(bool sync = false);
