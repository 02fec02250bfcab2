// The file manager on POSIX desktops: xdg-open on the file's folder.
#include "core/run/reveal.h"

#include <spawn.h>
#include <string>
#include <sys/wait.h>

#include "core/base/text.h"

extern char** environ;

void reveal_in_file_manager(const std::u16string& path) {
    // xdg-open knows no "select": open the folder that holds the file.
    std::string folder = to_utf8(path);
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    char program[] = "xdg-open";
    char* arguments[] = {program, folder.data(), nullptr};
    pid_t child;
    if (posix_spawnp(&child, program, nullptr, nullptr, arguments, environ) == 0)
        waitpid(child, nullptr, 0);
}
