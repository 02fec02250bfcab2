// Terminal pieces for Linux and other POSIX systems.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <unistd.h>

#include "cli/terminal.h"
#include "core/base/text.h"
#include "core/lang/language_default.h"
#include "core/run/run_flags.h"

std::vector<std::u16string> command_arguments(int argc, char** argv) {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(from_utf8(argv[i]));
    return arguments;
}

std::optional<std::string> undecodable_argument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (is_utf8(argument))
            continue;
        // The bytes that are text stay, the rest are shown as escapes.
        std::string shown;
        for (const char c : argument) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && byte < 0x7F) {
                shown += c;
            } else {
                char escape[5];
                std::snprintf(escape, sizeof escape, "\\x%02X", byte);
                shown += escape;
            }
        }
        return shown;
    }
    return std::nullopt;
}

void ignore_closed_pipes() { std::signal(SIGPIPE, SIG_IGN); }

std::optional<std::string> read_input_line() {
    // A signal between a check of run_cancel and a blocking read would leave the read waiting:
    // the wait is cut into short polls, each after a look at the flag.
    std::string line;
    for (;;) {
        if (run_cancel)
            return std::nullopt;
        pollfd input = {STDIN_FILENO, POLLIN, 0};
        if (::poll(&input, 1, 100) <= 0)
            continue;
        char c;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return line.empty() ? std::nullopt : std::optional<std::string>(line);
        if (c == '\n')
            return line;
        if (c != '\r')
            line += c;
    }
}

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) != 0; }
bool stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }
bool stdin_is_terminal() { return isatty(STDIN_FILENO) != 0; }
void enable_terminal_sequences() {}

namespace {

int first_output_errno = 0;

void write_all(int fd, std::u16string_view text) {
    const std::string bytes = to_utf8(text);
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (first_output_errno == 0)
                first_output_errno = n < 0 ? errno : EIO;
            return;
        }
        done += static_cast<size_t>(n);
    }
}

// The signal that asked for the cancel, 0 before one came.
volatile std::sig_atomic_t interrupted_by = 0;

// Only rename(2), nanosleep(2) and reads of names made before: all are safe in a signal handler.
// The other jobs go on meanwhile: a file that one of them was making as the signal came, and had
// not made yet, is renamed after a moment, in a second pass.
void rename_open_files() {
    OpenRunFile* const files = open_run_files.files.load();
    const size_t count = open_run_files.count.load();
    if (files == nullptr)
        return;
    bool any = false;
    for (size_t i = 0; i < count; ++i)
        if (files[i].state.load() == OpenRunFile::kOpen) {
            ::rename(files[i].name.c_str(), files[i].partial.c_str());
            any = true;
        }
    if (!any)
        return;
    const timespec moment = {0, 5000000};
    nanosleep(&moment, nullptr);
    for (size_t i = 0; i < count; ++i)
        if (files[i].state.load() == OpenRunFile::kOpen)
            ::rename(files[i].name.c_str(), files[i].partial.c_str());
}

void on_interrupt(int signal) {
    if (interrupted_by != 0) {
        // Ending at once leaves no cut file under the name of a whole one.
        rename_open_files();
        _exit(128 + interrupted_by);
    }
    interrupted_by = signal;
    run_cancel = true;
}

static_assert(std::atomic<bool>::is_always_lock_free, "run_cancel is set from a signal handler");
static_assert(std::atomic<OpenRunFile*>::is_always_lock_free && std::atomic<size_t>::is_always_lock_free,
              "the open files are read in a signal handler");

} // namespace

void write_out(std::u16string_view text) { write_all(STDOUT_FILENO, text); }
void write_err(std::u16string_view text) { write_all(STDERR_FILENO, text); }

std::optional<std::string> output_error() {
    if (first_output_errno == 0)
        return std::nullopt;
    return std::string(std::strerror(first_output_errno));
}

void install_interrupt_handler() {
    // No SA_RESTART: a read that waits for an answer returns at the signal, so the question
    // gives way to the cancel.
    struct sigaction action = {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, signal);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

int cancel_exit_code() { return 128 + (interrupted_by != 0 ? static_cast<int>(interrupted_by) : SIGINT); }

std::string cancel_signal_name() {
    switch (interrupted_by) {
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "SIGINT";
    }
}

int32_t default_language() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != 0)
            return language_for_locale(value);
    }
    return language_for_locale("C");
}
