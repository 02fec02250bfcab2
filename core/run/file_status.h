// What an operation of the file system or the file reader came to, for both interfaces alike: ok,
// or the kind of failure the caller acts on and the system's words for it.
#pragma once

#include <string>
#include <utility>

struct FileStatus {
    enum class Kind {
        ok,
        exists,      // the name is taken (creating a new file)
        link,        // what has the name is a symbolic link (or another reparse point)
        pipe,        // ... a named pipe
        folder,      // ... a folder
        not_regular, // ... something else that is no regular file (a device, a socket)
        denied,      // the system denied access
        disk_full,   // the disk, its table of files or the user's quota is full
        moved,       // the run's folder is no longer the one its path names
        failed,      // any other reason
    };

    FileStatus(Kind what = Kind::ok, std::string why = {}) : kind(what), message(std::move(why)) {}

    bool ok() const { return kind == Kind::ok; }

    Kind kind;
    std::string message; // the system's reason, where it gave one
};
