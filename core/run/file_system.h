// What a generation run does to the file system, implemented once for POSIX and once for Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class FileSystem {
public:
    // `other`: a link (except to a folder, which is a folder), pipe, socket or device, or a name
    // whose kind cannot be told; nothing the run ever opens.
    enum class Kind { missing, file, folder, other };
    enum class WriteStatus { ok, disk_full, failed };
    // Why a file could not be created: the name is taken (create_new_file), what has the name is
    // no regular file, the disk (or its table of files) is full, or another reason.
    enum class CreateStatus { ok, exists, not_regular, disk_full, failed };
    using Handle = intptr_t;
    static constexpr Handle kNoHandle = -1;

    virtual ~FileSystem() = default;

    // The separator the run puts between folder and name; the Win32 one also stands for "/"
    // when folders are made.
    virtual char16_t separator() const = 0;
    // The longest full path a file may have, in the units the platform counts (path_length).
    virtual size_t max_path_length() const = 0;
    virtual size_t path_length(const std::u16string& path) const { return path.size(); }

    // What is at path, without following a link to anything but a folder.
    virtual Kind probe(const std::u16string& path) = 0;
    // Creates one folder; true when it was made.
    virtual bool create_folder(const std::u16string& path) = 0;
    // Opens an existing regular file for writing and empties it, or creates the file when nothing
    // has the name. Never follows a link and never opens anything but a regular file.
    virtual Handle create_file(const std::u16string& path, CreateStatus& status) = 0;
    // Creates the file only if nothing has that name yet (not even a link); `exists` otherwise.
    virtual Handle create_new_file(const std::u16string& path, CreateStatus& status) = 0;
    // Writes all of data; anything short of that is a failure, told apart when the disk is full.
    virtual WriteStatus write(Handle file, const uint8_t* data, size_t size) = 0;
    // Closes the file (in sync mode after its data has reached the disk); what a failure at that
    // point means, as for write.
    virtual WriteStatus close(Handle file) = 0;
    virtual bool remove(const std::u16string& path) = 0;
    // Gives a file another name in the same folder; whatever had that name goes.
    virtual bool rename(const std::u16string& from, const std::u16string& to) = 0;
};

// The platform's file system (one factory in each platform file). With sync set, every file's data
// is flushed to the disk before it is closed.
std::unique_ptr<FileSystem> make_file_system(bool sync = false);
