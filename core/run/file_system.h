// What a generation run does to the file system, implemented once for POSIX and once for Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/run/file_status.h"

// Direct I/O moves blocks whose size, place in the file and place in memory are multiples of this:
// a page, and a whole number of blocks of every common device.
inline constexpr size_t kDirectAlignment = 4096;

class FileSystem {
public:
    // What has a name. `link`: a symbolic link (or another reparse point), wherever it points;
    // `other`: a socket, a device, or a name whose kind cannot be told. Only `file` is ever opened.
    enum class Kind { missing, file, folder, link, pipe, other };
    using Handle = intptr_t;
    static constexpr Handle kNoHandle = -1;

    virtual ~FileSystem() = default;

    // Every operation that can fail says how in a FileStatus; what it opens (a handle) comes back
    // through a parameter, set only when the status is ok. Why a file or the folder could not be
    // opened or created: the name is taken (create_new_file), what has the name is a link, a pipe,
    // a folder or something else that is no regular file, the system denied access, the disk (or
    // its table of files) is full, or another reason.

    // The separator the run puts between folder and name; the Win32 one also stands for "/"
    // when folders are made.
    virtual char16_t separator() const = 0;
    // The longest full path a file may have, in the units the platform counts (path_length).
    virtual size_t max_path_length() const = 0;
    virtual size_t path_length(const std::u16string& path) const { return path.size(); }
    // The longest name of one folder or file in a path, in the same units.
    virtual size_t max_name_length() const { return 255; }

    // Opens the run's folder once, making the levels that are missing. The levels that are there
    // are reached as the system reaches them (the user may name a folder through a link); every
    // level made here is opened without following a link, so that a link put in its place stops
    // the run instead of leading it elsewhere. The files of the run are then named relative to
    // the handle: a folder moved or swapped during the run can no longer redirect them.
    virtual FileStatus open_folder(const std::u16string& path, Handle& folder) = 0;
    virtual void close_folder(Handle folder) = 0;
    // True while `path` still leads to the folder open_folder opened.
    virtual bool same_folder(Handle folder, const std::u16string& path) = 0;

    // The rest names files relative to an opened folder; `name` is a single name, no path.
    // What has the name, never following a link.
    virtual Kind probe(Handle folder, const std::u16string& name) = 0;
    // Replaces a regular file of that name by a new, empty one, or creates the file when nothing
    // has the name. The old file's name is removed first, so that no other name of its data (a
    // hard link) ever sees the new bytes. Never follows a link and never opens anything but a
    // regular file; what has the name otherwise is told by the status.
    virtual FileStatus create_file(Handle folder, const std::u16string& name, Handle& file) = 0;
    // Creates the file only if nothing has that name yet (not even a link); `exists` otherwise.
    virtual FileStatus create_new_file(Handle folder, const std::u16string& name, Handle& file) = 0;
    // Writes all of data; anything short of that is a failure, told apart when the disk is full.
    virtual FileStatus write(Handle file, const uint8_t* data, size_t size) = 0;
    // Closes the file (in sync mode after its data has reached the disk); what a failure at that
    // point means, as for write.
    virtual FileStatus close(Handle file) = 0;
    // Removes a regular file; a link, or anything else, with the name stays.
    virtual FileStatus remove(Handle folder, const std::u16string& name) = 0;
    // Gives a file another name in the same folder; a file or link that had that name goes.
    virtual FileStatus rename(Handle folder, const std::u16string& from, const std::u16string& to) = 0;

    // Direct I/O: files created from now on bypass the system's cache, where the file system
    // lets them; where it refuses, they are opened as usual and `direct` tells so.
    virtual void set_direct(bool direct) { (void)direct; }
    // True when the file was opened for direct I/O.
    virtual bool direct(Handle file) const {
        (void)file;
        return false;
    }
    // For a direct file: writes `size` bytes at `offset`, both multiples of kDirectAlignment, from
    // memory aligned to it. Several threads may write one file at once.
    virtual FileStatus write_at(Handle file, uint64_t offset, const uint8_t* data, size_t size) {
        (void)file, (void)offset, (void)data, (void)size;
        return {FileStatus::Kind::failed, "no direct writes here"};
    }
    // Sets the file's length. With `reserve`, before the data: claims the space, so that a full
    // disk shows at once and the writes need not grow the file one by one; without, afterwards:
    // cuts what the last aligned write put beyond the end.
    virtual FileStatus set_length(Handle file, uint64_t length, bool reserve) {
        (void)file, (void)length, (void)reserve;
        return {FileStatus::Kind::failed, "no direct writes here"};
    }

    // Taking runs away again: a folder that is there is opened (nothing made), listed and emptied
    // through its handle, so that a level swapped for a link meanwhile leads nowhere else.

    // Opens a folder that is there, reached as the system reaches it (the user may name it through
    // a link); what else has the path is told by the status (not_regular for a file).
    virtual FileStatus open_existing_folder(const std::u16string& path, Handle& folder) = 0;
    // Opens the folder `name` in `folder` itself, never what a link of that name points to (`link`).
    virtual FileStatus open_subfolder(Handle folder, const std::u16string& name, Handle& inner) = 0;
    // The same, making the folder first when nothing has its name (a run's folder tree).
    virtual FileStatus make_subfolder(Handle folder, const std::u16string& name, Handle& inner) = 0;
    // Calls `each` with the name and kind of every entry of the folder (not "." and ".."), a link
    // as a link; a name that is no valid text comes as an empty name. `each` may remove the entry
    // it was given. Failed, with the system's reason, when the folder cannot be listed to its end.
    virtual FileStatus list(Handle folder,
                            const std::function<void(std::u16string_view name, Kind kind)>& each) = 0;
    // The size of the regular file `name`; anything else is refused as remove() refuses it (a link
    // is not followed).
    virtual FileStatus file_size(Handle folder, const std::u16string& name, uint64_t& size) = 0;
    // Removes a regular file as remove() does, and tells the size it had.
    virtual FileStatus remove_sized(Handle folder, const std::u16string& name, uint64_t& size) = 0;
    // Removes the folder `name` when it is empty; a link (`link`), a file (`not_regular`) or a
    // folder with entries (`failed`, the system's reason) stays.
    virtual FileStatus remove_folder(Handle folder, const std::u16string& name) = 0;
};

// The status an operation gives for a name it will not touch because of what has it; the words are
// the same on every platform ("a link": a symbolic link, or on Windows any reparse point).
inline FileStatus refusal_of(FileSystem::Kind kind) {
    switch (kind) {
    case FileSystem::Kind::link:
        return {FileStatus::Kind::link, "it is a link"};
    case FileSystem::Kind::pipe:
        return {FileStatus::Kind::pipe, "it is a named pipe"};
    case FileSystem::Kind::folder:
        return {FileStatus::Kind::folder, "it is a folder"};
    default:
        return {FileStatus::Kind::not_regular, "it is not a regular file"};
    }
}

// The platform's file system (one factory in each platform file). With sync set, every file's data
// is flushed to the disk before it is closed.
std::unique_ptr<FileSystem> make_file_system(bool sync = false);
