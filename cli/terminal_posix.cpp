// Terminal pieces for Linux and other POSIX systems.
#include <csignal>
#include <cstdlib>
#include <unistd.h>

#include "cli/terminal.h"
#include "core/base/text.h"
#include "core/lang/language_default.h"
#include "core/run/run.h"

std::vector<std::u16string> command_arguments(int argc, char** argv) {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(from_utf8(argv[i]));
    return arguments;
}

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) != 0; }
bool stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }
bool stdin_is_terminal() { return isatty(STDIN_FILENO) != 0; }
void enable_terminal_sequences() {}

namespace {

void write_all(int fd, std::u16string_view text) {
    const std::string bytes = to_utf8(text);
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return; // a closed pipe: nothing more to say
        done += static_cast<size_t>(n);
    }
}

volatile std::sig_atomic_t interrupted = 0;

void on_interrupt(int) {
    if (interrupted != 0)
        _exit(130);
    interrupted = 1;
    run_cancel = true;
}

static_assert(std::atomic<bool>::is_always_lock_free, "run_cancel is set from a signal handler");

} // namespace

void write_out(std::u16string_view text) { write_all(STDOUT_FILENO, text); }
void write_err(std::u16string_view text) { write_all(STDERR_FILENO, text); }

void install_interrupt_handler() {
    struct sigaction action = {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

int32_t default_language() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != 0)
            return language_for_locale(value);
    }
    return language_for_locale("C");
}
