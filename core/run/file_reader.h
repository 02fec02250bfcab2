// How the check of a folder lists and reads its files, implemented once for POSIX and once for Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/run/file_status.h"

class FileReader {
public:
    using Handle = intptr_t;
    static constexpr Handle kNoHandle = -1;

    virtual ~FileReader() = default;

    // The separator between a folder and a name in the paths this reader takes.
    virtual char16_t separator() const = 0;

    // Every operation that can fail says how in a FileStatus (its message the system's reason);
    // what it finds comes back through a parameter, set only when the status is ok.

    // Calls `each` with the name of every entry of `folder` (of every kind; not "." and ".."),
    // leaving out names that are no valid text. Failed when the folder cannot be listed to its end.
    virtual FileStatus list(const std::u16string& folder,
                            const std::function<void(std::u16string_view name)>& each) = 0;

    // What `path` is, without following a link: ok and the size for a regular file, not_regular
    // and what else it is ("it is a folder, not a regular file"), failed and the system's reason
    // when that cannot be told.
    virtual FileStatus examine(const std::u16string& path, uint64_t& size) = 0;

    // True when `path` is a folder itself, not a link to one nor anything else.
    virtual bool is_folder(const std::u16string& path) = 0;

    // Opens a regular file for reading, without following a link and without waiting for a
    // writer (a pipe put in a file's place); fails when it cannot, or when what is there is no
    // regular file.
    virtual FileStatus open(const std::u16string& path, Handle& file) = 0;
    // The size the open file has now.
    virtual FileStatus size(Handle file, uint64_t& size) = 0;
    // Reads up to `size` bytes from `offset`: `got` bytes, short only at the end of the file. Safe
    // to call from several threads on different handles.
    virtual FileStatus read_at(Handle file, uint64_t offset, uint8_t* data, size_t size, size_t& got) = 0;
    virtual void close(Handle file) = 0;

    // Direct I/O: files opened from now on are read from the device, past the system's cache,
    // where the file system lets them; reads then ask for sizes and places that are multiples of
    // kDirectAlignment (file_system.h), into memory aligned to it, and may come back short at the
    // end of the file.
    virtual void set_direct(bool direct) { (void)direct; }
    // True once a file system refused direct reads: those files were read through the cache.
    virtual bool direct_refused() const { return false; }
    // Writes what the cache holds of the file to the disk, then drops the file from the cache, so
    // that the next read comes from the disk; failed, with the reason, where the system cannot.
    virtual FileStatus drop_cache(const std::u16string& path) {
        (void)path;
        return {FileStatus::Kind::failed, "not supported"};
    }
};

// The platform's reader (one factory in each platform file).
std::unique_ptr<FileReader> make_file_reader();
